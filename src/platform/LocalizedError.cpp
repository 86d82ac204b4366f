#include "platform/LocalizedError.h"

#include <mutex>

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
