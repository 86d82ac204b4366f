#include "browser/TrackMetadataEditor.h"

#include "appmodel/LorvPalette.h"
#include "browser/TextStyle.h"
#include "platform/AppLanguage.h"
#include "transfer/IPodTransfer.h"

#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TrackMetadataEditor::TrackMetadataEditor(const TrackMetadata& draft, const QList<QString>& genres,
                                         QWidget* parent)
    : QWidget(parent)
    , draft_(draft) {
    setObjectName(QStringLiteral("trackMetadataEditor"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(14);
    heading_ = new QLabel(this);
    heading_->setFont(TextStyle::body(QFont::Bold));
    column->addWidget(heading_);

    form_ = new QFormLayout;
    form_->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form_->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(8);
    title_ = new QLineEdit(this);
    title_->setObjectName(QStringLiteral("titleField"));
    split_ = new QPushButton(this);
    split_->setObjectName(QStringLiteral("splitButton"));
    split_->setAutoDefault(false);
    titleRow->addWidget(title_, 1);
    titleRow->addWidget(split_);
    artist_ = new QLineEdit(this);
    artist_->setObjectName(QStringLiteral("artistField"));
    album_ = new QLineEdit(this);
    album_->setObjectName(QStringLiteral("albumField"));
    album_->installEventFilter(this);
    albumArtist_ = new QLineEdit(this);
    albumArtist_->setObjectName(QStringLiteral("albumArtistField"));
    genre_ = new QComboBox(this);
    genre_->setObjectName(QStringLiteral("genreMenu"));
    // The empty genre first; every other genre as it is, the track's own always among them so
    // that saving never drops it.
    genre_->addItem(QString(), QString());
    QList<QString> choices = genres;
    if (!draft.genre.isEmpty() && !choices.contains(draft.genre))
        choices.append(draft.genre);
    for (const QString& genre : choices)
        genre_->addItem(genre, genre);
    for (QLabel*& label : labels_)
        label = new QLabel(this);
    form_->addRow(labels_[0], titleRow);
    form_->addRow(labels_[1], artist_);
    form_->addRow(labels_[2], album_);
    form_->addRow(labels_[3], albumArtist_);
    form_->addRow(labels_[4], genre_);
    column->addLayout(form_);

    showDraft();
    connect(title_, &QLineEdit::textChanged, this, [this](const QString& text) {
        draft_.title = text;
        refreshSplit();
    });
    connect(artist_, &QLineEdit::textChanged, this, [this](const QString& text) {
        draft_.artist = text;
        refreshSplit();
    });
    connect(album_, &QLineEdit::textChanged, this,
            [this](const QString& text) { draft_.album = text; });
    connect(albumArtist_, &QLineEdit::textChanged, this,
            [this](const QString& text) { draft_.albumArtist = text; });
    connect(genre_, &QComboBox::currentIndexChanged, this,
            [this](int index) { draft_.genre = genre_->itemData(index).toString(); });
    connect(split_, &QPushButton::clicked, this, &TrackMetadataEditor::applySplit);
    retranslate();
    refreshAlbumPlaceholder();
}

void TrackMetadataEditor::showDraft() {
    const TrackMetadata shown = draft_;
    title_->setText(shown.title);
    artist_->setText(shown.artist);
    album_->setText(shown.album);
    albumArtist_->setText(shown.albumArtist);
    genre_->setCurrentIndex(std::max(0, genre_->findData(shown.genre)));
    draft_ = shown;
    refreshSplit();
}

void TrackMetadataEditor::applySplit() {
    if (const std::optional<TrackMetadata> split = draft_.splitArtistAndTitle()) {
        draft_ = *split;
        showDraft();
    }
}

void TrackMetadataEditor::refreshSplit() {
    split_->setVisible(draft_.splitArtistAndTitle().has_value());
}

void TrackMetadataEditor::refreshAlbumPlaceholder() {
    // The album an import would write, shown as it is, while the field is not being typed in.
    album_->setPlaceholderText(album_->hasFocus() ? QString() : IPodTransfer::defaultAlbum);
}

bool TrackMetadataEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == album_ &&
        (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        refreshAlbumPlaceholder();
    return QWidget::eventFilter(watched, event);
}

void TrackMetadataEditor::retranslate() {
    const AppLanguage language = AppLanguages::stored();
    heading_->setText(localizedString(LZ("Edit Track Info"), language));
    split_->setText(localizedString(LZ("Split"), language));
    split_->setToolTip(localizedString(LZ("Split Artist and Title"), language));
    const QString labels[] = {LZ("Title"), LZ("Artist"), LZ("Album"), LZ("Album Artist"),
                              LZ("Genre")};
    for (int row = 0; row < 5; ++row)
        labels_[row]->setText(localizedString(labels[row], language));
    title_->setAccessibleName(labels_[0]->text());
    genre_->setItemText(0, localizedString(LZ("Not Set"), language));
}

void TrackMetadataEditor::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}
