#pragma once

// The interface's font, the same however the language was chosen: the Latin family first, so
// that Latin text, digits and separators keep their own shapes in Chinese too, then the Han
// families. Han text below semibold takes the lighter Han family, which sits at the Latin text's
// weight; semibold and bold take the one with a real bold face.

#include <QFont>
#include <QStringList>

namespace InterfaceFont {

// The families for text of this weight, in the order they are asked for glyphs.
QStringList families(int weight);

// font at weight, with the families for that weight.
QFont weighted(QFont font, int weight);

// Makes the application font the interface's: its size stays the desktop's.
void apply();

} // namespace InterfaceFont
