#pragma once

// The strip of generation pills under the series bar: one pill per generation of the series on
// show, the selected one lit. When the width runs short the strip scrolls sideways and keeps the
// selected pill in its middle.

#include <QAbstractButton>
#include <QList>
#include <QString>
#include <QWidget>

class QScrollArea;

class GenerationPill : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int fixedHeight = 27;

    GenerationPill(int index, QWidget* parent = nullptr);
    int index() const { return index_; }
    void setContent(const QString& ordinal, const QString& year, bool selected);
    bool isSelected() const { return isChecked(); }
    const QString& ordinal() const { return ordinal_; }
    const QString& year() const { return year_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
    // Only the showcase changes which pill is checked.
    void nextCheckState() override {}

private:
    int index_;
    QString ordinal_;
    QString year_;
};

class GenerationStrip : public QWidget {
    Q_OBJECT

public:
    static constexpr int fixedHeight = 37;
    static constexpr int widthLimit = 710;

    struct Pill {
        QString ordinal;
        QString year;
    };

    explicit GenerationStrip(QWidget* parent = nullptr);

    // A new series or selection; the selected pill is scrolled into the middle.
    void setContent(const QList<Pill>& pills, int selected);
    QList<GenerationPill*> pills() const { return pills_; }
    // Whether the pills are wider than the strip, so that it scrolls.
    bool scrolls() const;
    QScrollArea* scrollArea() const { return scroll_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void generationClicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void centreSelection();

    QScrollArea* scroll_ = nullptr;
    QWidget* row_ = nullptr;
    QList<GenerationPill*> pills_;
    int selected_ = 0;
};
