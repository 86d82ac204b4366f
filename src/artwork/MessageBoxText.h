#pragma once

// How every message box of the views sets its message: on one line as wide as the text, up to a
// readable width, and wrapped at that width beyond it (between words; in Chinese between
// characters, as Chinese is set). Left to itself, a box wraps its message to the narrowest width
// its buttons allow, which breaks a short sentence over two or three lines and, in Chinese,
// inside a word. And the one alert every view shows, so that all read alike.

#include "platform/AppLanguage.h"

#include <QMessageBox>

class QString;
class QWidget;

namespace MessageBoxText {

// Messages wider than this wrap at this width.
constexpr int longestLine = 480;

// The box's message (its informative text), shown or not yet; also for a new text, such as the
// same message in another language.
void setMessage(QMessageBox& box, const QString& text);

// An alert over window (window-modal; application-modal without one) with one button, our own
// "OK" rather than Qt's, which Return and Escape press. Its texts come from setAlertTexts.
QMessageBox* makeAlert(QWidget* window, QMessageBox::Icon icon);
// The alert's texts in the language: the window title "Lorvanel", the heading, the message (as
// setMessage sets it) and "OK"; again for another language.
void setAlertTexts(QMessageBox& box, const QString& heading, const QString& message,
                   AppLanguage language);

} // namespace MessageBoxText
