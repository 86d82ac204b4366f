#include "showcase/DeviceSharePreview.h"
#include "showcase/BrowserLink.h"
#include "showcase/DeviceShareButton.h"
#include "showcase/DeviceShareImage.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>

#include <functional>

using Finish = StartupModel::Finish;
using Drawing = StartupDeviceVector::Drawing;

namespace {

DeviceSharePreview::Input classic6() {
    return {QStringLiteral("iPod classic (6th generation)"),
            StartupModel::Years{2007, 2014},
            {QStringLiteral("80 GB"), QStringLiteral("120 GB"), QStringLiteral("160 GB")},
            QStringLiteral("Silver"),
            StartupDeviceArtwork{std::nullopt, StartupSeries::classic, 5, Finish::silver},
            Drawing(StartupSeries::classic, 5, Finish::silver, true)};
}

// The preview as the popup shows it, with its own window to parent dialogs to.
struct PreviewFixture : ::testing::Test {
    std::unique_ptr<DeviceSharePreview> make(const DeviceSharePreview::Input& input) {
        auto preview = std::make_unique<DeviceSharePreview>(input, &window);
        preview->setAttribute(Qt::WA_DeleteOnClose, false);
        return preview;
    }
    void TearDown() override { BrowserLink::setOpener({}); }
    QWidget window;
};

} // namespace

TEST(EngravingRule, LineBreaksBecomeOneSpaceAndAtMost21CharactersStay) {
    const auto n = [](const QString& s) { return DeviceSharePreview::normalizeEngraving(s); };
    EXPECT_EQ(n(QStringLiteral("Hello\r\nWorld")), QStringLiteral("Hello World"));
    EXPECT_EQ(n(QStringLiteral("A\n\n\nB")), QStringLiteral("A B"));
    EXPECT_EQ(n(QStringLiteral("A\u2028B\u2029C\u0085D\vE\fF\rG")),
              QStringLiteral("A B C D E F G"));
    EXPECT_EQ(n(QStringLiteral("\nA\n")), QStringLiteral("A"));
    // Spaces and tabs stay as typed; a pasted line break between them becomes one space.
    const QString pasted = QStringLiteral("  Hello \n World  ");
    EXPECT_EQ(n(pasted), QStringLiteral("  Hello   World  "));
    EXPECT_EQ(DeviceSharePreview::characterCount(n(pasted)), 17);
    EXPECT_EQ(n(QStringLiteral("a\tb")), QStringLiteral("a\tb"));
    // Thirty characters keep their first 21.
    EXPECT_EQ(n(QStringLiteral("abcdefghijklmnopqrstuvwxyz0123")),
              QStringLiteral("abcdefghijklmnopqrstu"));
    // Characters are what a reader sees: a family emoji and an accented letter count once.
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    const QString accented = QStringLiteral("e\u0301");
    EXPECT_EQ(DeviceSharePreview::characterCount(family + accented + QStringLiteral("x")), 3);
    QString many;
    for (int i = 0; i < 25; ++i)
        many += family;
    EXPECT_EQ(n(many).size(), 21 * family.size());
    EXPECT_EQ(n(QString(20, u'x') + accented), QString(20, u'x') + accented);
}

TEST_F(PreviewFixture, TheCardCarriesTheChoices) {
    auto preview = make(classic6());
    DeviceShareCard card = preview->makeCard();
    EXPECT_EQ(card.title, QStringLiteral("iPod classic (6th generation)"));
    EXPECT_EQ(card.details, QStringLiteral("2007 · 80 GB · Silver"));
    EXPECT_TRUE(card.caption.isEmpty());
    EXPECT_FALSE(card.rearArtwork);
    ASSERT_TRUE(card.artwork);
    EXPECT_EQ(card.artwork->generation, 5);

    preview->yearPicker()->setCurrentIndex(3);
    Q_EMIT preview->yearPicker()->activated(3);
    preview->capacityPicker()->setCurrentIndex(2);
    Q_EMIT preview->capacityPicker()->activated(2);
    preview->backSwitch()->setChecked(true);
    QTest::keyClicks(preview->engravingField(), QStringLiteral("  To Ada  "));
    card = preview->makeCard();
    EXPECT_EQ(card.details, QStringLiteral("2010 · 160 GB · Silver"));
    EXPECT_EQ(card.caption, QStringLiteral("To Ada"));
    ASSERT_TRUE(card.rearArtwork);
    EXPECT_TRUE(card.rearArtwork->showsRear);
    EXPECT_EQ(card.rearArtwork->rearEngraving, QStringLiteral("To Ada"));
    EXPECT_EQ(card.rearArtwork->rearCapacity, QStringLiteral("160 GB"));
    EXPECT_EQ(preview->counterLabel()->text(), QStringLiteral("10/21"));
    // The front is the vector copy, the same with or without the back.
    EXPECT_FALSE(card.artwork->image);
}

TEST_F(PreviewFixture, DetailsAndBacksFollowWhatTheDeviceOffers) {
    // An iPod touch: no years, one capacity, no back, no finish.
    DeviceSharePreview::Input touch{QStringLiteral("Ada's iPod"),
                                    std::nullopt,
                                    {QStringLiteral("32 GB")},
                                    std::nullopt,
                                    std::nullopt,
                                    std::nullopt};
    auto preview = make(touch);
    EXPECT_FALSE(preview->optionsRow()->isVisibleTo(preview.get()));
    EXPECT_EQ(preview->makeCard().details, QStringLiteral("32 GB"));
    touch.capacities.clear();
    EXPECT_FALSE(make(touch)->makeCard().details);
    touch.finish = QStringLiteral("Black");
    EXPECT_EQ(make(touch)->makeCard().details, QStringLiteral("Black"));

    // A capacity the catalogue does not list stays off the back.
    DeviceSharePreview::Input own = classic6();
    own.capacities.prepend(QStringLiteral("79.5 GB"));
    own.years = StartupModel::Years{2007, 2007};
    auto mounted = make(own);
    EXPECT_FALSE(mounted->yearPicker());
    EXPECT_TRUE(mounted->backSwitch());
    mounted->backSwitch()->setChecked(true);
    DeviceShareCard card = mounted->makeCard();
    EXPECT_EQ(card.details, QStringLiteral("2007 · 79.5 GB · Silver"));
    EXPECT_FALSE(card.rearArtwork->rearCapacity);
    EXPECT_EQ(card.rearArtwork->rearEngraving, QString());

    // The third shuffle keeps the caller's front.
    DeviceSharePreview::Input shuffle3{QStringLiteral("iPod shuffle (3rd generation)"),
                                       StartupModel::Years{2009, 2010},
                                       {QStringLiteral("2 GB")},
                                       QStringLiteral("Blue"),
                                       StartupDeviceArtwork{QImage(20, 40, QImage::Format_ARGB32),
                                                            StartupSeries::shuffle, 2,
                                                            Finish::blue},
                                       Drawing(StartupSeries::shuffle, 2, Finish::blue, true)};
    auto clip = make(shuffle3);
    clip->backSwitch()->setChecked(true);
    card = clip->makeCard();
    ASSERT_TRUE(card.artwork);
    EXPECT_TRUE(card.artwork->image);
    EXPECT_TRUE(card.rearArtwork);
}

TEST_F(PreviewFixture, TheFieldStopsAt21AndEveryOpeningStartsAfresh) {
    auto preview = make(classic6());
    EXPECT_EQ(preview->counterLabel()->text(), QStringLiteral("0/21"));
    ASSERT_TRUE(preview->yearPicker());
    EXPECT_EQ(preview->yearPicker()->count(), 8);
    EXPECT_EQ(preview->yearPicker()->itemText(0), QStringLiteral("2007"));
    EXPECT_EQ(preview->yearPicker()->itemText(7), QStringLiteral("2014"));
    QTest::keyClicks(preview->engravingField(), QString(22, u'w'));
    EXPECT_EQ(preview->engravingField()->text(), QString(21, u'w'));
    EXPECT_EQ(preview->counterLabel()->text(), QStringLiteral("21/21"));
    preview->engravingField()->setText(QStringLiteral("   "));
    EXPECT_EQ(preview->counterLabel()->text(), QStringLiteral("3/21"));
    EXPECT_TRUE(preview->makeCard().caption.isEmpty());

    DeviceShareButton button(&window);
    DeviceShareButton::Content content;
    content.title = QStringLiteral("iPod classic (6th generation)");
    content.years = StartupModel::Years{2007, 2014};
    content.capacities = {QStringLiteral("80 GB"), QStringLiteral("160 GB")};
    content.artwork = [] {
        return std::optional<StartupDeviceArtwork>(
            StartupDeviceArtwork{std::nullopt, StartupSeries::classic, 5, Finish::black});
    };
    button.setContent(content);
    window.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    DeviceSharePreview* first = button.preview();
    ASSERT_TRUE(first);
    EXPECT_TRUE(button.showsPreview());
    QTest::keyClicks(first->engravingField(), QStringLiteral("Hi"));
    Q_EMIT first->capacityPicker()->activated(1);
    first->close();
    TestSupport::drainEvents();
    DeviceSharePreview* second = button.showPreview();
    EXPECT_NE(second->engravingField()->text(), QStringLiteral("Hi"));
    EXPECT_EQ(second->currentCapacity(), QStringLiteral("80 GB"));
    EXPECT_EQ(second->makeCard().artwork->finish, Finish::black);
    second->close();
}

TEST_F(PreviewFixture, CopyingPutsPngAndTiffOnTheClipboardAndOpensTheComposePage) {
    QList<QUrl> opened;
    bool browserOpens = true;
    BrowserLink::setOpener([&](const QUrl& url) {
        opened << url;
        return browserOpens;
    });
    auto preview = make(classic6());
    EXPECT_EQ(preview->message(), QStringLiteral("Paste the image into the X post with Ctrl+V."));
    QTest::mouseClick(preview->copyButton(), Qt::LeftButton);
    const QMimeData* held = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(held);
    ASSERT_TRUE(held->hasFormat(QStringLiteral("image/png")));
    ASSERT_TRUE(held->hasFormat(QStringLiteral("image/tiff")));
    const QImage png = QImage::fromData(held->data(QStringLiteral("image/png")), "PNG");
    const QImage tiff = QImage::fromData(held->data(QStringLiteral("image/tiff")), "TIFF");
    EXPECT_EQ(png.size(), QSize(1200, 800));
    EXPECT_EQ(tiff.size(), QSize(1200, 800));
    EXPECT_EQ(png.convertToFormat(QImage::Format_RGB32),
              tiff.convertToFormat(QImage::Format_RGB32));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.front(), BrowserLink::composePostPage());
    EXPECT_EQ(preview->messageLabel()->text(),
              QStringLiteral("Image copied. Paste it into the X post with Ctrl+V."));

    browserOpens = false;
    QTest::mouseClick(preview->copyButton(), Qt::LeftButton);
    EXPECT_EQ(preview->messageLabel()->text(),
              QStringLiteral("Image copied. Open X in your browser to paste it."));
    EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat(QStringLiteral("image/png")));
}

TEST_F(PreviewFixture, WhatACopySaidGoesOnceTheCardIsAnother) {
    BrowserLink::setOpener([](const QUrl&) { return true; });
    auto preview = make(classic6());
    const QString note = QStringLiteral("Paste the image into the X post with Ctrl+V.");
    const QString copied = QStringLiteral("Image copied. Paste it into the X post with Ctrl+V.");
    // The mounted iPod's own capacity comes first once it is known.
    DeviceSharePreview::Input known = classic6();
    known.capacities.prepend(QStringLiteral("74.4 GB"));
    const struct {
        const char* change;
        std::function<void()> make;
        bool isAnotherCard;
    } cases[] = {
        {"the same year again", [&] { Q_EMIT preview->yearPicker()->activated(0); }, false},
        {"the same content again", [&] { preview->setInput(classic6()); }, false},
        {"the capacity known", [&] { preview->setInput(known); }, true},
        {"another capacity", [&] { Q_EMIT preview->capacityPicker()->activated(2); }, true},
        {"the back", [&] { preview->backSwitch()->setChecked(true); }, true},
        {"an engraving", [&] { preview->engravingField()->setText(QStringLiteral("Hi")); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        QTest::mouseClick(preview->copyButton(), Qt::LeftButton);
        ASSERT_EQ(preview->messageLabel()->text(), copied);
        c.make();
        EXPECT_EQ(preview->messageLabel()->text(), c.isAnotherCard ? note : copied);
    }
}
