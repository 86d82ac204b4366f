#pragma once

// The card laid over the window while the store works on a device: the stage as its title, the
// percentage in the interface language's number format, a bar (moving on its own until the
// first report) and, during a file's turn, "File 3 of 12" with the file's name shortened in the
// middle, and a note when the caller has one (that the application quits when done). The space
// around the card is dimmed.

#include "transfer/ImportProgress.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QProgressBar;

class ImportProgressPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int cardWidth = 440;

    explicit ImportProgressPanel(QWidget* parent = nullptr);

    // The title as shown; the panel looks its other texts up itself.
    void setTitle(const QString& title);
    void setProgress(const std::optional<ImportProgress>& progress);
    // A line under the rest, as shown; none when empty.
    void setNote(const QString& note);

    // 0.42 -> "42%" (written the language's way); a whole percent rounded half to even.
    static QString percentText(double fraction, AppLanguage language);

    QWidget* card() const { return card_; }
    QLabel* titleLabel() const { return title_; }
    QLabel* percentLabel() const { return percent_; }
    QProgressBar* progressBar() const { return bar_; }
    QWidget* fileRow() const { return fileRow_; }
    QLabel* fileCountLabel() const { return fileCount_; }
    QLabel* noteLabel() const { return note_; }
    // The file name as shown, shortened in the middle to the room it has.
    QString shownFileName() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void refresh();
    void placeCard();

    std::optional<ImportProgress> progress_;
    QImage shadow_;
    QWidget* card_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* percent_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QWidget* fileRow_ = nullptr;
    QLabel* fileCount_ = nullptr;
    QLabel* fileName_ = nullptr;
    QLabel* note_ = nullptr;
};
