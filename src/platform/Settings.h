#pragma once

// The user's settings, stored by QSettings under dotted keys, with typed reads that apply the
// defaults and fallbacks, and a change signal so that open views follow a change.

#include <QObject>
#include <QString>
#include <QVariant>

class Settings : public QObject {
    Q_OBJECT

public:
    struct Keys {
        static inline const QString appLanguage = QStringLiteral("app.language");
        static inline const QString aacBitrate = QStringLiteral("transfer.aacBitrate");
        static inline const QString onlyUnsupported = QStringLiteral("transfer.onlyUnsupported");
        static inline const QString autoEject = QStringLiteral("transfer.autoEject");
        static inline const QString parseFilenameTags =
            QStringLiteral("transfer.parseFilenameTags");
        static inline const QString shuffle2Finish = QStringLiteral("startup.shuffle2.finish");
    };

    // The process's one instance, for views that write settings or follow changes. Lives on the
    // main thread; reads below may come from any thread.
    static Settings& shared();

    // Raw reads, each through a fresh QSettings (safe from any thread).
    static QVariant read(const QString& key);
    static QString readString(const QString& key);
    static bool readBool(const QString& key, bool fallback);
    static int readInt(const QString& key, int fallback);

    // Typed reads with their defaults.
    static QString languageRawValue();   // "system", "en" or "zh-Hans"; others read "system"
    static int aacBitrate();             // 128, 192, 256 or 320; others read 320
    static bool onlyUnsupported();       // default true
    static bool autoEject();             // default false
    static bool parseFilenameTags();     // default true
    static QString shuffle2FinishName(); // default "Green"

    // Writes the value and tells every listener. Main thread only.
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);

Q_SIGNALS:
    void changed(const QString& key);

private:
    Settings() = default;
};
