// Every error the system raises reaches the user through one function, in the language asked
// for; the English description is also what() reports.

#include "platform/LocalizedError.h"
#include "device/IPodDeviceError.h"
#include "device/IPodEject.h"
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
    EXPECT_TRUE(localizedDescription(PosixError(ENOSPC, QStringLiteral("/x")), AppLanguage::english)
                    .startsWith(QStringLiteral("/x: ")));
    EXPECT_TRUE(localizedDescription(std::exception_ptr(), AppLanguage::english).isEmpty());
}

} // namespace
