// Every error the system raises reaches the user through one function, in the language asked
// for; the English description is also what() reports.

#include "platform/LocalizedError.h"
#include "device/IPodDeviceError.h"
#include "device/IPodEject.h"
#include "device/StoreOperation.h"
#include "library/IPodDatabaseError.h"
#include "library/Nano5Error.h"
#include "platform/Task.h"
#include "platform/audio/AudioError.h"
#include "transfer/ExportError.h"
#include "transfer/ExportTracks.h"
#include "transfer/ImportError.h"
#include "transfer/PosixError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <system_error>

namespace {

struct Expected {
    const char* name;
    std::function<std::exception_ptr()> raise;
    QString english;
    QString chinese;
};

template <typename Error> std::function<std::exception_ptr()> raising(Error error) {
    return [error] { return std::make_exception_ptr(error); };
}

QString zh(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// One case of each error class, with both texts written out.
std::vector<Expected> everyErrorType() {
    return {
        {"CancellationError", raising(CancellationError()), "The operation was cancelled.",
         zh("操作已取消。")},
        {"AudioError", raising(AudioError(AudioError::Kind::noAudio, 0)),
         "The file holds no audio.", zh("该文件不含音频。")},
        // FFmpeg's own text never shows; a failure of the system adds the system's.
        {"AudioError with FFmpeg's error", raising(AudioError(AudioError::Kind::open, -12345)),
         "The audio file could not be opened.", zh("无法打开音频文件。")},
        {"AudioError with a system error", raising(AudioError(AudioError::Kind::encode, -ENOSPC)),
         QStringLiteral("The audio could not be written. ") +
             QString::fromLocal8Bit(strerror(ENOSPC)),
         zh("无法写入音频。 ") + QString::fromLocal8Bit(strerror(ENOSPC))},
        {"IPodDatabaseError.library",
         raising(IPodDatabaseError::library(QStringLiteral("Read library"), std::nullopt)),
         "Read library failed: libgpod returned no error details.",
         zh("读取资料库失败：libgpod 未返回错误详情。")},
        {"IPodDatabaseError.readOnlyVolume", raising(IPodDatabaseError::readOnlyVolume()),
         "This iPod volume is mounted read-only.", zh("此 iPod 宗卷以只读方式装载。")},
        {"Nano5Error", raising(Nano5Error::trackSelectionChanged()),
         "The selected tracks could not be found in the current library. Reselect them and "
         "try again.",
         zh("在当前资料库中找不到所选曲目。请重新选择后再试。")},
        {"ImportError", raising(ImportError::emptyAudioFolder()),
         "No supported audio files were found in the selected folders.",
         zh("在所选文件夹中未找到受支持的音频文件。")},
        {"ExportError", raising(IPodTransfer::ExportError::artwork()),
         "Could not embed artwork in the exported file.", zh("无法在导出的文件中嵌入插图。")},
        {"ExportDestinationError", raising(IPodTransfer::ExportDestinationError()),
         "Choose an export folder outside the iPod.", zh("请选择 iPod 以外的导出文件夹。")},
        {"IPodDeviceError", raising(IPodDeviceError()), "The iPod was disconnected.",
         zh("iPod 已断开连接。")},
        {"IPodEjectError.busy", raising(IPodEjectError(IPodEjectError::Kind::busy, EBUSY)),
         "The volume is in use. Close the files open on it and try again.",
         zh("该宗卷正在使用中。请关闭其上打开的文件后重试。")},
        {"IPodEjectError.service",
         raising(IPodEjectError(IPodEjectError::Kind::service, 0, QStringLiteral("no"))),
         "The disk service refused: no", zh("磁盘服务拒绝了请求：no")},
        {"unknown exception", [] { return std::make_exception_ptr(42); },
         "An unknown error occurred.", zh("发生未知错误。")},
    };
}

TEST(LocalizedError, EveryErrorTypeReadsInBothLanguagesThroughTheOneFunction) {
    for (const Expected& expected : everyErrorType()) {
        SCOPED_TRACE(expected.name);
        const std::exception_ptr error = expected.raise();
        EXPECT_EQ(localizedDescription(error, AppLanguage::english), expected.english);
        EXPECT_EQ(localizedDescription(error, AppLanguage::simplifiedChinese), expected.chinese);
        try {
            std::rethrow_exception(error);
        } catch (const LocalizedError& e) {
            EXPECT_EQ(localizedDescription(e, AppLanguage::simplifiedChinese), expected.chinese);
            EXPECT_EQ(e.description(AppLanguage::english), expected.english);
            EXPECT_STREQ(e.what(), expected.english.toUtf8().constData());
        } catch (...) {
            EXPECT_EQ(QString(expected.name), QStringLiteral("unknown exception"));
        }
    }
}

TEST(LocalizedError, DisconnectionIsOneErrorWhicheverLayerRaisesIt) {
    // The device layer's identity check is the transfer's disconnection: caught as either.
    try {
        throw IPodDeviceError();
    } catch (const ImportError& e) {
        EXPECT_EQ(e.kind(), ImportError::Case::disconnected);
        EXPECT_EQ(e.description(AppLanguage::english),
                  ImportError::disconnected().description(AppLanguage::english));
    }
    // The nano writer's errors are the database session's.
    try {
        throw Nano5Error::unsupportedDatabase();
    } catch (const IPodDatabaseError& e) {
        EXPECT_EQ(e, IPodDatabaseError::unsupportedDatabase());
    }
}

TEST(LocalizedError, OtherLibrariesKeepTheirOwnMessage) {
    const std::system_error system(ENOENT, std::generic_category(), "open x");
    EXPECT_EQ(localizedDescription(system, AppLanguage::simplifiedChinese),
              QString::fromLocal8Bit(system.what()));
    EXPECT_TRUE(localizedDescription(PosixError(EIO, QStringLiteral("/x")), AppLanguage::english)
                    .startsWith(QStringLiteral("/x: ")));
    EXPECT_TRUE(localizedDescription(std::exception_ptr(), AppLanguage::english).isEmpty());
}

// A full disk is told in our words, whoever met it; the file it names would be one of ours.
TEST(LocalizedError, AFullDiskIsToldWithoutTheFile) {
    for (const int code : {ENOSPC, EDQUOT}) {
        for (const std::exception_ptr& error :
             {std::make_exception_ptr(PosixError(code, QStringLiteral("/m/F21/libgpod1.mp3"))),
              std::make_exception_ptr(std::system_error(code, std::generic_category(), "write"))}) {
            EXPECT_EQ(localizedDescription(error, AppLanguage::english).toStdString(),
                      "There is not enough free space on the disk.");
            EXPECT_EQ(localizedDescription(error, AppLanguage::simplifiedChinese).toStdString(),
                      "磁盘上没有足够的可用空间。");
        }
    }
}

// The line a store operation that threw ends with.
TEST(StoreOperationEnding, NamesTheActionAndTheCauseOrTheDisconnection) {
    const StoreOperation::Ending edit{
        LZ("Save the track info of “%1”"), QStringLiteral("Song"), {}, {}};
    const StoreOperation::Ending import{};
    const auto full = std::make_exception_ptr(PosixError(ENOSPC, QStringLiteral("/m/x.mp3")));
    const auto write = std::make_exception_ptr(
        IPodDatabaseError::library(QStringLiteral("Save library"),
                                   QStringLiteral("Failed to write file: Input/output error")));
    const struct {
        std::exception_ptr error;
        bool deviceGone;
        const StoreOperation::Ending& ending;
        AppLanguage language;
        QString line;
    } cases[] = {
        {full, false, edit, AppLanguage::english,
         "Save the track info of “Song” failed: There is not enough free space on the disk."},
        {full, false, edit, AppLanguage::simplifiedChinese,
         zh("保存“Song”的曲目信息失败：磁盘上没有足够的可用空间。")},
        {write, false, edit, AppLanguage::english,
         "Save the track info of “Song” failed: Failed to write file: Input/output error"},
        {write, false, import, AppLanguage::english,
         "Save library failed: Failed to write file: Input/output error"},
        {write, true, edit, AppLanguage::english, "The iPod was disconnected."},
        {std::make_exception_ptr(CancellationError()), false, edit, AppLanguage::english,
         "The iPod was disconnected."},
        {std::make_exception_ptr(IPodDatabaseError::readOnlyVolume()), false, edit,
         AppLanguage::english, "This iPod volume is mounted read-only."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(
            StoreOperation::endingLine(c.error, c.deviceGone, c.ending, c.language).toStdString(),
            c.line.toStdString());
}

} // namespace
