#include "transfer/ImportError.h"

#include "library/IPodDatabaseError.h"

QString ImportError::description(AppLanguage language) const {
    switch (kind_) {
    case Case::cannotSave:
        // The detail is an argument of the text, so a translation may place it.
        return localizedString(LZ("The library could not be saved. Copied files are still on the "
                                  "device. Reconnect it and check the library.\n%1"),
                               language, detail_);
    case Case::disconnected:
        return localizedString(LZ("The iPod was disconnected."), language);
    case Case::unsupportedAudio:
        return localizedString(
            LZ("The audio could not be read, or the file format is unsupported."), language);
    case Case::nano5UnsupportedMP3:
        return localizedString(LZ("Nano 5 test import supports 44.1 kHz MP3 files."), language);
    case Case::emptyAudioFolder:
        return localizedString(LZ("No supported audio files were found in the selected folders."),
                               language);
    case Case::conversionFailed:
        return localizedString(LZ("The audio could not be converted to AAC."), language);
    case Case::unreadableArtwork:
        return localizedString(LZ("The original artwork could not be read."), language);
    case Case::linkedFolder:
        if (IPodDatabaseError::isLinkedFile(detail_))
            return localizedString(LZ("Nothing was imported: %1 on the iPod is a symbolic link, "
                                      "not a file. Move the file the link points to onto the iPod "
                                      "in place of the link, under the same name, then try again."),
                                   language, detail_);
        // Not "replace the link with a folder": an empty folder in its place would leave every
        // song whose audio lies behind the link without it.
        return localizedString(LZ("Nothing was imported: %1 on the iPod is a symbolic link, not a "
                                  "folder. Move the folder the link points to onto the iPod in "
                                  "place of the link, under the same name, then try again."),
                               language, detail_);
    case Case::noRoomForSave:
        return localizedString(LZ("There is not enough free space on the iPod for this song and "
                                  "the library update it needs. Delete some songs from the iPod, "
                                  "then try again."),
                               language);
    case Case::noRoomForEdit:
        return localizedString(LZ("There is not enough free space on the iPod to rewrite this song "
                                  "with its new details, so the edit was not made. Delete some "
                                  "songs from the iPod, then try again."),
                               language);
    case Case::shortCoverFile:
        return localizedString(LZ("This song was not imported: the iPod’s cover file %1 is "
                                  "missing or cut short, and a cover saved into it now would show "
                                  "on other songs. Put back an intact copy from a backup of this "
                                  "iPod, then try again."),
                               language, detail_);
    }
    return {};
}
