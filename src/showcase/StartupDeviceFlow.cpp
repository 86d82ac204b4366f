#include "showcase/StartupDeviceFlow.h"

#include "appmodel/LorvPalette.h"
#include "showcase/CapsuleChip.h"
#include "showcase/DeviceStage.h"
#include "showcase/GenerationStrip.h"
#include "showcase/SeriesPillBar.h"
#include "showcase/ShowcaseHeader.h"
#include "showcase/ShowcaseMotion.h"
#include "showcase/ShowcaseToolbar.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <QVariantAnimation>

using Animation = StartupDeviceFlowState::Animation;

StartupDeviceFlow::StartupDeviceFlow(StartupSeries series,
                                     StartupDeviceFlowState::ImageForIcon imageForIcon,
                                     QWidget* parent)
    : QWidget(parent)
    , state_(new StartupDeviceFlowState(series, std::move(imageForIcon), this)) {
    setObjectName(QStringLiteral("startupDeviceFlow"));
    setFocusPolicy(Qt::StrongFocus);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 12, 16, 24);
    column->setSpacing(8);

    seriesBar_ = new SeriesPillBar(this);
    column->addWidget(seriesBar_, 0, Qt::AlignHCenter);

    hoverBox_ = new QWidget(this);
    hoverBox_->setObjectName(QStringLiteral("hoverFacts"));
    hoverBox_->setFixedHeight(hoverBoxHeight);
    hoverBox_->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* hoverRow = new QHBoxLayout(hoverBox_);
    hoverRow->setContentsMargins(0, 0, 0, 0);
    CapsuleChip::Style chip;
    chip.fontSize = 12;
    chip.weight = QFont::Medium;
    chip.paddingX = 12;
    chip.paddingY = 7;
    chip.height = 0;
    chip.radius = 9;
    chip.background = LorvPalette::night700();
    chip.minimumScale = 0.8;
    hoverChip_ = new CapsuleChip(chip, hoverBox_);
    hoverChip_->setObjectName(QStringLiteral("hoverFactsChip"));
    hoverRow->addWidget(hoverChip_, 0, Qt::AlignCenter);
    hoverChip_->hide();
    column->addWidget(hoverBox_);

    stripSlot_ = new QWidget(this);
    stripSlot_->setObjectName(QStringLiteral("generationStripSlot"));
    auto* stripRow = new QHBoxLayout(stripSlot_);
    stripRow->setContentsMargins(0, 0, 0, 0);
    strip_ = new GenerationStrip(stripSlot_);
    stripRow->addWidget(strip_, 0, Qt::AlignHCenter | Qt::AlignTop);
    stripSlot_->setFixedHeight(0);
    stripSlot_->hide();
    column->addWidget(stripSlot_);
    stripAnimation_ = new QVariantAnimation(this);
    connect(stripAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        const double t = v.toDouble();
        stripSlot_->setFixedHeight(
            int(std::round((stripShown_ ? t : 1 - t) * GenerationStrip::fixedHeight)));
    });
    connect(stripAnimation_, &QVariantAnimation::finished, this, [this] {
        stripSlot_->setFixedHeight(stripShown_ ? GenerationStrip::fixedHeight : 0);
        stripSlot_->setVisible(stripShown_);
    });

    auto* lower = new QVBoxLayout;
    lower->setSpacing(8);
    lower->addStretch(0);
    stage_ = new DeviceStage(this);
    lower->addWidget(stage_, 1);
    header_ = new ShowcaseHeader(this);
    lower->addWidget(header_);
    lower->addStretch(0);
    column->addLayout(lower, 1);

    toolbar_ = new ShowcaseToolbar(*state_);
    toolbar_->hide();

    connect(seriesBar_, &SeriesPillBar::seriesClicked, state_, &StartupDeviceFlowState::setSeries);
    connect(seriesBar_, &SeriesPillBar::seriesHovered, state_,
            &StartupDeviceFlowState::hoverSeries);
    connect(strip_, &GenerationStrip::generationClicked, state_,
            &StartupDeviceFlowState::selectGeneration);
    connect(stage_, &DeviceStage::moveRequested, state_, &StartupDeviceFlowState::move);
    connect(stage_, &DeviceStage::toggleRequested, this,
            [this] { state_->toggleGenerations(!state_->showsGenerations()); });
    connect(stage_, &DeviceStage::itemActivated, this, [this](int position) {
        // Items stand for generations of one series, or for the three series.
        const bool generations = state_->showsGenerations();
        const StartupSeries series =
            generations ? state_->series() : StartupSeries::allCases()[std::size_t(position)];
        state_->activateItem(series, generations ? position : state_->generationIndex(series));
        setFocus(Qt::MouseFocusReason);
    });
    connect(header_, &ShowcaseHeader::finishClicked, state_, &StartupDeviceFlowState::selectFinish);
    connect(state_, &StartupDeviceFlowState::changed, this, &StartupDeviceFlow::refresh);
    connect(state_, &StartupDeviceFlowState::hoverChanged, this, &StartupDeviceFlow::refreshHover);
    connect(state_, &StartupDeviceFlowState::seriesChanged, this,
            &StartupDeviceFlow::seriesChanged);

    watchKeys(this);
    refresh(Animation::none);
}

StartupDeviceFlow::~StartupDeviceFlow() {
    // The toolbar may live in the caller's toolbar row, but it reads this view's state.
    delete toolbar_;
}

QString StartupDeviceFlow::generationLabel(StartupSeries series, int generation, bool isLong,
                                           AppLanguage language) const {
    const StartupModel* model = series.model(generation);
    if (!state_->showsGenerations() || !model)
        return state_->generationTitle(series, generation, false, language);
    const QString year = QString::number(model->year);
    if (isLong)
        return localizedString(LZ("%1 · %2"), language,
                               localizedString(generationOrdinalLabels()[generation], language),
                               year);
    return localizedString(LZ("Gen %1 · %2"), language, QString::number(generation + 1), year);
}

void StartupDeviceFlow::refresh(Animation animation) {
    const AppLanguage language = AppLanguages::stored();
    const StartupDeviceFlowState& s = *state_;
    const StartupSeries series = s.series();
    const int selected = s.generationIndex(series);
    const bool generations = s.showsGenerations();

    seriesBar_->setSeries(series, animation);

    QList<GenerationStrip::Pill> pills;
    const auto& models = series.models();
    for (int g = 0; g < int(models.size()); ++g)
        pills.append({localizedString(generationOrdinalLabels()[g], language),
                      QString::number(models[std::size_t(g)].year)});
    strip_->setContent(pills, selected);
    strip_->setAccessibleName(localizedString(LZ("Generations"), language));
    showStrip(generations, animation);

    DeviceStage::Content stage;
    stage.generationsMode = generations;
    stage.selected = generations ? selected : int(series);
    const int count = generations ? int(models.size()) : 3;
    for (int p = 0; p < count; ++p) {
        const StartupSeries itemSeries =
            generations ? series : StartupSeries::allCases()[std::size_t(p)];
        const int g = generations ? p : s.generationIndex(itemSeries);
        const StartupModel::Finish finish = s.selectedFinish(itemSeries, g, false);
        DeviceStage::Item item{s.artwork(itemSeries, g, finish),
                               itemSeries.models()[std::size_t(g)].scale,
                               {},
                               s.generationTitle(itemSeries, g, false, language)};
        if (DeviceStageGeometry::offset(p, stage.selected, generations) != 0)
            item.caption = generationLabel(itemSeries, g, false, language);
        stage.items.push_back(item);
    }
    stage.toggleTitle = generationLabel(series, selected, true, language);
    const QString all =
        localizedString(LZ("All %1 generations"), language, QString::number(models.size()));
    stage.toggleCollapses = generations;
    stage.toggleAction = generations ? localizedString(LZ("Collapse"), language) : all;
    stage.toggleAccessibleName =
        generations ? localizedString(LZ("Hide generations"), language) : all;
    stage_->setContent(stage, animation);

    header_->setContent({series, selected, s.generationTitle(series, selected, true, language),
                         s.selectedFinish(series, selected, true)});
    toolbar_->refresh();
    refreshHover();
}

void StartupDeviceFlow::refreshHover() {
    const auto hovered = state_->hoveredSeries();
    if (!hovered) {
        hoverChip_->hide();
        return;
    }
    const AppLanguage language = AppLanguages::stored();
    hoverChip_->setRuns({{localizedString(LZ("%1 · %2"), language, hovered->displayName(),
                                          seriesFacts(*hovered, language)),
                          LorvPalette::mist()}});
    hoverChip_->show();
}

void StartupDeviceFlow::showStrip(bool shown, Animation animation) {
    if (shown == stripShown_)
        return;
    stripShown_ = shown;
    stripAnimation_->stop();
    if (animation == Animation::none || !isVisible()) {
        stripSlot_->setFixedHeight(shown ? GenerationStrip::fixedHeight : 0);
        stripSlot_->setVisible(shown);
        return;
    }
    stripSlot_->show();
    ShowcaseMotion::prepare(*stripAnimation_, animation);
    stripAnimation_->start();
}

bool StartupDeviceFlow::handleArrow(const QKeyEvent* event) {
    if (event->modifiers() != Qt::NoModifier && event->modifiers() != Qt::KeypadModifier)
        return false;
    switch (event->key()) {
    case Qt::Key_Up:
        state_->toggleGenerations(false);
        return true;
    case Qt::Key_Down:
        state_->toggleGenerations(true);
        return true;
    case Qt::Key_Left:
        state_->move(-1);
        return true;
    case Qt::Key_Right:
        state_->move(1);
        return true;
    default:
        return false;
    }
}

void StartupDeviceFlow::keyPressEvent(QKeyEvent* event) {
    if (handleArrow(event))
        return event->accept();
    QWidget::keyPressEvent(event);
}

void StartupDeviceFlow::watchKeys(QWidget* widget) {
    widget->installEventFilter(this);
    for (QWidget* child : widget->findChildren<QWidget*>())
        child->installEventFilter(this);
}

bool StartupDeviceFlow::eventFilter(QObject* watched, QEvent* event) {
    // Buttons inside the showcase would take the arrows for themselves; the showcase's moves
    // come first.
    if (event->type() == QEvent::KeyPress && watched != this) {
        if (handleArrow(static_cast<QKeyEvent*>(event)))
            return true;
    } else if (event->type() == QEvent::ChildAdded) {
        if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
            watchKeys(child);
    }
    return QWidget::eventFilter(watched, event);
}

void StartupDeviceFlow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        refresh(Animation::none);
    QWidget::changeEvent(event);
}
