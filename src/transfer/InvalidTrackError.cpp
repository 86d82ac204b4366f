#include "transfer/InvalidTrackError.h"

QString InvalidTrackError::description(AppLanguage language) const {
    return localizedString(LZ("Provide an MP3 or AAC (.m4a) file with a valid duration that has been copied to the iPod music folder."),
                           language);
}
