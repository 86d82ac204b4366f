#include "appmodel/InterfaceFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>

namespace InterfaceFont {

namespace {

// Its digits are all of one width, as the columns of sizes and durations need.
const QString latin = QStringLiteral("DejaVu Sans");
// A single weight close to the Latin family's regular one.
const QString lightHan = QStringLiteral("WenQuanYi Micro Hei");
// Regular and bold; its regular is markedly heavier than the Latin text around it.
const QString boldHan = QStringLiteral("Noto Sans CJK SC");

// The desktop's font names a Chinese family first when the session is in Chinese: the Latin
// family is chosen here instead, so that it is the same in every language.
QString latinFamily() {
    static const QString family = [] {
        if (QFontDatabase::hasFamily(latin))
            return latin;
        QFont sans;
        sans.setStyleHint(QFont::SansSerif);
        return QFontInfo(sans).family();
    }();
    return family;
}

} // namespace

QStringList families(int weight) {
    if (weight >= QFont::DemiBold)
        return {latinFamily(), boldHan, lightHan};
    return {latinFamily(), lightHan, boldHan};
}

QFont weighted(QFont font, int weight) {
    font.setWeight(QFont::Weight(weight));
    font.setFamilies(families(weight));
    return font;
}

void apply() {
    QFont font = QGuiApplication::font();
    QGuiApplication::setFont(weighted(font, font.weight()));
}

} // namespace InterfaceFont
