#include "artwork/StartupDeviceVector.h"

#include "artwork/DeviceArt.h"
#include "artwork/IPodClassicRearArtwork.h"
#include "artwork/IPodNanoRearArtwork.h"
#include "artwork/IPodShuffleRearArtwork.h"

#include <QPaintEvent>

#include <algorithm>
#include <array>
#include <cmath>

using namespace DeviceArt;

namespace {

using Finish = StartupModel::Finish;
using FrontLayout = StartupDeviceVector::FrontLayout;

constexpr std::array<FrontLayout, 6> classicLayouts = {{
    {0.59, 0.095, 0.163, 0.048, 0.68, 0.335, false, 0.5, 0.683, false},
    {0.59, 0.095, 0.163, 0.048, 0.68, 0.335, false, 0.5, 0.683, false},
    {0.585, 0.105, 0.16, 0.06, 0.682, 0.332, false, 0.505, 0.747, false},
    {0.585, 0.12, 0.158, 0.06, 0.684, 0.332, false, 0.5, 0.687, false},
    {0.59, 0.098, 0.075, 0.045, 0.85, 0.387, false, 0.5, 0.708, false},
    {0.585, 0.098, 0.075, 0.044, 0.85, 0.386, false, 0.5, 0.703, false},
}};

constexpr std::array<FrontLayout, 7> nanoLayouts = {{
    {0.437, 0.1, 0.093, 0.044, 0.814, 0.274, false, 0.5, 0.648, false},
    {0.442, 0.014, 0.102, 0.044, 0.796, 0.27, false, 0.5, 0.65, false},
    {0.737, 0.116, 0.074, 0.057, 0.852, 0.464, false, 0.5, 0.747, false},
    {0.45, 0.075, 0.075, 0.05, 0.85, 0.49, false, 0.5, 0.75, false},
    {0.45, 0.075, 0.075, 0.05, 0.85, 0.55, false, 0.5, 0.79, false},
    {0.95, 0.14, 0.055, 0.055, 0.89, 0.89, false, 0.0, 0.0, true},
    {0.51, 0.09, 0.065, 0.07, 0.87, 0.76, false, 0.0, 0.0, true},
}};

constexpr std::array<FrontLayout, 4> shuffleLayouts = {{
    {0.294, 0.18, 0, 0, 0, 0, true, 0.5, 0.275, false},
    {1.48, 0.12, 0, 0, 0, 0, true, 0.6, 0.5, false},
    {0.38, 0.1, 0, 0, 0, 0, true, 0.0, 0.0, true},
    {0.96, 0.15, 0, 0, 0, 0, true, 0.5, 0.52, false},
}};

// Negative indices compare as huge unsigned numbers, so they fall to the last entry too.
template <std::size_t N>
const FrontLayout& entry(const std::array<FrontLayout, N>& table, int generation) {
    const auto index = static_cast<std::size_t>(static_cast<unsigned int>(generation));
    return index < N ? table[index] : table[N - 1];
}

} // namespace

StartupDeviceVector::Drawing::Drawing(StartupSeries series, int generation,
                                      StartupModel::Finish finish, bool showsRear,
                                      std::optional<QString> rearCapacity,
                                      std::optional<QString> rearEngraving)
    : series(series)
    , generation(generation)
    , finish(finish)
    , showsRear(showsRear)
    , rearCapacity(std::move(rearCapacity))
    , rearEngraving(std::move(rearEngraving)) {
}

FrontLayout StartupDeviceVector::Drawing::layout() const {
    switch (series) {
    case StartupSeries::classic:
        return entry(classicLayouts, generation);
    case StartupSeries::nano:
        return entry(nanoLayouts, generation);
    case StartupSeries::shuffle:
        return entry(shuffleLayouts, generation);
    }
    return classicLayouts.back();
}

double StartupDeviceVector::Drawing::aspectRatio() const {
    if (showsRear && series == StartupSeries::shuffle && generation == 3)
        return 1.07;
    if (showsRear && series == StartupSeries::nano) {
        switch (generation) {
        case 3:
        case 4:
            return 0.42;
        case 5:
            return 1.067;
        case 6:
            return 0.51;
        default:
            break;
        }
    }
    return layout().aspectRatio;
}

QColor StartupDeviceVector::Drawing::bodyColor() const {
    switch (finish) {
    case Finish::white:
        return grey(0.95);
    case Finish::silver:
        return rgb(0.81, 0.83, 0.84);
    case Finish::black:
        return rgb(0.16, 0.17, 0.19);
    case Finish::blue:
        return generation == 2 ? rgb(0.44, 0.76, 0.78) : rgb(0.02, 0.61, 0.78);
    case Finish::green:
        return rgb(0.54, 0.71, 0.21);
    case Finish::pink:
        return rgb(0.84, 0.27, 0.52);
    case Finish::red:
        return rgb(0.72, 0.12, 0.27);
    case Finish::darkGray:
    case Finish::orange:
    case Finish::yellow:
    case Finish::purple:
        return finish.swatchColor();
    }
    return finish.swatchColor();
}

QRectF StartupDeviceVector::Drawing::bodyRect(QSizeF size) {
    return QRectF(1.0, 0.025 * size.height(), size.width() - 2.0, 0.97 * size.height());
}

void StartupDeviceVector::Drawing::render(QPainter& painter, QSizeF size) const {
    const QRectF body = bodyRect(size);
    if (!(body.width() > 0) || !(body.height() > 0))
        return;

    PainterState state(painter);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::NoBrush);

    if (showsRear) {
        switch (series) {
        case StartupSeries::classic:
            IPodClassicRearArtwork::draw(generation, finish, painter, rearCapacity, rearEngraving,
                                         body);
            break;
        case StartupSeries::shuffle:
            IPodShuffleRearArtwork::draw(generation, finish, painter, rearEngraving, body);
            break;
        case StartupSeries::nano:
            IPodNanoRearArtwork::draw(generation, finish, painter, rearCapacity, rearEngraving,
                                      body);
            break;
        }
        return;
    }

    drawBody(painter, body);

    const FrontLayout l = layout();
    const double w = body.width();
    const double h = body.height();
    if (!l.hidesScreen)
        drawScreen(painter, QRectF(body.left() + l.screenX * w, body.top() + l.screenY * h,
                                   l.screenWidth * w, l.screenHeight * h));

    if (l.hidesWheel) {
        if (series == StartupSeries::nano && generation == 6)
            drawRoundButton(painter, body);
        return;
    }

    double k = 0.73;
    switch (series) {
    case StartupSeries::classic: {
        constexpr std::array<double, 4> ks = {0.84, 0.84, 0.65, 0.695};
        k = generation >= 0 && generation < 4 ? ks[std::size_t(generation)] : 0.62;
        break;
    }
    case StartupSeries::shuffle:
        k = generation == 0 ? 0.91 : 0.73;
        break;
    case StartupSeries::nano: {
        constexpr std::array<double, 3> ks = {0.77, 0.76, 0.515};
        k = generation >= 0 && generation < 3 ? ks[std::size_t(generation)] : 0.73;
        break;
    }
    }
    const double diameter = std::min(0.7 * h, k * w);
    drawClickWheel(painter, body.left() + l.wheelX * w, body.top() + l.wheelY * h, diameter);
    if (series == StartupSeries::classic && generation == 2)
        drawTouchButtonRow(painter, body);
}

QImage StartupDeviceVector::Drawing::image(QSizeF size, double devicePixelRatio) const {
    const double ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const QSize pixels(std::max(0, int(std::ceil(size.width() * ratio))),
                       std::max(0, int(std::ceil(size.height() * ratio))));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return image;
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    render(painter, size);
    return image;
}

StartupDeviceVector::StartupDeviceVector(StartupSeries series, int generation,
                                         StartupModel::Finish finish, bool showsRear,
                                         std::optional<QString> rearCapacity,
                                         std::optional<QString> rearEngraving, QWidget* parent)
    : StartupDeviceVector(Drawing(series, generation, finish, showsRear, std::move(rearCapacity),
                                  std::move(rearEngraving)),
                          parent) {
}

StartupDeviceVector::StartupDeviceVector(const Drawing& drawing, QWidget* parent)
    : QWidget(parent)
    , drawing_(drawing) {
    setAttribute(Qt::WA_TranslucentBackground);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void StartupDeviceVector::setDrawing(const Drawing& drawing) {
    const bool ratioChanged = drawing.aspectRatio() != drawing_.aspectRatio();
    drawing_ = drawing;
    if (ratioChanged)
        updateGeometry();
    update();
}

void StartupDeviceVector::setShowsRear(bool showsRear) {
    Drawing changed = drawing_;
    changed.showsRear = showsRear;
    setDrawing(changed);
}

void StartupDeviceVector::setRearCapacity(const std::optional<QString>& capacity) {
    drawing_.rearCapacity = capacity;
    update();
}

void StartupDeviceVector::setRearEngraving(const std::optional<QString>& engraving) {
    drawing_.rearEngraving = engraving;
    update();
}

QRectF StartupDeviceVector::canvasRect() const {
    const double ratio = drawing_.aspectRatio();
    const QRectF available(rect());
    if (!(ratio > 0) || available.isEmpty())
        return {};
    return DeviceArt::aspectFitted(available, ratio);
}

QSize StartupDeviceVector::sizeHint() const {
    constexpr int height = 240;
    return QSize(int(std::lround(height * drawing_.aspectRatio())), height);
}

QSize StartupDeviceVector::minimumSizeHint() const {
    return QSize(8, 8);
}

int StartupDeviceVector::heightForWidth(int width) const {
    const double ratio = drawing_.aspectRatio();
    return ratio > 0 ? int(std::lround(width / ratio)) : width;
}

void StartupDeviceVector::paintEvent(QPaintEvent*) {
    const QRectF canvas = canvasRect();
    if (canvas.isEmpty())
        return;
    QPainter painter(this);
    painter.translate(canvas.topLeft());
    drawing_.render(painter, canvas.size());
}
