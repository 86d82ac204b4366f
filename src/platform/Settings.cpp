#include "platform/Settings.h"

#include <QSettings>

namespace {

QSettings open() {
    return QSettings(QStringLiteral("Lorvanel"), QStringLiteral("Lorvanel"));
}

} // namespace

Settings& Settings::shared() {
    static Settings* instance = new Settings;
    return *instance;
}

QVariant Settings::read(const QString& key) {
    return open().value(key);
}

QString Settings::readString(const QString& key) {
    const QVariant value = read(key);
    return value.isValid() ? value.toString() : QString();
}

bool Settings::readBool(const QString& key, bool fallback) {
    const QVariant value = read(key);
    if (!value.isValid())
        return fallback;
    // Native-format files hold "true"/"false" text; anything else keeps the default.
    const QString text = value.toString().trimmed().toLower();
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return fallback;
}

int Settings::readInt(const QString& key, int fallback) {
    bool ok = false;
    const int number = read(key).toString().trimmed().toInt(&ok);
    return ok ? number : fallback;
}

QString Settings::languageRawValue() {
    const QString raw = readString(Keys::appLanguage);
    if (raw == QLatin1String("en") || raw == QLatin1String("zh-Hans"))
        return raw;
    return QStringLiteral("system");
}

int Settings::aacBitrate() {
    const int bitrate = readInt(Keys::aacBitrate, 320);
    switch (bitrate) {
    case 128:
    case 192:
    case 256:
        return bitrate;
    default:
        return 320;
    }
}

bool Settings::onlyUnsupported() {
    return readBool(Keys::onlyUnsupported, true);
}

bool Settings::autoEject() {
    return readBool(Keys::autoEject, false);
}

bool Settings::parseFilenameTags() {
    return readBool(Keys::parseFilenameTags, true);
}

QString Settings::shuffle2FinishName() {
    const QString name = readString(Keys::shuffle2Finish);
    return name.isEmpty() ? QStringLiteral("Green") : name;
}

void Settings::setValue(const QString& key, const QVariant& value) {
    {
        QSettings settings = open();
        settings.setValue(key, value);
        settings.sync();
    }
    Q_EMIT changed(key);
}

void Settings::remove(const QString& key) {
    {
        QSettings settings = open();
        settings.remove(key);
        settings.sync();
    }
    Q_EMIT changed(key);
}
