#include "artwork/MessageBoxText.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace MessageBoxText {

void setMessage(QMessageBox& box, const QString& text) {
    // The label is the box's own, made with its first text; the width goes on before the text,
    // so that an open box takes it at once.
    const auto label = [&box] {
        return box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
    };
    if (!label())
        box.setInformativeText(text);
    // The line's advance, rounded up, and a pixel for the wrapping's own rounding.
    if (QLabel* message = label())
        message->setMinimumWidth(
            std::min(int(std::ceil(QFontMetricsF(message->font()).horizontalAdvance(text))) + 1,
                     longestLine));
    box.setInformativeText(text);
}

QMessageBox* makeAlert(QWidget* window, QMessageBox::Icon icon) {
    auto* box = new QMessageBox(window);
    box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    box->setIcon(icon);
    QPushButton* ok = box->addButton(QString(), QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    return box;
}

void setAlertTexts(QMessageBox& box, const QString& heading, const QString& message,
                   AppLanguage language) {
    box.setWindowTitle(localizedString(LZ("Lorvanel"), language));
    box.setText(heading);
    setMessage(box, message);
    if (QPushButton* ok = box.defaultButton())
        ok->setText(localizedString(LZ("OK"), language));
}

} // namespace MessageBoxText
