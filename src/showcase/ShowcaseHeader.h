#pragma once

// The header under the showcase's stage: a row of chips about the model on show (title, year,
// capacities and finish; the finish swatches; the discontinuation year with the sales figure)
// that falls into two or three lines when the width runs short, then the page title, the
// sentence on how far this model is supported, and the data-source link.

#include "appmodel/StartupModel.h"
#include "appmodel/StartupSeries.h"
#include "platform/AppLanguage.h"
#include "showcase/CapsuleChip.h"

#include <QAbstractButton>
#include <QList>
#include <QWidget>

class QLabel;

// One finish as a clickable dot; the selected one has a ring.
class FinishSwatch : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int side = 18;

    FinishSwatch(StartupModel::Finish finish, QWidget* parent = nullptr);
    StartupModel::Finish finish() const { return finish_; }
    // Shown to assistive technology as the checked swatch; only the showcase changes it.
    bool isSelected() const { return isChecked(); }
    void setSelected(bool selected) { setChecked(selected); }
    QSize sizeHint() const override { return QSize(side, side); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void nextCheckState() override {}

private:
    StartupModel::Finish finish_;
};

// The three chips, in the first arrangement that fits the width: one row; the model chip and
// swatches over the facts; or all three stacked.
class ModelDetails : public QWidget {
    Q_OBJECT

public:
    enum class Arrangement { oneRow, factsBelow, stacked };

    explicit ModelDetails(QWidget* parent = nullptr);

    CapsuleChip* modelChip() const { return model_; }
    QWidget* swatches() const { return swatches_; }
    CapsuleChip* factsChip() const { return facts_; }
    Arrangement arrangement(int width) const;

    void setFinishes(const std::vector<StartupModel::Finish>& finishes,
                     StartupModel::Finish selected);
    QList<FinishSwatch*> swatchButtons() const { return swatchButtons_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

Q_SIGNALS:
    void finishClicked(StartupModel::Finish finish);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    bool showsSwatches() const;
    void place();

    CapsuleChip* model_ = nullptr;
    QWidget* swatches_ = nullptr;
    CapsuleChip* facts_ = nullptr;
    QList<FinishSwatch*> swatchButtons_;
};

class ShowcaseHeader : public QWidget {
    Q_OBJECT

public:
    struct Content {
        StartupSeries series = StartupSeries::classic;
        int generation = 0;
        QString title; // the generation's title in the interface language
        StartupModel::Finish finish = StartupModel::Finish::white;
    };

    explicit ShowcaseHeader(QWidget* parent = nullptr);

    void setContent(const Content& content);

    ModelDetails* details() const { return details_; }
    QLabel* titleLabel() const { return title_; }
    QLabel* supportLabel() const { return support_; }
    QLabel* linkLabel() const { return link_; }

    // The texts of the chips, in the language.
    static QList<CapsuleChip::Run> modelRuns(const Content& content, AppLanguage language);
    static QList<CapsuleChip::Run> factsRuns(const StartupModel& model, AppLanguage language);
    // Whether and how the application supports a model.
    static QString supportStatus(StartupSeries series, int generation, AppLanguage language);

Q_SIGNALS:
    void finishClicked(StartupModel::Finish finish);

protected:
    void changeEvent(QEvent* event) override;

private:
    void refresh();

    Content content_;
    ModelDetails* details_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* support_ = nullptr;
    QLabel* link_ = nullptr;
};
