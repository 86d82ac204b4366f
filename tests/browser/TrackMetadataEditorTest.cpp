// The tag editor on real widgets: "Split" and what it does, the album placeholder that follows
// the focus, the genre menu with "Not Set", and values kept exactly as typed.

#include "browser/TrackMetadataEditor.h"

#include "platform/AppLanguage.h"
#include "platform/Settings.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override { setLanguage(AppLanguage::english); }
    void TearDown() override { setLanguage(AppLanguage::english); }
    static void setLanguage(AppLanguage language) {
        Settings::shared().setValue(AppLanguages::storageKey(), AppLanguages::rawValue(language));
    }
    static QStringList sortedDefaults() {
        return {QStringLiteral("Classical"),   QStringLiteral("Electronic"),
                QStringLiteral("Hip Hop/Rap"), QStringLiteral("Jazz"),
                QStringLiteral("Pop"),         QStringLiteral("Rock")};
    }
    static QStringList menuItems(const QComboBox& menu) {
        QStringList items;
        for (int i = 0; i < menu.count(); ++i)
            items.append(menu.itemText(i));
        return items;
    }
};

} // namespace

TEST_F(EditorTest, SplitShowsOnlyForASplittableTitleAndMovesTheArtistOut) {
    TrackMetadataEditor editor({QStringLiteral("Aurora Vale - Night Song"),
                                {},
                                QStringLiteral("Album 1"),
                                {},
                                QStringLiteral("Pop")},
                               sortedDefaults());
    editor.show();
    EXPECT_TRUE(editor.splitButton()->isVisible());
    QTest::mouseClick(editor.splitButton(), Qt::LeftButton);
    EXPECT_EQ(editor.draft(), (TrackMetadata{QStringLiteral("Night Song"),
                                             QStringLiteral("Aurora Vale"),
                                             QStringLiteral("Album 1"),
                                             {},
                                             QStringLiteral("Pop")}));
    EXPECT_EQ(editor.artistField()->text(), QStringLiteral("Aurora Vale"));
    EXPECT_EQ(editor.titleField()->text(), QStringLiteral("Night Song"));
    EXPECT_FALSE(editor.splitButton()->isVisible());

    // Typing a dash back brings the button; a different artist already set hides it.
    editor.titleField()->setText(QStringLiteral("Someone Else - Night Song"));
    EXPECT_FALSE(editor.splitButton()->isVisible());
    editor.artistField()->clear();
    EXPECT_TRUE(editor.splitButton()->isVisible());
    editor.titleField()->setText(QStringLiteral("No separator here"));
    EXPECT_FALSE(editor.splitButton()->isVisible());
}

TEST_F(EditorTest, TheAlbumPlaceholderShowsOnlyWhileTheFieldHasNoFocus) {
    TrackMetadataEditor editor({QStringLiteral("Song"), {}, {}, {}, {}}, sortedDefaults());
    editor.show();
    QApplication::setActiveWindow(&editor);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    EXPECT_EQ(editor.albumField()->placeholderText(), QStringLiteral("Lorvanel.APP"));
    editor.albumField()->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return editor.albumField()->hasFocus(); }));
    EXPECT_EQ(editor.albumField()->placeholderText(), QString());
    editor.titleField()->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor.albumField()->hasFocus(); }));
    EXPECT_EQ(editor.albumField()->placeholderText(), QStringLiteral("Lorvanel.APP"));
}

TEST_F(EditorTest, TheGenreMenuStartsWithNotSetAndKeepsTheTracksOwnGenre) {
    TrackMetadataEditor blank({QStringLiteral("Song"), {}, {}, {}, {}}, sortedDefaults());
    EXPECT_EQ(menuItems(*blank.genreMenu()),
              QStringList{QStringLiteral("Not Set")} + sortedDefaults());
    EXPECT_EQ(blank.genreMenu()->currentIndex(), 0);

    TrackMetadataEditor rock({QStringLiteral("Song"), {}, {}, {}, QStringLiteral("Rock")},
                             sortedDefaults());
    EXPECT_EQ(rock.genreMenu()->currentText(), QStringLiteral("Rock"));
    rock.genreMenu()->setCurrentIndex(0);
    EXPECT_EQ(rock.draft().genre, QString());

    // A genre missing from the choices is still offered, so saving never drops it.
    TrackMetadataEditor odd({QStringLiteral("Song"), {}, {}, {}, QStringLiteral("Shoegaze")},
                            sortedDefaults());
    EXPECT_EQ(odd.genreMenu()->currentText(), QStringLiteral("Shoegaze"));
    EXPECT_EQ(odd.draft().genre, QStringLiteral("Shoegaze"));

    setLanguage(AppLanguage::simplifiedChinese);
    TrackMetadataEditor chinese({QStringLiteral("Song"), {}, {}, {}, {}}, sortedDefaults());
    EXPECT_EQ(chinese.genreMenu()->itemText(0), QStringLiteral("未设置"));
    // Genre names are data: never translated.
    EXPECT_EQ(chinese.genreMenu()->itemText(1), QStringLiteral("Classical"));
    EXPECT_EQ(chinese.heading()->text(), QStringLiteral("编辑曲目信息"));
}

TEST_F(EditorTest, ValuesLeaveExactlyAsTyped) {
    TrackMetadataEditor editor(
        {QStringLiteral("Song"), QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), {}},
        sortedDefaults());
    editor.show();
    editor.titleField()->clear();
    QTest::keyClicks(editor.titleField(), QStringLiteral("  Spaced  "));
    editor.artistField()->clear();
    editor.albumField()->clear();
    editor.albumArtistField()->clear();
    EXPECT_EQ(editor.draft(), (TrackMetadata{QStringLiteral("  Spaced  "), {}, {}, {}, {}}));
}
