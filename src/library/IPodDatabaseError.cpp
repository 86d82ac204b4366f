#include "library/IPodDatabaseError.h"

IPodDatabaseError::IPodDatabaseError(Case errorCase)
    : case_(errorCase) {
}

IPodDatabaseError IPodDatabaseError::library(const QString& operation,
                                             std::optional<QString> detail) {
    IPodDatabaseError error(Case::library);
    error.operation_ = operation;
    error.detail_ = std::move(detail);
    return error;
}

IPodDatabaseError IPodDatabaseError::libraryReason(const QString& operation,
                                                   const QString& reasonKey) {
    IPodDatabaseError error = library(operation, reasonKey);
    error.detailIsKey_ = true;
    return error;
}

QString IPodDatabaseError::detailText(AppLanguage language) const {
    if (!detail_)
        return localizedString(LZ("libgpod returned no error details."), language);
    return detailIsKey_ ? localizedString(*detail_, language) : *detail_;
}

IPodDatabaseError
IPodDatabaseError::artworkFormatsOutOfBounds(std::optional<QString> descriptionFile) {
    IPodDatabaseError error(Case::artworkFormatsOutOfBounds);
    error.detail_ = std::move(descriptionFile);
    return error;
}

IPodDatabaseError
IPodDatabaseError::storedCoverFormatsUnlisted(std::optional<QString> descriptionFile) {
    IPodDatabaseError error(Case::storedCoverFormatsUnlisted);
    error.detail_ = std::move(descriptionFile);
    return error;
}

namespace {

using Refusal = ScratchFolder::Refusal;

// A noScratchSpace's places in its detail: each its reason's letter then the folder, apart by
// the one character no path holds.
constexpr QChar placeSeparator = QChar(0);
constexpr QChar fullLetter = u'F';
constexpr QChar unwritableLetter = u'W';

std::optional<QList<Refusal>> placesIn(const std::optional<QString>& detail) {
    QList<Refusal> refusals;
    if (!detail)
        return refusals;
    for (const QString& place : detail->split(placeSeparator)) {
        if (place.size() < 2 || (place[0] != fullLetter && place[0] != unwritableLetter))
            return std::nullopt;
        refusals.append({place.mid(1), place[0] == fullLetter ? Refusal::Reason::full
                                                              : Refusal::Reason::unwritable});
    }
    return refusals;
}

} // namespace

IPodDatabaseError IPodDatabaseError::noScratchSpace(const QList<Refusal>& refusals) {
    IPodDatabaseError error(Case::noScratchSpace);
    if (refusals.isEmpty())
        return error;
    QStringList places;
    for (const Refusal& refusal : refusals)
        places << (refusal.reason == Refusal::Reason::full ? fullLetter : unwritableLetter) +
                      refusal.place;
    error.detail_ = places.join(placeSeparator);
    return error;
}

std::optional<IPodDatabaseError>
IPodDatabaseError::noScratchSpaceFromDetail(const std::optional<QString>& detail) {
    const auto refusals = placesIn(detail);
    return refusals ? std::optional(noScratchSpace(*refusals)) : std::nullopt;
}

QList<Refusal> IPodDatabaseError::scratchRefusals() const {
    if (case_ != Case::noScratchSpace)
        return {};
    return placesIn(detail_).value_or(QList<Refusal>());
}

QString IPodDatabaseError::scratchSpaceText(AppLanguage language) const {
    const QList<Refusal> refusals = scratchRefusals();
    QString places;
    bool full = false;
    bool unwritable = false;
    for (const Refusal& refusal : refusals) {
        const bool isFull = refusal.reason == Refusal::Reason::full;
        full = full || isFull;
        unwritable = unwritable || !isFull;
        const QString place =
            isFull ? localizedString(LZ("%1 (full)"), language, refusal.place)
                   : localizedString(LZ("%1 (cannot be written)"), language, refusal.place);
        places = places.isEmpty() ? place : localizedString(LZ("%1; %2"), language, places, place);
    }
    // clang-format off
    if (full && unwritable)
        return localizedString(LZ("Editing is disabled because Lorvanel could not write the temporary files it needs to check this iPod’s database in any folder it tried: %1. Free some space on the disk of a full folder, or make a folder that cannot be written writable for your user (create it if it is missing), then reconnect the iPod."),
                               language, places);
    if (full)
        return localizedString(LZ("Editing is disabled because Lorvanel could not write the temporary files it needs to check this iPod’s database in any folder it tried: %1. Free some space on the disk of one of these folders, then reconnect the iPod."),
                               language, places);
    if (unwritable)
        return localizedString(LZ("Editing is disabled because Lorvanel could not write the temporary files it needs to check this iPod’s database in any folder it tried: %1. Make one of these folders writable for your user (create it if it is missing), or start Lorvanel with TMPDIR set to a folder you can write to, then reconnect the iPod."),
                               language, places);
    return localizedString(LZ("Editing is disabled because Lorvanel found no folder for the temporary files it needs to check this iPod’s database. Start Lorvanel with TMPDIR set to a folder you can write to, then reconnect the iPod."),
                           language);
    // clang-format on
}

IPodDatabaseError IPodDatabaseError::storedCoversUnreadable(const QString& artworkFile) {
    IPodDatabaseError error(Case::storedCoversUnreadable);
    error.detail_ = artworkFile;
    return error;
}

IPodDatabaseError
IPodDatabaseError::storedCoverFormatsOfOtherModel(std::optional<QString> modelFile) {
    IPodDatabaseError error(Case::storedCoverFormatsOfOtherModel);
    error.detail_ = std::move(modelFile);
    return error;
}

IPodDatabaseError
IPodDatabaseError::unreadableDeviceDescription(std::optional<QString> descriptionFile) {
    IPodDatabaseError error(Case::unreadableDeviceDescription);
    error.detail_ = std::move(descriptionFile);
    return error;
}

IPodDatabaseError IPodDatabaseError::linkedFolder(const QString& folder) {
    IPodDatabaseError error(Case::linkedFolder);
    error.detail_ = folder;
    return error;
}

IPodDatabaseError IPodDatabaseError::emptyLibrary(EmptyLibraryAction action) {
    IPodDatabaseError error(Case::emptyLibrary);
    error.emptyLibraryAction_ = action;
    return error;
}

// Each key stays one literal so the string table finds it.
// clang-format off
QString IPodDatabaseError::description(AppLanguage language) const {
    switch (case_) {
    case Case::library:
        return localizedString(LZ("%1 failed: %2"), language,
                               localizedString(operation_, language), detailText(language));
    case Case::unsupportedDatabase:
        return localizedString(LZ("Editing is disabled because the iPod model or database compatibility could not be verified."),
                               language);
    case Case::invalidFireWireID:
        return localizedString(LZ("A valid FireWire ID is missing. Obtain the SysInfo or SysInfoExtended file from this iPod, then reconnect it."),
                               language);
    case Case::readOnlyVolume:
        return localizedString(LZ("This iPod volume is mounted read-only."), language);
    case Case::invalidTrack:
        return localizedString(LZ("Provide an MP3 or AAC (.m4a) file with a valid duration that has been copied to the iPod music folder."),
                               language);
    case Case::trackSelectionChanged:
        return localizedString(LZ("The selected tracks could not be found in the current library. Reselect them and try again."),
                               language);
    case Case::genreSelectionChanged:
        return localizedString(LZ("The selected genre is no longer in this iPod’s music library."),
                               language);
    case Case::playlistSelectionChanged:
        return localizedString(LZ("This playlist is no longer on the iPod."), language);
    case Case::invalidTrackLocation:
        return localizedString(
            LZ("The selected tracks contain audio paths that cannot be safely deleted."), language);
    case Case::invalidPlaybackState:
        return localizedString(
            LZ("This second-generation iPod shuffle has no resume record for the current library. Safely eject it, play and pause a song on the shuffle, then reconnect it and try again."),
            language);
    case Case::deviceInUse:
        return localizedString(LZ("The iPod is in use by another program. Quit that program, then try again."),
                               language);
    case Case::missingMainPlaylist:
        return localizedString(LZ("The iPod database is missing its main playlist."), language);
    case Case::emptyLibrary:
        switch (emptyLibraryAction_) {
        case EmptyLibraryAction::createPlaylist:
            return localizedString(LZ("An iPod library with no tracks cannot be saved. Keep at least one track on the iPod, or add music before creating a playlist."),
                                   language);
        case EmptyLibraryAction::movePlaylist:
            return localizedString(LZ("An iPod library with no tracks cannot be saved. Add music before moving a playlist."),
                                   language);
        case EmptyLibraryAction::deleteTracks:
            return localizedString(LZ("An iPod library with no tracks cannot be saved. Keep at least one track on the iPod."),
                                   language);
        }
        break;
    case Case::noScratchSpace:
        return scratchSpaceText(language);
    case Case::artworkFormatsOutOfBounds:
        if (detail_)
            return localizedString(LZ("Editing is disabled because this iPod’s device description (%1) lists cover art formats that no iPod uses. If the file was edited or copied from another iPod, put back this iPod’s own copy, then reconnect the iPod. Until then you can still browse and export its songs."),
                                   language, *detail_);
        return localizedString(LZ("Editing is disabled because the device description read from this iPod over USB lists cover art formats that no iPod uses. Eject the iPod and connect it again so that the description is read anew. Until then you can still browse and export its songs."),
                               language);
    case Case::storedCoverFormatsUnlisted:
        if (detail_)
            return localizedString(LZ("Editing is disabled because this iPod’s device description (%1) lists none of the cover art formats its covers are stored in: saving would erase them."),
                                   language, *detail_);
        return localizedString(LZ("Editing is disabled because the device description read from this iPod over USB lists none of the cover art formats its covers are stored in: saving would erase them."),
                               language);
    case Case::storedCoversUnreadable:
        return localizedString(LZ("Editing is disabled because this iPod’s cover art database (%1) is missing or could not be read while covers are stored on the iPod: saving would erase them. Put back an intact copy from a backup of this iPod, then reconnect it."),
                               language, detail_.value_or(QString()));
    case Case::storedCoverFormatsOfOtherModel:
        if (detail_)
            return localizedString(LZ("Editing is disabled because this iPod’s covers are stored in cover art formats of another model than the one its device description (%1) names: saving would erase them. If that file is not this iPod’s own, put back its own from a backup of this iPod, then reconnect it."),
                                   language, *detail_);
        return localizedString(LZ("Editing is disabled because this iPod’s covers are stored in cover art formats of another model than the one it reports over USB: saving would erase them. Leave the iPod as it is to keep them; its songs still play and can be exported."),
                               language);
    case Case::unreadableDeviceDescription:
        if (detail_)
            return localizedString(LZ("Editing is disabled because this iPod’s device description (%1) is not written in a form Lorvanel can read safely. Move that file from the iPod to your computer, then reconnect the iPod. The music on the iPod stays as it is."),
                                   language, *detail_);
        return localizedString(LZ("Editing is disabled because the device description read from this iPod over USB is not written in a form Lorvanel can read safely. Safely eject the iPod, then reconnect it."),
                               language);
    case Case::linkedFolder:
        if (isLinkedFile(detail_.value_or(QString())))
            return localizedString(LZ("Editing is disabled because %1 on this iPod is a symbolic link, not a file: Lorvanel writes nothing through it. Move the file the link points to onto the iPod in place of the link, under the same name, then reconnect the iPod. Until then you can still browse and export its songs."),
                                   language, *detail_);
        return localizedString(LZ("Editing is disabled because %1 on this iPod is a symbolic link, not a folder: Lorvanel writes nothing through it. Move the folder the link points to onto the iPod in place of the link, under the same name, then reconnect the iPod. Until then you can still browse and export its songs."),
                               language, detail_.value_or(QString()));
    }
    return {};
}
// clang-format on
