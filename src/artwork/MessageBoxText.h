#pragma once

// How every message box of the views sets its message: on one line as wide as the text, up to a
// readable width, and wrapped at that width beyond it (between words; in Chinese between
// characters, as Chinese is set). Left to itself, a box wraps its message to the narrowest width
// its buttons allow, which breaks a short sentence over two or three lines and, in Chinese,
// inside a word.

class QMessageBox;
class QString;

namespace MessageBoxText {

// Messages wider than this wrap at this width.
constexpr int longestLine = 480;

// The box's message (its informative text), shown or not yet; also for a new text, such as the
// same message in another language.
void setMessage(QMessageBox& box, const QString& text);

} // namespace MessageBoxText
