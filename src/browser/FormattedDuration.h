#pragma once

#include <QString>

// The one duration text of the library views: "mm:ss", or "h:mm:ss" from one hour on, for whole
// seconds truncated toward zero. Negative, non-finite and out-of-range values read "00:00".
QString formattedDuration(double seconds);
