#pragma once

// The failures of an import, a rewrite or an export, with their user texts. The device
// identity check's error (IPodDeviceError) is the disconnected case.

#include "transfer/TransferError.h"

class ImportError : public TransferError {
public:
    enum class Case {
        cannotSave,
        disconnected,
        unsupportedAudio,
        nano5UnsupportedMP3,
        emptyAudioFolder,
        conversionFailed,
        unreadableArtwork,
        linkedFolder,
        noRoomForSave,
        noRoomForEdit,
        shortCoverFile,
    };

    static ImportError cannotSave(QString detail) { return {Case::cannotSave, std::move(detail)}; }
    static ImportError disconnected() { return {Case::disconnected}; }
    static ImportError unsupportedAudio() { return {Case::unsupportedAudio}; }
    static ImportError nano5UnsupportedMP3() { return {Case::nano5UnsupportedMP3}; }
    static ImportError emptyAudioFolder() { return {Case::emptyAudioFolder}; }
    static ImportError conversionFailed() { return {Case::conversionFailed}; }
    static ImportError unreadableArtwork() { return {Case::unreadableArtwork}; }
    // A folder the import writes into or through is a symbolic link; folder: its path relative
    // to the iPod's mount point.
    static ImportError linkedFolder(QString folder) {
        return {Case::linkedFolder, std::move(folder)};
    }

    // The song's audio fits on the iPod, but the save of the library with it would not.
    static ImportError noRoomForSave() { return {Case::noRoomForSave}; }
    // An edited track's rewritten file, or the save after it, would not fit: nothing was changed.
    static ImportError noRoomForEdit() { return {Case::noRoomForEdit}; }

    // A song with a cover, while a thumbnail file of the iPod is missing or cut short (file: its
    // path relative to the mount point): a cover saved now would show on other songs.
    static ImportError shortCoverFile(QString file) {
        return {Case::shortCoverFile, std::move(file)};
    }

    Case kind() const { return kind_; }
    // The detail of cannotSave, the folder of linkedFolder, the file of shortCoverFile; empty for
    // the other cases.
    const QString& detail() const { return detail_; }

    using TransferError::description;
    QString description(AppLanguage language) const override;

    friend bool operator==(const ImportError& a, const ImportError& b) {
        return a.kind_ == b.kind_ && a.detail_ == b.detail_;
    }

protected:
    ImportError(Case kind, QString detail = {})
        : kind_(kind)
        , detail_(std::move(detail)) {}

private:
    Case kind_;
    QString detail_;
};
