#include "showcase/ShowcaseHeader.h"

#include "appmodel/LorvPalette.h"
#include "showcase/BrowserLink.h"
#include "showcase/CompactNumberFormat.h"
#include "showcase/ShowcaseDrawing.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int chipSpacing = 8;
constexpr int lineSpacing = 5;

CapsuleChip::Style chipStyle() {
    CapsuleChip::Style style;
    style.fontSize = 12;
    style.spacing = 7;
    style.paddingX = 10;
    style.height = 26;
    style.background = LorvPalette::night700();
    return style;
}

// The swatches on their own capsule.
class SwatchRow : public QWidget {
public:
    explicit SwatchRow(QWidget* parent)
        : QWidget(parent) {
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(4, 3, 4, 3);
        row->setSpacing(3);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(ShowcaseDrawing::capsule(QRectF(rect())), LorvPalette::night700());
    }
};

QLabel* label(QWidget* parent, double size, QFont::Weight weight, const QColor& colour) {
    auto* l = new QLabel(parent);
    l->setFont(ShowcaseDrawing::font(size, weight, l));
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, colour);
    l->setPalette(p);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

} // namespace

FinishSwatch::FinishSwatch(StartupModel::Finish finish, QWidget* parent)
    : QAbstractButton(parent)
    , finish_(finish) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setFixedSize(side, side);
    setCheckable(true);
    setAccessibleName(localizedString(finish.displayName(), AppLanguages::stored()));
    setToolTip(accessibleName());
}

void FinishSwatch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area(rect());
    if (isSelected()) {
        p.setPen(QPen(LorvPalette::sky(), 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(area.adjusted(1, 1, -1, -1));
    }
    const QRectF dot = area.adjusted(3, 3, -3, -3);
    p.setPen(Qt::NoPen);
    p.setBrush(finish_.swatchColor());
    p.drawEllipse(dot);
    p.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.35f), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(dot.adjusted(0.5, 0.5, -0.5, -0.5));
    if (hasFocus()) {
        p.setPen(QPen(LorvPalette::periwinkle(), 1));
        p.drawEllipse(area.adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

ModelDetails::ModelDetails(QWidget* parent)
    : QWidget(parent) {
    model_ = new CapsuleChip(chipStyle(), this);
    model_->setObjectName(QStringLiteral("modelChip"));
    swatches_ = new SwatchRow(this);
    swatches_->setObjectName(QStringLiteral("finishSwatches"));
    swatches_->setAccessibleName(localizedString(LZ("Colors"), AppLanguages::stored()));
    facts_ = new CapsuleChip(chipStyle(), this);
    facts_->setObjectName(QStringLiteral("factsChip"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ModelDetails::setFinishes(const std::vector<StartupModel::Finish>& finishes,
                               StartupModel::Finish selected) {
    bool same = int(finishes.size()) == swatchButtons_.size();
    for (int i = 0; same && i < swatchButtons_.size(); ++i)
        same = swatchButtons_[i]->finish() == finishes[std::size_t(i)];
    if (!same) {
        qDeleteAll(swatchButtons_);
        swatchButtons_.clear();
        for (StartupModel::Finish finish : finishes) {
            auto* swatch = new FinishSwatch(finish, swatches_);
            connect(swatch, &QAbstractButton::clicked, this,
                    [this, finish] { Q_EMIT finishClicked(finish); });
            swatches_->layout()->addWidget(swatch);
            swatch->show();
            swatchButtons_.append(swatch);
        }
    }
    for (FinishSwatch* swatch : swatchButtons_) {
        swatch->setSelected(swatch->finish() == selected);
        swatch->setAccessibleName(
            localizedString(swatch->finish().displayName(), AppLanguages::stored()));
        swatch->setToolTip(swatch->accessibleName());
    }
    swatches_->setVisible(showsSwatches());
    swatches_->adjustSize();
    updateGeometry();
    place();
}

bool ModelDetails::showsSwatches() const {
    return swatchButtons_.size() >= 2;
}

ModelDetails::Arrangement ModelDetails::arrangement(int width) const {
    const int model = model_->sizeHint().width();
    const int swatches = showsSwatches() ? swatches_->sizeHint().width() + chipSpacing : 0;
    const int facts = facts_->sizeHint().width();
    if (model + swatches + chipSpacing + facts <= width)
        return Arrangement::oneRow;
    if (model + swatches <= width)
        return Arrangement::factsBelow;
    return Arrangement::stacked;
}

int ModelDetails::heightForWidth(int width) const {
    const int chip = model_->sizeHint().height();
    const int swatches = showsSwatches() ? swatches_->sizeHint().height() : 0;
    switch (arrangement(width)) {
    case Arrangement::oneRow:
        return std::max(chip, swatches);
    case Arrangement::factsBelow:
        return std::max(chip, swatches) + lineSpacing + chip;
    case Arrangement::stacked:
        return chip + (showsSwatches() ? lineSpacing + swatches : 0) + lineSpacing + chip;
    }
    return chip;
}

QSize ModelDetails::sizeHint() const {
    const int model = model_->sizeHint().width();
    const int swatches = showsSwatches() ? swatches_->sizeHint().width() + chipSpacing : 0;
    const int w = model + swatches + chipSpacing + facts_->sizeHint().width();
    return QSize(w, heightForWidth(w));
}

QSize ModelDetails::minimumSizeHint() const {
    const int w = std::max(model_->sizeHint().width(), facts_->sizeHint().width());
    return QSize(std::min(w, 200), heightForWidth(w));
}

void ModelDetails::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place();
}

void ModelDetails::place() {
    const QSize model = model_->sizeHint();
    const QSize swatches = showsSwatches() ? swatches_->sizeHint() : QSize(0, 0);
    const QSize facts = facts_->sizeHint();
    const int w = width();
    // Centres a row of widgets horizontally at a top edge, each centred in the row's height.
    const auto row = [w](std::initializer_list<std::pair<QWidget*, QSize>> items, int top) {
        int total = 0, tall = 0, count = 0;
        for (const auto& [widget, size] : items) {
            if (size.isEmpty())
                continue;
            total += size.width() + (count++ ? chipSpacing : 0);
            tall = std::max(tall, size.height());
        }
        int x = (w - total) / 2;
        for (const auto& [widget, size] : items) {
            if (size.isEmpty())
                continue;
            widget->setGeometry(x, top + (tall - size.height()) / 2, size.width(), size.height());
            x += size.width() + chipSpacing;
        }
        return top + tall;
    };
    switch (arrangement(w)) {
    case Arrangement::oneRow:
        row({{model_, model}, {swatches_, swatches}, {facts_, facts}}, 0);
        break;
    case Arrangement::factsBelow: {
        const int bottom = row({{model_, model}, {swatches_, swatches}}, 0);
        row({{facts_, facts}}, bottom + lineSpacing);
        break;
    }
    case Arrangement::stacked: {
        int bottom = row({{model_, model}}, 0);
        if (showsSwatches())
            bottom = row({{swatches_, swatches}}, bottom + lineSpacing);
        row({{facts_, facts}}, bottom + lineSpacing);
        break;
    }
    }
}

ShowcaseHeader::ShowcaseHeader(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("showcaseHeader"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    details_ = new ModelDetails(this);
    connect(details_, &ModelDetails::finishClicked, this, &ShowcaseHeader::finishClicked);
    column->addWidget(details_);
    title_ = label(this, 23, QFont::DemiBold, LorvPalette::mist());
    title_->setObjectName(QStringLiteral("showcaseTitle"));
    title_->setAccessibleDescription(QStringLiteral("heading"));
    column->addWidget(title_);
    support_ = label(this, 13, QFont::Normal, LorvPalette::fog());
    support_->setObjectName(QStringLiteral("supportStatus"));
    support_->setWordWrap(true);
    column->addWidget(support_);
    link_ = label(this, 11, QFont::Normal, LorvPalette::periwinkle());
    link_->setObjectName(QStringLiteral("dataSourceLink"));
    link_->setTextFormat(Qt::RichText);
    link_->setOpenExternalLinks(false);
    link_->setCursor(Qt::PointingHandCursor);
    connect(link_, &QLabel::linkActivated, this,
            [](const QString&) { BrowserLink::open(BrowserLink::dataSourcePage()); });
    column->addWidget(link_);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    refresh();
}

void ShowcaseHeader::setContent(const Content& content) {
    content_ = content;
    refresh();
}

void ShowcaseHeader::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        refresh();
    QWidget::changeEvent(event);
}

QList<CapsuleChip::Run> ShowcaseHeader::modelRuns(const Content& content, AppLanguage language) {
    QList<CapsuleChip::Run> runs;
    const StartupModel* model = content.series.model(content.generation);
    runs.append({content.title, LorvPalette::mist(), QFont::DemiBold});
    if (content.series == StartupSeries::classic && content.generation == 4)
        runs.append({QStringLiteral("·  iPod Video"), LorvPalette::fog()});
    if (model)
        runs.append(
            {QStringLiteral("·  %1  ·  %2").arg(QString::number(model->year), model->capacity),
             LorvPalette::fog()});
    runs.append({QStringLiteral("·"), LorvPalette::fog()});
    runs.append({localizedString(content.finish.displayName(), language), LorvPalette::fog()});
    return runs;
}

QList<CapsuleChip::Run> ShowcaseHeader::factsRuns(const StartupModel& model, AppLanguage language) {
    QList<CapsuleChip::Run> runs;
    runs.append(
        {localizedString(LZ("Discontinued: %1"), language, QString::number(model.discontinuedYear)),
         LorvPalette::fog()});
    if (model.sales) {
        runs.append({QStringLiteral("·"), LorvPalette::fog()});
        const QString figure = model.sales->isEstimate()
                                   ? localizedString(LZ("Report estimate: %1 units"), language,
                                                     CompactNumberFormat::format(
                                                         model.sales->estimatedUnits(), language))
                                   : localizedString(model.sales->milestoneKey(), language);
        runs.append({figure, LorvPalette::fog()});
    }
    return runs;
}

QString ShowcaseHeader::supportStatus(StartupSeries series, int generation, AppLanguage language) {
    const StartupModel* model = series.model(generation);
    if (!model || !model->sales)
        return localizedString(LZ("Not yet supported"), language);
    if ((series == StartupSeries::classic && generation < 5) ||
        (series == StartupSeries::nano && (generation == 2 || generation >= 4)))
        return localizedString(LZ("Support is in development. Stay tuned."), language);
    if (series == StartupSeries::classic)
        return localizedString(LZ("Connect via USB to browse the library."), language);
    return localizedString(
        LZ("Connect a supported %1 via USB, then drag songs into the track list."), language,
        series.displayName());
}

void ShowcaseHeader::refresh() {
    const AppLanguage language = AppLanguages::stored();
    const StartupModel* model = content_.series.model(content_.generation);
    details_->modelChip()->setRuns(modelRuns(content_, language));
    details_->factsChip()->setRuns(model ? factsRuns(*model, language) : QList<CapsuleChip::Run>{});
    details_->swatches()->setAccessibleName(localizedString(LZ("Colors"), language));
    details_->setFinishes(model ? model->finishes : std::vector<StartupModel::Finish>{},
                          content_.finish);
    title_->setText(localizedString(LZ("Manage iPod music on your computer"), language));
    support_->setText(supportStatus(content_.series, content_.generation, language));
    link_->setText(
        QStringLiteral("<a href=\"%1\" style=\"color:%2; text-decoration:none\">%3</a>")
            .arg(BrowserLink::dataSourcePage().toString(), LorvPalette::periwinkle().name(),
                 localizedString(LZ("Data source · Wikipedia"), language).toHtmlEscaped()));
    updateGeometry();
}
