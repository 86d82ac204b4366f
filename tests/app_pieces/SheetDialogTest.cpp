#include "app/SheetDialog.h"
#include "app/SheetSlot.h"
#include "appmodel/LorvPalette.h"
#include "platform/AppLanguage.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMainWindow>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace {

// A sheet as the editors build it: a field, a secondary button, Cancel and a confirming button.
struct TestSheet : SheetDialog {
    QLineEdit* field = nullptr;
    QPushButton* split = nullptr;
    int saves = 0;

    explicit TestSheet(QWidget* parent)
        : SheetDialog(parent) {
        field = new QLineEdit(this);
        contentLayout()->addWidget(field);
        addCancelButton();
        connect(addConfirmButton(LZ("OK")), &QPushButton::clicked, this, [this] {
            ++saves;
            accept();
        });
        // Added after the confirming button, as content sometimes is.
        split = new QPushButton(QStringLiteral("Split"), this);
        contentLayout()->addWidget(split);
    }
};

struct Sheets : ::testing::Test {
    QMainWindow window;
    void SetUp() override {
        window.resize(800, 440);
        window.show();
    }
};

} // namespace

TEST_F(Sheets, FrameIsWindowModalFixedWidthOnChrome) {
    auto* sheet = new TestSheet(&window);
    sheet->present();
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->width(), SheetFrame::sheetWidth);
    EXPECT_EQ(sheet->minimumWidth(), sheet->maximumWidth());
    EXPECT_EQ(sheet->palette().color(QPalette::Highlight), LorvPalette::periwinkle());
    const QImage image = sheet->grab().toImage();
    EXPECT_EQ(image.pixelColor(2, 2), LorvPalette::night800());

    QWidget form;
    SheetFrame::apply(&form, SheetFrame::settingsFormWidth);
    EXPECT_EQ(form.maximumWidth(), 302);
    delete sheet;
}

TEST_F(Sheets, ReturnConfirmsFromTheFieldAndFromAnotherButton) {
    auto* sheet = new TestSheet(&window);
    sheet->present();
    sheet->field->setFocus();
    QTest::keyClick(sheet->field, Qt::Key_Return);
    EXPECT_EQ(sheet->saves, 1);
    EXPECT_EQ(sheet->result(), QDialog::Accepted);

    sheet->present();
    sheet->split->setFocus();
    QTest::keyClick(sheet->split, Qt::Key_Return);
    EXPECT_EQ(sheet->saves, 2);
    delete sheet;
}

TEST_F(Sheets, EscapeAndCancelReject) {
    auto* sheet = new TestSheet(&window);
    sheet->present();
    QTest::keyClick(sheet->field, Qt::Key_Escape);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(sheet->result(), QDialog::Rejected);
    sheet->present();
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(sheet->saves, 0);
    delete sheet;
}

TEST_F(Sheets, SlotReplacesTheOpenSheetAndReportsItsOwnDismissal) {
    SheetSlot slot;
    QSignalSpy dismissed(&slot, &SheetSlot::dismissed);
    QPointer<TestSheet> first = new TestSheet(&window);
    slot.present(first);
    QPointer<TestSheet> second = new TestSheet(&window);
    slot.present(second);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(dismissed.count(), 0);
    ASSERT_EQ(slot.current(), second.data());

    QTest::keyClick(second->field, Qt::Key_Escape);
    EXPECT_EQ(dismissed.count(), 1);
    EXPECT_EQ(slot.current(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(second.isNull());

    auto* third = new TestSheet(&window);
    slot.present(third);
    slot.dismiss();
    EXPECT_EQ(dismissed.count(), 1);
    EXPECT_EQ(slot.current(), nullptr);
}
