#pragma once

// Shared pieces of the artwork tests: every drawing of the catalogue, rendering at a device
// pixel ratio, and pixel measures.

#include "RecordingPaintDevice.h"
#include "artwork/StartupDeviceVector.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <vector>

namespace ArtworkTest {

using Drawing = StartupDeviceVector::Drawing;

// Every model of the catalogue in every finish it came in, front or back.
std::vector<Drawing> catalogueDrawings(bool rear);
QString describe(const Drawing& drawing);

// The canvas size of a drawing at a logical height.
QSizeF canvasSize(const Drawing& drawing, double height);
QImage render(const Drawing& drawing, double height, double ratio = 2.0);

// Pixels with alpha above the threshold; an empty rectangle when there are none.
QRect alphaBounds(const QImage& image, int threshold = 8);
bool isFullyTransparent(const QImage& image);
// Bounds of the pixels that match a colour within a tolerance.
QRect colourBounds(const QImage& image, QRgb colour, int tolerance);

// Records the texts a drawing paints at a logical size (device pixels equal logical pixels).
void record(const Drawing& drawing, QSizeF size, RecordingPaintDevice& device);

} // namespace ArtworkTest
