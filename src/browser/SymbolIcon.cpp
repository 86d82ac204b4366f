#include "browser/SymbolIcon.h"

#include <QDir>
#include <QHash>
#include <QPainter>
#include <QPainterPath>

namespace SymbolIcon {

namespace {

// The offscreen platform and bare sessions know no theme, so the search path is set once here.
void ensureTheme() {
    static const bool ready = [] {
        QStringList paths = QIcon::themeSearchPaths();
        const QString system = QStringLiteral("/usr/share/icons");
        if (!paths.contains(system))
            paths.append(system);
        QIcon::setThemeSearchPaths(paths);
        if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
            QIcon::setThemeName(QStringLiteral("Adwaita"));
        QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
        return true;
    }();
    (void)ready;
}

// A transparent square for a symbol drawn by hand.
QPixmap blankSymbol(int size, qreal dpr) {
    QPixmap out(QSize(size, size) * dpr);
    out.setDevicePixelRatio(dpr);
    out.fill(Qt::transparent);
    return out;
}

// Battery symbols drawn by hand when the theme has none: body, cap, level and bolt.
QPixmap drawnBattery(const QString& symbol, int size, qreal dpr) {
    QPixmap out = blankSymbol(size, dpr);
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size * 0.8, h = size * 0.45;
    const QRectF body((size - w) / 2 - size * 0.04, (size - h) / 2, w, h);
    p.setPen(QPen(Qt::black, qMax<qreal>(1.0, size / 16.0)));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(body, h * 0.2, h * 0.2);
    p.fillRect(QRectF(body.right() + 1, body.center().y() - h / 5, size * 0.06, h * 0.4),
               Qt::black);
    int level = 100;
    if (symbol.contains(QLatin1String(".0percent")))
        level = 0;
    else if (symbol.contains(QLatin1String(".25percent")))
        level = 25;
    else if (symbol.contains(QLatin1String(".50percent")))
        level = 50;
    else if (symbol.contains(QLatin1String(".75percent")))
        level = 75;
    const QRectF inner = body.adjusted(2, 2, -2, -2);
    if (symbol.endsWith(QLatin1String(".bolt"))) {
        QPainterPath bolt;
        const QPointF c = inner.center();
        bolt.moveTo(c.x() + h * 0.1, inner.top());
        bolt.lineTo(c.x() - h * 0.25, c.y() + h * 0.05);
        bolt.lineTo(c.x(), c.y() + h * 0.05);
        bolt.lineTo(c.x() - h * 0.1, inner.bottom());
        bolt.lineTo(c.x() + h * 0.25, c.y() - h * 0.05);
        bolt.lineTo(c.x(), c.y() - h * 0.05);
        bolt.closeSubpath();
        p.fillPath(bolt, Qt::black);
    } else if (level > 0) {
        p.fillRect(QRectF(inner.left(), inner.top(), inner.width() * level / 100.0, inner.height()),
                   Qt::black);
    }
    return out;
}

// Five rounded bars of a sound wave; the theme has no such symbol.
QPixmap drawnWaveform(int size, qreal dpr) {
    QPixmap out = blankSymbol(size, dpr);
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    static constexpr qreal heights[] = {0.35, 0.7, 1.0, 0.6, 0.3};
    const qreal bar = size / 9.0;
    for (int i = 0; i < 5; ++i) {
        const qreal h = size * 0.8 * heights[i];
        const QRectF r(bar * (1 + 1.6 * i), (size - h) / 2, bar, h);
        p.drawRoundedRect(r, bar / 2, bar / 2);
    }
    return out;
}

// An iPod touch: a slab with its screen and one home button cut out of it. The theme's symbol
// for it is the click-wheel player's.
QPixmap drawnIPodTouch(int size, qreal dpr) {
    QPixmap out = blankSymbol(size, dpr);
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    // On the theme's 16-unit grid, built at full size: subtracting flattens the curves.
    const qreal u = size / 16.0;
    QPainterPath body;
    body.addRoundedRect(QRectF(4 * u, 0, 8 * u, 16 * u), 1.7 * u, 1.7 * u);
    QPainterPath openings;
    openings.addRoundedRect(QRectF(5 * u, 2.2 * u, 6 * u, 10.2 * u), 0.3 * u, 0.3 * u);
    openings.addEllipse(QPointF(8 * u, 14.2 * u), 0.85 * u, 0.85 * u);
    p.fillPath(body.subtracted(openings), Qt::black);
    return out;
}

} // namespace

QString themeName(const QString& symbol) {
    static const QHash<QString, QString> names = {
        {QStringLiteral("battery.0percent"), QStringLiteral("battery-level-0-symbolic")},
        {QStringLiteral("battery.25percent"), QStringLiteral("battery-level-20-symbolic")},
        {QStringLiteral("battery.50percent"), QStringLiteral("battery-level-50-symbolic")},
        {QStringLiteral("battery.75percent"), QStringLiteral("battery-level-70-symbolic")},
        {QStringLiteral("battery.100percent"), QStringLiteral("battery-level-100-symbolic")},
        {QStringLiteral("battery.100percent.bolt"),
         QStringLiteral("battery-level-100-charged-symbolic")},
        {QStringLiteral("gearshape"), QStringLiteral("emblem-system-symbolic")},
        {QStringLiteral("eject.fill"), QStringLiteral("media-eject-symbolic")},
        {QStringLiteral("trash"), QStringLiteral("user-trash-symbolic")},
        {QStringLiteral("play.fill"), QStringLiteral("media-playback-start-symbolic")},
        {QStringLiteral("pause.fill"), QStringLiteral("media-playback-pause-symbolic")},
        {QStringLiteral("flag.fill"), QStringLiteral("emoji-flags-symbolic")},
        {QStringLiteral("pencil"), QStringLiteral("document-edit-symbolic")},
        {QStringLiteral("music.note.list"), QStringLiteral("audio-x-generic-symbolic")},
        {QStringLiteral("magnifyingglass"), QStringLiteral("edit-find-symbolic")},
        {QStringLiteral("exclamationmark.triangle"), QStringLiteral("dialog-warning-symbolic")},
        {QStringLiteral("lock"), QStringLiteral("changes-prevent-symbolic")},
        {QStringLiteral("arrow.down.to.line"), QStringLiteral("go-bottom-symbolic")},
        {QStringLiteral("plus"), QStringLiteral("list-add-symbolic")},
        {QStringLiteral("chevron.down"), QStringLiteral("pan-down-symbolic")},
        {QStringLiteral("doc.badge.plus"), QStringLiteral("document-new-symbolic")},
        {QStringLiteral("folder.badge.plus"), QStringLiteral("folder-new-symbolic")},
        {QStringLiteral("xmark.circle.fill"), QStringLiteral("edit-clear-symbolic")},
        {QStringLiteral("tablecells"), QStringLiteral("view-list-symbolic")},
        {QStringLiteral("rectangle.on.rectangle"), QStringLiteral("view-dual-symbolic")},
        {QStringLiteral("ipod"), QStringLiteral("multimedia-player-symbolic")},
        {QStringLiteral("ipodshuffle.gen2"), QStringLiteral("multimedia-player-symbolic")},
        {QStringLiteral("arrow.up"), QStringLiteral("go-up-symbolic")},
        {QStringLiteral("arrow.down"), QStringLiteral("go-down-symbolic")},
        {QStringLiteral("xmark"), QStringLiteral("window-close-symbolic")},
        {QStringLiteral("doc.on.doc"), QStringLiteral("edit-copy-symbolic")},
        {QStringLiteral("macwindow"), QStringLiteral("system-file-manager-symbolic")},
        {QStringLiteral("ipad"), QStringLiteral("computer-apple-ipad-symbolic")},
        {QStringLiteral("iphone"), QStringLiteral("phone-apple-iphone-symbolic")},
    };
    return names.value(symbol);
}

QPixmap pixmap(const QString& symbol, int size, const QColor& color, qreal devicePixelRatio) {
    ensureTheme();
    const QSize pixels = QSize(size, size) * devicePixelRatio;
    QPixmap shape;
    const QString name = themeName(symbol);
    if (!name.isEmpty() && QIcon::hasThemeIcon(name)) {
        shape = QIcon::fromTheme(name).pixmap(pixels);
        if (shape.size() != pixels && !shape.isNull())
            shape = shape.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        shape.setDevicePixelRatio(devicePixelRatio);
    }
    if (shape.isNull() && symbol.startsWith(QLatin1String("battery.")))
        shape = drawnBattery(symbol, size, devicePixelRatio);
    if (shape.isNull() && symbol == QLatin1String("waveform"))
        shape = drawnWaveform(size, devicePixelRatio);
    if (shape.isNull() && symbol == QLatin1String("ipodtouch"))
        shape = drawnIPodTouch(size, devicePixelRatio);
    if (shape.isNull())
        return {};
    // The symbol's own colours only give its shape; the colour comes from the caller.
    QPixmap tinted(shape.size());
    tinted.setDevicePixelRatio(devicePixelRatio);
    tinted.fill(Qt::transparent);
    QPainter p(&tinted);
    p.drawPixmap(0, 0, shape);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(QRect(QPoint(0, 0), tinted.size()), color);
    p.end();
    return tinted;
}

QIcon icon(const QString& symbol, int size, const QColor& color) {
    const QPixmap pm = pixmap(symbol, size, color);
    QIcon out;
    if (pm.isNull())
        return out;
    out.addPixmap(pm, QIcon::Normal);
    out.addPixmap(pm, QIcon::Disabled);
    out.addPixmap(pm, QIcon::Active);
    return out;
}

} // namespace SymbolIcon
