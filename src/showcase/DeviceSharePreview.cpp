#include "showcase/DeviceSharePreview.h"

#include "appmodel/LorvPalette.h"
#include "appmodel/StartupSeries.h"
#include "artwork/DeviceArt.h"
#include "artwork/MessageBoxText.h"
#include "platform/AppLanguage.h"
#include "showcase/BrowserLink.h"
#include "showcase/DeviceShareImage.h"
#include "showcase/ShowcaseDrawing.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextBoundaryFinder>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int padding = 14;
constexpr int rowSpacing = 12;
constexpr int counterWidth = 42;

bool isLineBreak(QStringView grapheme) {
    if (grapheme.isEmpty())
        return false;
    const char32_t c = grapheme.front().unicode();
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// The grapheme clusters of a text, in order.
QList<QStringView> graphemes(const QString& text) {
    QList<QStringView> out;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        out.append(QStringView(text).mid(start, end - start));
        start = end;
    }
    return out;
}

// The card, scaled to the popup's width and kept as a picture until the card changes.
class CardView : public QWidget {
public:
    explicit CardView(QWidget* parent)
        : QWidget(parent) {
        setObjectName(QStringLiteral("shareCardPreview"));
        setFixedSize(int(DeviceSharePreview::previewWidth),
                     int(std::round(DeviceSharePreview::previewWidth * 2 / 3)));
    }

    void setCard(const DeviceShareCard& card) {
        card_ = card;
        picture_ = QImage();
        setAccessibleName(card.details ? card.title + QStringLiteral(", ") + *card.details
                                       : card.title);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const double ratio = devicePixelRatioF();
        if (picture_.isNull() || picture_.devicePixelRatio() != ratio) {
            const double k = DeviceSharePreview::previewWidth / DeviceShareCard::width;
            picture_ =
                QImage(QSize(int(std::ceil(width() * ratio)), int(std::ceil(height() * ratio))),
                       QImage::Format_RGB32);
            picture_.setDevicePixelRatio(ratio);
            picture_.fill(LorvPalette::night900());
            QPainter p(&picture_);
            p.scale(k, k);
            card_.render(p);
        }
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setClipPath(DeviceArt::roundedRect(QRectF(rect()), 8));
        p.drawImage(QPointF(0, 0), picture_);
    }

private:
    DeviceShareCard card_;
    QImage picture_;
};

// Whether two cards make the same picture.
bool sameCard(const DeviceShareCard& a, const DeviceShareCard& b) {
    const auto front = [](const DeviceShareCard& c) {
        const auto& f = c.artwork;
        return f ? std::optional(std::tuple(f->image, f->series.rawValue(), f->generation,
                                            f->finish.rawValue(), f->frame))
                 : std::nullopt;
    };
    const auto rear = [](const DeviceShareCard& c) {
        const auto& r = c.rearArtwork;
        return r ? std::optional(std::tuple(r->series.rawValue(), r->generation,
                                            r->finish.rawValue(), r->showsRear, r->rearCapacity,
                                            r->rearEngraving))
                 : std::nullopt;
    };
    return a.title == b.title && a.details == b.details && a.caption == b.caption &&
           front(a) == front(b) && rear(a) == rear(b);
}

QLabel* captionLabel(QWidget* parent, const QColor& colour) {
    auto* label = new QLabel(parent);
    label->setFont(ShowcaseDrawing::font(11, QFont::Normal, label));
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
    return label;
}

} // namespace

DeviceSharePreview::DeviceSharePreview(const Input& input, QWidget* dialogParent, QWidget* parent)
    : QFrame(parent, Qt::Popup)
    , input_(input)
    , dialogParent_(dialogParent) {
    setObjectName(QStringLiteral("deviceSharePreview"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, LorvPalette::night800());
    pal.setColor(QPalette::Highlight, LorvPalette::periwinkle());
    setPalette(pal);
    setFrameShape(QFrame::StyledPanel);

    const AppLanguage language = AppLanguages::stored();
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(rowSpacing);
    column->setSizeConstraint(QLayout::SetFixedSize);

    cardView_ = new CardView(this);
    column->addWidget(cardView_);

    buildOptions();

    auto* engravingRow = new QHBoxLayout;
    engravingRow->setSpacing(8);
    engraving_ = new QLineEdit(this);
    engraving_->setPlaceholderText(localizedString(LZ("Engraving"), language));
    engraving_->setAccessibleName(engraving_->placeholderText());
    connect(engraving_, &QLineEdit::textChanged, this, &DeviceSharePreview::engravingEdited);
    counter_ = captionLabel(this, LorvPalette::fog());
    counter_->setFixedWidth(counterWidth);
    counter_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    engravingRow->addWidget(engraving_, 1);
    engravingRow->addWidget(counter_);
    column->addLayout(engravingRow);

    auto* actions = new QHBoxLayout;
    actions->setSpacing(8);
    save_ = new QPushButton(localizedString(LZ("Save PNG…"), language), this);
    connect(save_, &QPushButton::clicked, this, [this] {
        if (const auto png = renderDeviceImagePNG())
            saveDeviceImage(*png);
    });
    copy_ = new QPushButton(localizedString(LZ("Copy Image and Open X"), language), this);
    copy_->setObjectName(QStringLiteral("copyButton"));
    copy_->setCursor(Qt::PointingHandCursor);
    copy_->setStyleSheet(QStringLiteral("QPushButton#copyButton { background: %1; color: %2; "
                                        "border: none; border-radius: 5px; padding: 4px 10px; }")
                             .arg(LorvPalette::periwinkle().name(), LorvPalette::ink().name()));
    connect(copy_, &QPushButton::clicked, this, [this] {
        if (const auto png = renderDeviceImagePNG())
            copyDeviceImageAndOpenCompose(*png);
    });
    actions->addWidget(save_);
    actions->addStretch(1);
    actions->addWidget(copy_);
    column->addLayout(actions);

    message_ = captionLabel(this, LorvPalette::fog());
    message_->setObjectName(QStringLiteral("shareMessage"));
    message_->setWordWrap(true);
    column->addWidget(message_);

    refresh();
}

void DeviceSharePreview::buildOptions() {
    const AppLanguage language = AppLanguages::stored();
    auto* row = new QWidget(this);
    auto* options = new QHBoxLayout(row);
    options->setContentsMargins(0, 0, 0, 0);
    options->setSpacing(16);
    year_ = nullptr;
    capacity_ = nullptr;
    back_ = nullptr;
    const auto picker = [&](const QString& key, QComboBox*& box) {
        auto* pair = new QHBoxLayout;
        pair->setSpacing(6);
        auto* label = new QLabel(localizedString(key, language), row);
        box = new QComboBox(row);
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        label->setBuddy(box);
        box->setAccessibleName(label->text());
        pair->addWidget(label);
        pair->addWidget(box);
        options->addLayout(pair);
    };
    if (input_.years && input_.years->first < input_.years->last) {
        picker(LZ("Year"), year_);
        for (int y = input_.years->first; y <= input_.years->last; ++y)
            year_->addItem(QString::number(y), y);
        connect(year_, &QComboBox::activated, this, [this](int index) {
            selectedYear_ = year_->itemData(index).toInt();
            refresh();
        });
    }
    if (input_.capacities.size() >= 2) {
        picker(LZ("Capacity"), capacity_);
        for (const QString& c : input_.capacities)
            capacity_->addItem(c, c);
        connect(capacity_, &QComboBox::activated, this, [this](int index) {
            selectedCapacity_ = capacity_->itemData(index).toString();
            refresh();
        });
    }
    if (input_.rearArtwork) {
        options->addStretch(1);
        back_ = new QCheckBox(localizedString(LZ("Show Back"), language), row);
        back_->setAccessibleName(back_->text());
        back_->setChecked(showsBack_);
        connect(back_, &QCheckBox::toggled, this, [this](bool on) {
            showsBack_ = on;
            refresh();
        });
        options->addWidget(back_);
    }
    row->setVisible(year_ || capacity_ || back_);
    if (options_) {
        delete layout()->replaceWidget(options_, row);
        delete options_;
    } else {
        layout()->addWidget(row);
    }
    options_ = row;
}

void DeviceSharePreview::setInput(const Input& input) {
    input_ = input;
    // The user's choices stay where the new content still offers them.
    if (selectedYear_ && !(input_.years && input_.years->contains(*selectedYear_)))
        selectedYear_.reset();
    if (selectedCapacity_ && !input_.capacities.contains(*selectedCapacity_))
        selectedCapacity_.reset();
    if (!input_.rearArtwork)
        showsBack_ = false;
    buildOptions();
    refresh();
}

int DeviceSharePreview::characterCount(const QString& text) {
    return int(graphemes(text).size());
}

QString DeviceSharePreview::normalizeEngraving(const QString& text, int limit) {
    QStringList pieces;
    QString piece;
    for (QStringView g : graphemes(text)) {
        if (isLineBreak(g)) {
            if (!piece.isEmpty())
                pieces.append(piece);
            piece.clear();
        } else {
            piece += g;
        }
    }
    if (!piece.isEmpty())
        pieces.append(piece);
    const QString joined = pieces.join(u' ');
    const QList<QStringView> kept = graphemes(joined);
    if (kept.size() <= limit)
        return joined;
    QString out;
    for (int i = 0; i < limit; ++i)
        out += kept[i];
    return out;
}

void DeviceSharePreview::engravingEdited(const QString& text) {
    const QString normalized = normalizeEngraving(text);
    if (normalized != text) {
        const int cursor = std::min(engraving_->cursorPosition(), int(normalized.size()));
        engraving_->setText(normalized); // comes back here with nothing left to do
        engraving_->setCursorPosition(cursor);
        return;
    }
    engravingText_ = normalized;
    refresh();
}

std::optional<int> DeviceSharePreview::shownYear() const {
    if (selectedYear_)
        return selectedYear_;
    if (input_.years)
        return input_.years->first;
    return std::nullopt;
}

std::optional<QString> DeviceSharePreview::currentCapacity() const {
    if (selectedCapacity_)
        return selectedCapacity_;
    if (!input_.capacities.isEmpty())
        return input_.capacities.front();
    return std::nullopt;
}

DeviceShareCard DeviceSharePreview::makeCard() const {
    const AppLanguage language = AppLanguages::stored();
    DeviceShareCard card;
    card.title = input_.title;
    QStringList joined;
    if (const auto year = shownYear())
        joined << QString::number(*year);
    if (const auto capacity = currentCapacity())
        joined << *capacity;
    const QString facts = joined.join(QStringLiteral(" · "));
    if (!facts.isEmpty() && input_.finish)
        card.details = localizedString(LZ("%1 · %2"), language, facts, *input_.finish);
    else if (!facts.isEmpty())
        card.details = facts;
    else
        card.details = input_.finish;
    card.caption = engravingText_.trimmed();

    if (showsBack_ && input_.rearArtwork) {
        StartupDeviceVector::Drawing rear = *input_.rearArtwork;
        rear.rearEngraving = card.caption;
        const StartupModel* model = rear.series.model(rear.generation);
        if (const auto capacity = currentCapacity();
            capacity && model && model->capacityOptions().contains(*capacity))
            rear.rearCapacity = *capacity;
        card.rearArtwork = rear;
    }
    const auto& r = input_.rearArtwork;
    if (r && !(r->series == StartupSeries::shuffle && r->generation == 2))
        card.artwork = StartupDeviceArtwork{std::nullopt, r->series, r->generation, r->finish};
    else
        card.artwork = input_.artwork;
    return card;
}

QString DeviceSharePreview::message() const {
    const AppLanguage language = AppLanguages::stored();
    return localizedString(
        feedback_ ? *feedback_ : LZ("Paste the image into the X post with Ctrl+V."), language);
}

void DeviceSharePreview::setFeedback(const std::optional<QString>& key) {
    feedback_ = key;
    message_->setText(message());
}

void DeviceSharePreview::refresh() {
    if (year_)
        year_->setCurrentIndex(year_->findData(shownYear().value_or(0)));
    if (capacity_)
        capacity_->setCurrentIndex(capacity_->findData(currentCapacity().value_or(QString())));
    counter_->setText(
        QStringLiteral("%1/%2").arg(characterCount(engravingText_)).arg(engravingLimit));
    const DeviceShareCard card = makeCard();
    // What was said of the card before (that the clipboard holds it, say) is not true of
    // another one.
    if (shownCard_ && !sameCard(card, *shownCard_))
        feedback_.reset();
    shownCard_ = card;
    static_cast<CardView*>(cardView_)->setCard(card);
    message_->setText(message());
}

std::optional<QByteArray> DeviceSharePreview::renderDeviceImagePNG() {
    setFeedback(std::nullopt);
    auto png = DeviceShareImage::renderPNG(makeCard());
    if (!png)
        setFeedback(LZ("Couldn’t create the device image."));
    return png;
}

void DeviceSharePreview::saveDeviceImage(const QByteArray& png) {
    auto* dialog = new QFileDialog(dialogParent_);
    dialog->setObjectName(QStringLiteral("saveDeviceImageDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(localizedString(LZ("PNG Image (*.png)"), AppLanguages::stored()));
    dialog->setDefaultSuffix(QStringLiteral("png"));
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        dialog->setDirectory(pictures);
    dialog->selectFile(DeviceShareImage::proposedFileName());
    // The popup may close while the dialog is open: the dialog keeps its own copy of the bytes.
    QPointer<QWidget> owner = dialogParent_;
    connect(dialog, &QFileDialog::fileSelected, dialog, [owner, png](const QString& path) {
        if (path.isEmpty())
            return;
        // The dialog already asked before replacing an existing file.
        const std::optional<QString> error = DeviceShareImage::write(path, png);
        if (!error)
            return;
        QMessageBox* alert = MessageBoxText::makeAlert(owner, QMessageBox::Critical);
        alert->setObjectName(QStringLiteral("saveDeviceImageAlert"));
        const AppLanguage language = AppLanguages::stored();
        MessageBoxText::setAlertTexts(
            *alert, localizedString(LZ("The device image could not be saved."), language), *error,
            language);
        alert->setAttribute(Qt::WA_DeleteOnClose);
        alert->open();
    });
    dialog->open();
}

void DeviceSharePreview::copyDeviceImageAndOpenCompose(const QByteArray& png) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(DeviceShareImage::clipboardData(png));
    // Qt reports no failure of its own; what the clipboard hands back tells.
    const QMimeData* held = clipboard->mimeData();
    if (!held || !held->hasFormat(QStringLiteral("image/png"))) {
        setFeedback(LZ("Couldn’t copy the device image."));
        return;
    }
    setFeedback(BrowserLink::open(BrowserLink::composePostPage())
                    ? LZ("Image copied. Paste it into the X post with Ctrl+V.")
                    : LZ("Image copied. Open X in your browser to paste it."));
}
