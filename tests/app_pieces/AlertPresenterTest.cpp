#include "app/AlertPresenter.h"
#include "library/IPodDatabaseError.h"
#include "platform/Settings.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

struct Presenter : ::testing::Test {
    QMainWindow window;
    AlertPresenter presenter{&window};
    int confirmed = 0;

    void SetUp() override {
        Settings::shared().setValue(AppLanguages::storageKey(),
                                    AppLanguages::rawValue(AppLanguage::english));
        window.resize(800, 440);
        window.show();
    }

    ConfirmationRequest deleteRequest(qsizetype count = 3) {
        ConfirmationRequest request;
        request.kind = ConfirmationRequest::Kind::deleteTracks;
        request.trackCount = count;
        request.deviceName = [](AppLanguage) { return QStringLiteral("Kitchen iPod"); };
        request.confirm = [this] { ++confirmed; };
        return request;
    }

    ConfirmationRequest ejectRequest() {
        ConfirmationRequest request = deleteRequest();
        request.kind = ConfirmationRequest::Kind::eject;
        return request;
    }

    QPushButton* button(QMessageBox* box, const QString& text) {
        for (QAbstractButton* b : box->buttons())
            if (b->text() == text)
                return qobject_cast<QPushButton*>(b);
        return nullptr;
    }

    void settle() { QCoreApplication::processEvents(); }
};

} // namespace

TEST_F(Presenter, ReturnCancelsTheDeleteConfirmation) {
    QSignalSpy closed(&presenter, &AlertPresenter::confirmationClosed);
    presenter.presentConfirmation(deleteRequest());
    QMessageBox* box = presenter.confirmationBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text(), QStringLiteral("Delete songs from iPod?"));
    EXPECT_EQ(box->informativeText(),
              QStringLiteral("Delete the selected tracks (3) from Kitchen iPod."));
    EXPECT_EQ(box->defaultButton(), button(box, QStringLiteral("Cancel")));

    QTest::keyClick(box, Qt::Key_Return);
    settle();
    EXPECT_EQ(confirmed, 0);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(presenter.hasConfirmation());
    EXPECT_EQ(presenter.confirmationBox(), nullptr);
}

TEST_F(Presenter, ReturnCancelsEvenWithFocusOnDeleteAndEscapeCancelsToo) {
    presenter.presentConfirmation(deleteRequest());
    QMessageBox* box = presenter.confirmationBox();
    QPushButton* remove = button(box, QStringLiteral("Delete"));
    ASSERT_NE(remove, nullptr);
    remove->setFocus();
    QTest::keyClick(remove, Qt::Key_Return);
    settle();
    EXPECT_EQ(confirmed, 0);

    presenter.presentConfirmation(deleteRequest());
    QTest::keyClick(presenter.confirmationBox(), Qt::Key_Escape);
    settle();
    EXPECT_EQ(confirmed, 0);
    EXPECT_FALSE(presenter.hasConfirmation());
}

TEST_F(Presenter, OnlyAClickOnDeleteOrEjectConfirms) {
    presenter.presentConfirmation(deleteRequest());
    QTest::mouseClick(button(presenter.confirmationBox(), QStringLiteral("Delete")),
                      Qt::LeftButton);
    settle();
    EXPECT_EQ(confirmed, 1);

    presenter.presentConfirmation(ejectRequest());
    QMessageBox* box = presenter.confirmationBox();
    EXPECT_EQ(box->text(), QStringLiteral("Eject iPod?"));
    EXPECT_EQ(box->informativeText(),
              QStringLiteral("Eject Kitchen iPod before disconnecting it?"));
    QTest::keyClick(box, Qt::Key_Return);
    settle();
    EXPECT_EQ(confirmed, 1);
    presenter.presentConfirmation(ejectRequest());
    QTest::mouseClick(button(presenter.confirmationBox(), QStringLiteral("Eject")), Qt::LeftButton);
    settle();
    EXPECT_EQ(confirmed, 2);
}

TEST_F(Presenter, NewConfirmationReplacesThePendingOneWithoutActing) {
    QSignalSpy closed(&presenter, &AlertPresenter::confirmationClosed);
    presenter.presentConfirmation(deleteRequest(2));
    QPointer<QMessageBox> first = presenter.confirmationBox();
    presenter.presentConfirmation(ejectRequest());
    settle();
    EXPECT_TRUE(first.isNull() || !first->isVisible());
    EXPECT_EQ(presenter.confirmationBox()->text(), QStringLiteral("Eject iPod?"));
    EXPECT_EQ(closed.count(), 0);
    EXPECT_EQ(confirmed, 0);
}

TEST_F(Presenter, StoreMessageWaitsBehindAPendingConfirmation) {
    QSignalSpy dismissed(&presenter, &AlertPresenter::alertDismissed);
    presenter.presentConfirmation(deleteRequest());
    presenter.setAlert(QStringLiteral("Songs exported."));
    EXPECT_EQ(presenter.alertBox(), nullptr);

    QTest::keyClick(presenter.confirmationBox(), Qt::Key_Escape);
    settle();
    QMessageBox* alert = presenter.alertBox();
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
    EXPECT_EQ(alert->text(), QStringLiteral("Lorvanel"));
    EXPECT_EQ(alert->informativeText(), QStringLiteral("Songs exported."));

    QTest::mouseClick(button(alert, QStringLiteral("OK")), Qt::LeftButton);
    settle();
    EXPECT_EQ(dismissed.count(), 1);
    EXPECT_EQ(presenter.alertBox(), nullptr);
    EXPECT_EQ(presenter.alert(), std::nullopt);
}

TEST_F(Presenter, AlertSetByTheConfirmedActionShowsRightAfter) {
    ConfirmationRequest request = deleteRequest();
    request.confirm = [this] { presenter.setAlert(QStringLiteral("Refused.")); };
    presenter.presentConfirmation(std::move(request));
    QTest::mouseClick(button(presenter.confirmationBox(), QStringLiteral("Delete")),
                      Qt::LeftButton);
    settle();
    ASSERT_NE(presenter.alertBox(), nullptr);
    EXPECT_EQ(presenter.alertBox()->informativeText(), QStringLiteral("Refused."));
}

TEST_F(Presenter, AnAlertIsAsWideAsItsLine) {
    for (const AppLanguage language : {AppLanguage::english, AppLanguage::simplifiedChinese}) {
        Settings::shared().setValue(AppLanguages::storageKey(), AppLanguages::rawValue(language));
        const QString full =
            IPodDatabaseError::libraryReason(LZ("Save library"),
                                             LZ("There is not enough free space on the disk."))
                .description(language);
        presenter.setAlert(full);
        settle();
        QMessageBox* alert = presenter.alertBox();
        ASSERT_NE(alert, nullptr);
        const auto* text = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->text(), full);
        // One line, the whole text on it.
        EXPECT_GE(text->width(), text->fontMetrics().horizontalAdvance(full));
        EXPECT_EQ(text->heightForWidth(text->width()), text->heightForWidth(10'000));
        presenter.setAlert(std::nullopt);
        settle();
    }
}

TEST_F(Presenter, AlertFollowsItsFieldAndAConfirmationWaitsBehindIt) {
    presenter.setAlert(QStringLiteral("First"));
    ASSERT_NE(presenter.alertBox(), nullptr);
    presenter.setAlert(QStringLiteral("Second"));
    EXPECT_EQ(presenter.alertBox()->informativeText(), QStringLiteral("Second"));

    presenter.presentConfirmation(ejectRequest());
    EXPECT_EQ(presenter.confirmationBox(), nullptr);
    // Cleared by the store: the alert closes quietly and the confirmation comes up.
    QSignalSpy dismissed(&presenter, &AlertPresenter::alertDismissed);
    presenter.setAlert(std::nullopt);
    settle();
    EXPECT_EQ(dismissed.count(), 0);
    EXPECT_EQ(presenter.alertBox(), nullptr);
    ASSERT_NE(presenter.confirmationBox(), nullptr);
    EXPECT_TRUE(presenter.confirmationBox()->isVisible());
}

TEST_F(Presenter, OpenConfirmationRelabelsOnLanguageChange) {
    presenter.presentConfirmation(deleteRequest(1));
    Settings::shared().setValue(AppLanguages::storageKey(),
                                AppLanguages::rawValue(AppLanguage::simplifiedChinese));
    QEvent change(QEvent::LanguageChange);
    QCoreApplication::sendEvent(presenter.confirmationBox(), &change);
    QMessageBox* box = presenter.confirmationBox();
    EXPECT_EQ(box->text(), QStringLiteral("要从 iPod 删除歌曲吗？"));
    EXPECT_NE(button(box, QStringLiteral("取消")), nullptr);
    EXPECT_NE(button(box, QStringLiteral("删除")), nullptr);
    Settings::shared().setValue(AppLanguages::storageKey(),
                                AppLanguages::rawValue(AppLanguage::english));
}
