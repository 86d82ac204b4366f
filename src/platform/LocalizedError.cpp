#include "platform/LocalizedError.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <system_error>

const char* LocalizedError::what() const noexcept {
    // Built once: the pointer handed out must stay valid, also for another thread's copy.
    static std::mutex mutex;
    const std::lock_guard lock(mutex);
    if (english.empty()) {
        try {
            english = description(AppLanguage::english).toStdString();
        } catch (...) {
            // Building a text can only fail for want of memory; what() must not throw.
            return "error";
        }
    }
    return english.c_str();
}

QString localizedDescription(const std::exception& error, AppLanguage language) {
    if (const auto* localized = dynamic_cast<const LocalizedError*>(&error))
        return localized->description(language);
    if (const auto* system = dynamic_cast<const std::system_error*>(&error)) {
        const std::error_code& code = system->code();
        if ((code.category() == std::generic_category() ||
             code.category() == std::system_category()) &&
            isFullDiskError(code.value()))
            return systemErrorDescription(code.value(), language);
    }
    return QString::fromLocal8Bit(error.what());
}

QString localizedDescription(const std::exception_ptr& error, AppLanguage language) {
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return localizedDescription(e, language);
    } catch (...) {
        return localizedString(LZ("An unknown error occurred."), language);
    }
}

bool isFullDiskError(int code) {
    return code == ENOSPC || code == EDQUOT;
}

QString systemErrorDescription(int code, AppLanguage language) {
    if (isFullDiskError(code))
        return localizedString(LZ("There is not enough free space on the disk."), language);
    char buffer[256] = {};
    // The GNU strerror_r returns the text, which may not be the buffer.
    return QString::fromLocal8Bit(strerror_r(code, buffer, sizeof buffer));
}
