#pragma once

// How a shown message box lays out its message (its informative text), for the GUI suites:
// the lines its label breaks the message into, and whether that reads as the boxes should: on
// one line when the message fits the longest line, else broken between words only.

#include "artwork/MessageBoxText.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QLabel>
#include <QMessageBox>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <cmath>
#include <memory>

namespace TestSupport {

inline QLabel* messageLabel(const QMessageBox& box) {
    return box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
}

// The label lays a message out in a text document of its own at its width; without one (no
// text interaction) it wraps the plain text at word boundaries alike.
inline QStringList messageLines(const QMessageBox& box) {
    const QLabel* label = messageLabel(box);
    if (!label)
        return {};
    const QString text = label->text();
    const int width = label->contentsRect().width();
    std::unique_ptr<QTextDocument> document;
    if (const auto* own = label->findChild<QTextDocument*>()) {
        document.reset(own->clone());
    } else {
        document = std::make_unique<QTextDocument>(text);
        document->setDefaultFont(label->font());
        document->setDocumentMargin(0);
    }
    document->setTextWidth(width);
    document->size(); // lays it out
    QStringList lines;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QTextLayout* layout = block.layout();
        for (int i = 0; i < layout->lineCount(); ++i)
            lines.append(
                block.text().mid(layout->lineAt(i).textStart(), layout->lineAt(i).textLength()));
    }
    return lines;
}

// One line for a message that fits the longest line; otherwise lines that break between words,
// or in Chinese between characters, as Chinese is set, but never inside "推出" (eject).
inline void expectReadableMessage(const QMessageBox& box, const QString& message) {
    const QLabel* label = messageLabel(box);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), message);
    const QStringList lines = messageLines(box);
    const double advance = QFontMetricsF(label->font()).horizontalAdvance(message);
    if (std::ceil(advance) + 1 <= MessageBoxText::longestLine) {
        EXPECT_EQ(lines.join(u'|').toStdString(), message.toStdString());
        return;
    }
    EXPECT_GE(lines.size(), 2);
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        ASSERT_FALSE(lines[i].isEmpty() || lines[i + 1].isEmpty());
        const QChar last = lines[i].back();
        const QChar first = lines[i + 1].front();
        const auto inWord = [](QChar c) {
            return c.isLetterOrNumber() && c.script() != QChar::Script_Han;
        };
        EXPECT_FALSE((inWord(last) && inWord(first)) || (last == u'推' && first == u'出'))
            << "broken inside a word: " << lines[i].toStdString() << " | "
            << lines[i + 1].toStdString();
    }
}

} // namespace TestSupport
