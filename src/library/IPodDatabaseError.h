#pragma once

#include "platform/LocalizedError.h"
#include "platform/ScratchFolder.h"

#include <QString>

#include <optional>

// The failures of the iPod database layer. The description is built in the asked (or stored)
// language each time it is requested.
class IPodDatabaseError : public LocalizedError {
public:
    enum class Case {
        library,
        unsupportedDatabase,
        invalidFireWireID,
        readOnlyVolume,
        invalidTrack,
        trackSelectionChanged,
        genreSelectionChanged,
        playlistSelectionChanged,
        invalidTrackLocation,
        invalidPlaybackState,
        deviceInUse,
        missingMainPlaylist,
        emptyLibrary,
        noScratchSpace,
        artworkFormatsOutOfBounds,
        storedCoverFormatsUnlisted,
        storedCoversUnreadable,
        storedCoverFormatsOfOtherModel,
        unreadableDeviceDescription,
        linkedFolder,
    };

    // The edit whose save of a library without tracks was refused; the refusal names it.
    enum class EmptyLibraryAction {
        createPlaylist,
        movePlaylist,
        deleteTracks,
    };

    explicit IPodDatabaseError(Case errorCase);
    // operation is a localisable key such as "Read library".
    static IPodDatabaseError library(const QString& operation, std::optional<QString> detail);
    // The same with a detail of our own: a key of the string table, looked up with the rest.
    static IPodDatabaseError libraryReason(const QString& operation, const QString& reasonKey);

    static IPodDatabaseError unsupportedDatabase() {
        return IPodDatabaseError(Case::unsupportedDatabase);
    }
    static IPodDatabaseError invalidFireWireID() {
        return IPodDatabaseError(Case::invalidFireWireID);
    }
    static IPodDatabaseError readOnlyVolume() { return IPodDatabaseError(Case::readOnlyVolume); }
    static IPodDatabaseError invalidTrack() { return IPodDatabaseError(Case::invalidTrack); }
    static IPodDatabaseError trackSelectionChanged() {
        return IPodDatabaseError(Case::trackSelectionChanged);
    }
    static IPodDatabaseError genreSelectionChanged() {
        return IPodDatabaseError(Case::genreSelectionChanged);
    }
    static IPodDatabaseError playlistSelectionChanged() {
        return IPodDatabaseError(Case::playlistSelectionChanged);
    }
    static IPodDatabaseError invalidTrackLocation() {
        return IPodDatabaseError(Case::invalidTrackLocation);
    }
    static IPodDatabaseError invalidPlaybackState() {
        return IPodDatabaseError(Case::invalidPlaybackState);
    }
    // Another process holds the iPod's write lock (VolumeWriteLock): nothing was changed.
    static IPodDatabaseError deviceInUse() { return IPodDatabaseError(Case::deviceInUse); }
    static IPodDatabaseError missingMainPlaylist() {
        return IPodDatabaseError(Case::missingMainPlaylist);
    }
    // A library without tracks is saved only onto a freshly prepared iPod.
    static IPodDatabaseError
    emptyLibrary(EmptyLibraryAction action = EmptyLibraryAction::createPlaylist);

    // No private folder of ours had room for the temporary files a check of the iPod needs in
    // any of the places tried; the reason names each and what stopped it there.
    static IPodDatabaseError noScratchSpace(const QList<ScratchFolder::Refusal>& refusals);
    // noScratchSpace again from its detail(); none when the detail is not one of its.
    static std::optional<IPodDatabaseError>
    noScratchSpaceFromDetail(const std::optional<QString>& detail);
    // The places a noScratchSpace names.
    QList<ScratchFolder::Refusal> scratchRefusals() const;
    // The device description lists cover art formats out of what iPods use (libgpod would write
    // every cover in each of them). descriptionFile: the description's file on the iPod,
    // relative to its mount point; none when the description was read from the device.
    static IPodDatabaseError artworkFormatsOutOfBounds(std::optional<QString> descriptionFile);
    // The device description lists cover art formats, none of which a cover stored on the iPod
    // is in: libgpod's save would erase it. descriptionFile as above.
    static IPodDatabaseError storedCoverFormatsUnlisted(std::optional<QString> descriptionFile);
    // Covers are stored on the iPod that libgpod's reading of its ArtworkDB did not map (a file
    // missing, damaged or not a file): the save would erase them. artworkFile: the ArtworkDB, or
    // the Artwork folder when that is not a folder, relative to the mount point.
    static IPodDatabaseError storedCoversUnreadable(const QString& artworkFile);
    // With no description, the model's own cover art formats include none a stored cover is
    // in: the save would erase it. modelFile: the SysInfo naming the model, relative to the
    // mount point; none when the model came from the device over USB.
    static IPodDatabaseError storedCoverFormatsOfOtherModel(std::optional<QString> modelFile);
    // The device description is not plain enough for libgpod and our checks to read it alike
    // (DeviceDescription), so neither does. descriptionFile as above.
    static IPodDatabaseError unreadableDeviceDescription(std::optional<QString> descriptionFile);
    // A folder of the iPod that this program writes into or through is a symbolic link: nothing
    // is written through it. folder: its path relative to the mount point; a thumbnail file
    // (isLinkedFile), which libgpod appends to, is named the same way.
    static IPodDatabaseError linkedFolder(const QString& folder);
    // Whether what linkedFolder names is a file, not a folder.
    static bool isLinkedFile(const QString& linked) {
        return linked.endsWith(QLatin1String(".ithmb"), Qt::CaseInsensitive);
    }

    Case errorCase() const { return case_; }
    // Only for `library`: the operation key and libgpod's detail; for the cover and description
    // cases the detail is the file they name, for linkedFolder the folder, for noScratchSpace the
    // places tried.
    const QString& operation() const { return operation_; }
    const std::optional<QString>& detail() const { return detail_; }
    // The detail as the user reads it, for texts that name the operation themselves.
    QString detailText(AppLanguage language) const;

    using LocalizedError::description;
    QString description(AppLanguage language) const override;

    bool operator==(const IPodDatabaseError& other) const {
        return case_ == other.case_ && operation_ == other.operation_ && detail_ == other.detail_ &&
               detailIsKey_ == other.detailIsKey_ &&
               emptyLibraryAction_ == other.emptyLibraryAction_;
    }

private:
    QString scratchSpaceText(AppLanguage language) const;

    Case case_;
    QString operation_;
    std::optional<QString> detail_;
    bool detailIsKey_ = false;
    EmptyLibraryAction emptyLibraryAction_ = EmptyLibraryAction::createPlaylist;
};
