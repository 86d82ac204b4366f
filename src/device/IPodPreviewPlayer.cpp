#include "device/IPodPreviewPlayer.h"

namespace {

IPodPreviewPlayer::Factory& factory() {
    static IPodPreviewPlayer::Factory instance;
    return instance;
}

} // namespace

void IPodPreviewPlayer::setFactory(Factory f) {
    factory() = std::move(f);
}

std::unique_ptr<IPodPreviewPlayer> IPodPreviewPlayer::make() {
    return factory() ? factory()() : nullptr;
}

QString IPodPreviewPlayer::failureMessage(AppLanguage language) {
    return localizedString(
        LZ("Could not play this track. Check that its audio file is available on the iPod."),
        language);
}
