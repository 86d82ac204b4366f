// The share card's layout, and reference renders of a few cards. The references were made with
// Qt 6.4.2, FreeType 2.12, fonts-liberation2 2.1.5 and fonts-wqy-microhei (Debian 12); a font
// or FreeType upgrade is the expected reason to bless them again: run the suite with
// LORVANEL_BLESS_GOLDEN=1, look at every changed picture and commit them.

#include "showcase/DeviceShareCard.h"
#include "ShareTestCards.h"
#include "support/GoldenImage.h"

#include <gtest/gtest.h>

using Finish = StartupModel::Finish;
using Drawing = StartupDeviceVector::Drawing;

namespace {

// The size in card units a line was finally set at.
double sizeOf(const DeviceShareCard::Line& line) {
    return line.font.pointSizeF() * 96.0 / 72.0;
}

DeviceShareCard classicWithBack() {
    DeviceShareCard card;
    card.title = QStringLiteral("iPod classic (6th generation)");
    card.details = QStringLiteral("2007 · 160 GB · Black");
    card.caption = QStringLiteral("For the long drive");
    card.artwork = StartupDeviceArtwork{std::nullopt, StartupSeries::classic, 5, Finish::black};
    card.rearArtwork = Drawing(StartupSeries::classic, 5, Finish::black, true,
                               QStringLiteral("160 GB"), QStringLiteral("For the long drive"));
    return card;
}

} // namespace

TEST(ShareCard, TheDeviceFitsItsBoxAloneOrBesideItsBack) {
    const DeviceShareCard::Layout alone = ShareTestCards::nano().layout();
    EXPECT_EQ(alone.content, QRectF(28, 28, 544, 344));
    EXPECT_NEAR(alone.frontBox.width(), 310, 1e-9);
    EXPECT_NEAR(alone.frontBox.height(), 246, 1e-9);
    EXPECT_NEAR(alone.frontBox.center().x(), alone.stage.center().x(), 1e-9);
    EXPECT_TRUE(alone.backBox.isEmpty());
    EXPECT_LE(alone.front.width(), 310 + 1e-9);
    EXPECT_NEAR(alone.front.height(), 246, 1e-9); // a tall nano is limited by the height

    const DeviceShareCard::Layout pair = classicWithBack().layout();
    EXPECT_NEAR(pair.frontBox.width(), 241, 1e-9);
    EXPECT_NEAR(pair.backBox.width(), 241, 1e-9);
    EXPECT_NEAR(pair.backBox.left() - pair.frontBox.right(), 30, 1e-9);
    // The engraving line takes its height from the stage, so the boxes shrink to what is left.
    EXPECT_NEAR(pair.frontBox.height(), std::min(246.0, pair.stage.height()), 1e-9);
    EXPECT_TRUE(pair.stage.contains(pair.front));
    EXPECT_TRUE(pair.stage.contains(pair.back));
}

TEST(ShareCard, RowsStackFromTheBottomAndAnEmptyCaptionGivesTheStageItsHeight) {
    DeviceShareCard card = classicWithBack();
    const DeviceShareCard::Layout with = card.layout();
    ASSERT_TRUE(with.engravingLine);
    EXPECT_NEAR(with.engravingLine->bottom(), with.rule.top(), 1e-9);
    EXPECT_NEAR(with.rule.height(), 1, 1e-9);
    EXPECT_NEAR(with.rule.bottom(), with.infoRow.top(), 1e-9);
    EXPECT_NEAR(with.infoRow.bottom(), 372, 1e-9);
    EXPECT_NEAR(with.leftRule.width(), 16, 1e-9);
    EXPECT_NEAR(with.caption.rect.left() - with.leftRule.right(), 13, 1e-9);
    EXPECT_NEAR(with.rightRule.left() - with.caption.rect.right(), 13, 1e-9);

    card.caption.clear();
    const DeviceShareCard::Layout without = card.layout();
    EXPECT_FALSE(without.engravingLine);
    EXPECT_NEAR(without.stage.height() - with.stage.height(), with.engravingLine->height(), 1e-9);

    // Without details the title's bottom lines up with the wordmark's.
    card.details.reset();
    const DeviceShareCard::Layout bare = card.layout();
    EXPECT_FALSE(bare.details);
    EXPECT_NEAR(bare.title.rect.bottom(), bare.wordmark.rect.bottom(), 1e-9);
    EXPECT_NEAR(bare.wordmark.rect.right(), 572, 1e-9);
}

TEST(ShareCard, LongTextsShrinkToTheirFloorThenAreCutButTheWordmarkNever) {
    DeviceShareCard card = ShareTestCards::nano();
    const DeviceShareCard::Layout normal = card.layout();
    EXPECT_NEAR(sizeOf(normal.title), 26, 1e-6);
    card.title = QStringLiteral("An iPod with a remarkably long name that cannot fit beside the "
                                "wordmark at all");
    // Wider than the room between the rules even at its smallest size.
    card.caption = QString(60, QChar(0xFF37));
    const DeviceShareCard::Layout tight = card.layout();
    EXPECT_NEAR(sizeOf(tight.title), 0.65 * 26, 1e-6);
    EXPECT_TRUE(tight.title.text.endsWith(QChar(0x2026)));
    EXPECT_LE(tight.title.rect.right(), tight.wordmark.rect.left() - 20 + 1e-6);
    EXPECT_EQ(tight.wordmark.rect, normal.wordmark.rect);
    EXPECT_EQ(tight.wordmark.text, QStringLiteral("Lorvanel"));
    EXPECT_NEAR(sizeOf(tight.caption), 0.62 * 17, 1e-6);
    EXPECT_TRUE(tight.caption.text.endsWith(QChar(0x2026)));
    EXPECT_NEAR(tight.leftRule.width(), 16, 1e-9);
    EXPECT_GE(tight.leftRule.left(), tight.content.left() + 16 - 1e-6);
    EXPECT_LE(tight.rightRule.right(), tight.content.right() - 16 + 1e-6);
}

TEST(ShareCard, WhateverItHoldsTheCardMeasures600By400) {
    DeviceShareCard empty;
    empty.title = QStringLiteral("Unknown iPod");
    EXPECT_EQ(empty.image(1).size(), QSize(600, 400));
    EXPECT_EQ(classicWithBack().image(2).size(), QSize(1200, 800));
    EXPECT_EQ(ShareTestCards::nano().image(2).format(), QImage::Format_RGB32);
}

TEST(ShareCard, ReviewedCardsMatchTheirReferences) {
    DeviceShareCard shuffle;
    shuffle.title = QStringLiteral("iPod shuffle (2nd generation)");
    shuffle.caption = QStringLiteral("Run, Ada, run");
    shuffle.artwork = StartupDeviceArtwork{std::nullopt, StartupSeries::shuffle, 1, Finish::green};
    shuffle.rearArtwork = Drawing(StartupSeries::shuffle, 1, Finish::green, true, std::nullopt,
                                  QStringLiteral("Run, Ada, run"));
    DeviceShareCard chinese = ShareTestCards::nano();
    chinese.title = QStringLiteral("iPod nano（第 4 代）");
    chinese.details = QStringLiteral("2008 · 8 GB · 紫色");
    const std::pair<DeviceShareCard, QString> cards[] = {
        {classicWithBack(), QStringLiteral("card-classic-5-black-back@2x.png")},
        {ShareTestCards::nano(), QStringLiteral("card-nano-3-purple@2x.png")},
        {shuffle, QStringLiteral("card-shuffle-1-green-back@2x.png")},
        {chinese, QStringLiteral("card-nano-3-purple-zh@2x.png")},
    };
    for (const auto& [card, name] : cards) {
        const QString failure =
            TestSupport::checkGolden(card.image(2), QStringLiteral(LORVANEL_GOLDEN_DIR), name,
                                     QStringLiteral(LORVANEL_GOLDEN_FAILURES_DIR));
        EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
    }
}
