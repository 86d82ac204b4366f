#include "browser/TrackActionButtonStyle.h"
#include "appmodel/LorvPalette.h"
#include "browser/SymbolIcon.h"

#include <gtest/gtest.h>

#include <QEnterEvent>
#include <QFile>
#include <QImage>
#include <QTest>
#include <QWidget>

using namespace TrackActionButtonStyle;

namespace {

void hover(ActionIcon& button, bool inside) {
    if (inside) {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QCoreApplication::sendEvent(&button, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&button, &leave);
    }
}

// A corner of the square (outside the glyph, inside the rounded corner) and the glyph's colour.
QColor background(const QImage& image) {
    return image.pixelColor(side / 2, 3);
}

} // namespace

TEST(TrackActionButtonStyle, AppearanceFollowsEnabledHoverPressAndRole) {
    Appearance idle = appearance(true, false, false, true);
    EXPECT_EQ(idle.foreground, LorvPalette::fog());
    EXPECT_EQ(idle.background.alpha(), 0);
    EXPECT_EQ(idle.opacity, 1.0);

    Appearance hoveredDestructive = appearance(true, true, false, true);
    EXPECT_EQ(hoveredDestructive.foreground, destructiveRed());
    EXPECT_EQ(hoveredDestructive.background, LorvPalette::night700());

    Appearance pressedPlain = appearance(true, false, true, false);
    EXPECT_EQ(pressedPlain.foreground, LorvPalette::mist());
    EXPECT_EQ(pressedPlain.background, LorvPalette::slate600());

    // A disabled button never lights up, whatever the pointer does.
    for (bool hovered : {false, true})
        for (bool pressed : {false, true}) {
            Appearance disabled = appearance(false, hovered, pressed, true);
            EXPECT_EQ(disabled.foreground, LorvPalette::fog());
            EXPECT_EQ(disabled.background.alpha(), 0);
            EXPECT_DOUBLE_EQ(disabled.opacity, disabledOpacity);
        }
}

TEST(TrackActionButtonStyle, HoveredDestructiveButtonPaintsNight700AndSlate600WhilePressed) {
    QWidget host;
    QPalette palette = host.palette();
    palette.setColor(QPalette::Window, Qt::black);
    host.setPalette(palette);
    host.setAutoFillBackground(true);
    ActionIcon button(QStringLiteral("trash"), &host);
    button.setDestructive(true);
    host.resize(40, 40);
    host.show();
    EXPECT_EQ(button.size(), QSize(side, side));

    EXPECT_EQ(background(button.grab().toImage()), Qt::black);
    hover(button, true);
    EXPECT_TRUE(button.isHovered());
    EXPECT_EQ(background(button.grab().toImage()), LorvPalette::night700());

    button.setDown(true);
    EXPECT_EQ(background(button.grab().toImage()), LorvPalette::slate600());
    button.setDown(false);

    hover(button, false);
    EXPECT_EQ(background(button.grab().toImage()), Qt::black);
}

TEST(TrackActionButtonStyle, DisabledButtonStaysClearUnderThePointer) {
    QWidget host;
    QPalette palette = host.palette();
    palette.setColor(QPalette::Window, Qt::black);
    host.setPalette(palette);
    host.setAutoFillBackground(true);
    ActionIcon button(QStringLiteral("trash"), &host);
    button.setDestructive(true);
    button.setEnabled(false);
    host.show();
    hover(button, true);
    button.setDown(true);
    EXPECT_EQ(background(button.grab().toImage()), Qt::black);
}

TEST(TrackActionButtonStyle, ClickReachesTheButtonOnlyWhenEnabled) {
    ActionIcon button(QStringLiteral("play.fill"));
    button.show();
    int clicks = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++clicks; });
    QTest::mouseClick(&button, Qt::LeftButton);
    button.setEnabled(false);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

TEST(SymbolIcon, ThemeSymbolsLoadOnTheOffscreenPlatformTintedInCode) {
    if (!QFile::exists(QStringLiteral("/usr/share/icons/Adwaita/index.theme")))
        GTEST_SKIP() << "the Adwaita icon theme is not installed";
    const QPixmap gear = SymbolIcon::pixmap(QStringLiteral("gearshape"), 16, LorvPalette::sky());
    ASSERT_FALSE(gear.isNull());
    EXPECT_TRUE(QIcon::hasThemeIcon(SymbolIcon::themeName(QStringLiteral("gearshape"))));
    const QImage image = gear.toImage();
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) == 255) {
                ++opaque;
                EXPECT_EQ(QColor(image.pixel(x, y)).rgb(), LorvPalette::sky().rgb());
            }
    EXPECT_GT(opaque, 10);
    EXPECT_TRUE(SymbolIcon::pixmap(QStringLiteral("no.such.symbol"), 16, Qt::red).isNull());
}
