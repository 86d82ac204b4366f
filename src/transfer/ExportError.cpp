#include "transfer/ExportError.h"

namespace IPodTransfer {

QString ExportError::description(AppLanguage language) const {
    switch (kind_) {
    case Case::artwork:
        return localizedString(LZ("Could not embed artwork in the exported file."), language);
    case Case::lossless:
        return localizedString(LZ("This WAV cannot be exported as a lossless M4A."), language);
    }
    return {};
}

} // namespace IPodTransfer
