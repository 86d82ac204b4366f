#pragma once

// The sixteen colours of the dark interface.

#include <QColor>

namespace LorvPalette {

const QColor& periwinkle();
const QColor& ink();
const QColor& sky();
const QColor& lilac();
const QColor& inkAlt();
const QColor& night900();
const QColor& night800();
const QColor& night700();
const QColor& slate600();
const QColor& slate500();
const QColor& steel400();
const QColor& indigoDeep();
const QColor& indigoNight();
const QColor& plumDeep();
const QColor& mist();
const QColor& fog();

} // namespace LorvPalette
