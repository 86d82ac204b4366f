#include "browser/TrackActionBar.h"

#include "appmodel/LorvPalette.h"
#include "browser/FilePanel.h"
#include "browser/SymbolIcon.h"
#include "browser/TextStyle.h"
#include "browser/TrackActionButtonStyle.h"
#include "device/IPodStore.h"
#include "library/TrackMetadata.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCollator>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QSet>

#include <algorithm>

using TrackActionButtonStyle::ActionIcon;

namespace {

constexpr int previewHeight = 26;
constexpr int previewPadding = 9;
constexpr int previewSymbol = 12;

} // namespace

// "Play Preview" / "Pause Preview" with its symbol on a dark rounded plate, sky while enabled.
class TrackActionBar::PreviewButton : public QAbstractButton {
public:
    explicit PreviewButton(QWidget* parent)
        : QAbstractButton(parent) {
        setObjectName(QStringLiteral("previewButton"));
        setFont(TextStyle::callout(QFont::Medium));
        setCursor(Qt::PointingHandCursor);
        setFixedHeight(previewHeight);
    }

    void setPlaying(bool playing) {
        playing_ = playing;
        updateGeometry();
        update();
    }

    QSize sizeHint() const override {
        const int text = fontMetrics().horizontalAdvance(this->text());
        return {previewPadding * 2 + previewSymbol + 5 + text, previewHeight};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath plate;
        plate.addRoundedRect(QRectF(rect()), 6, 6);
        painter.fillPath(plate, LorvPalette::night700());
        QColor colour = LorvPalette::sky();
        if (!isEnabled()) {
            colour = LorvPalette::fog();
            colour.setAlphaF(0.55);
        }
        const QPixmap symbol = SymbolIcon::pixmap(playing_ ? QStringLiteral("pause.fill")
                                                           : QStringLiteral("play.fill"),
                                                  previewSymbol, colour, devicePixelRatioF());
        painter.drawPixmap(QPointF(previewPadding, (height() - previewSymbol) / 2.0), symbol);
        painter.setPen(colour);
        painter.drawText(rect().adjusted(previewPadding + previewSymbol + 5, 0, -previewPadding, 0),
                         Qt::AlignLeft | Qt::AlignVCenter, text());
    }

private:
    bool playing_ = false;
};

TrackActionBar::TrackActionBar(IPodStore& store, QWidget* parent)
    : QWidget(parent)
    , store_(store) {
    setObjectName(QStringLiteral("trackActionBar"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    preview_ = new PreviewButton(this);
    row->addWidget(preview_);
    auto* icons = new QHBoxLayout;
    icons->setSpacing(3);
    export_ = new ActionIcon(QStringLiteral("arrow.down.to.line"), this);
    export_->setObjectName(QStringLiteral("exportButton"));
    delete_ = new ActionIcon(QStringLiteral("trash"), this);
    delete_->setObjectName(QStringLiteral("deleteButton"));
    delete_->setDestructive(true);
    icons->addWidget(export_);
    icons->addWidget(delete_);
    row->addLayout(icons);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    connect(preview_, &QAbstractButton::clicked, this, [this] {
        if (!ids_.isEmpty())
            store_.togglePreview(ids_.first());
    });
    connect(export_, &QAbstractButton::clicked, this,
            [this] { exportTracks(QSet<quint64>(ids_.cbegin(), ids_.cend())); });
    connect(delete_, &QAbstractButton::clicked, this,
            [this] { Q_EMIT deleteRequested(QSet<quint64>(ids_.cbegin(), ids_.cend())); });

    for (auto signal : {&IPodStore::libraryChanged, &IPodStore::activeDeviceIDChanged,
                        &IPodStore::previewTrackIDChanged, &IPodStore::isPreviewPlayingChanged,
                        &IPodStore::selectionChanged})
        connect(&store_, signal, this, &TrackActionBar::refresh);
    refresh();
}

QAbstractButton* TrackActionBar::previewButton() const {
    return preview_;
}

void TrackActionBar::setTrackIDs(const QList<quint64>& ids) {
    if (ids == ids_)
        return;
    ids_ = ids;
    refresh();
}

void TrackActionBar::refresh() {
    const AppLanguage language = AppLanguages::stored();
    const bool playing = isPreviewPlaying(store_, ids_);
    const QString title = playing ? localizedString(LZ("Pause Preview"), language)
                                  : localizedString(LZ("Play Preview"), language);
    preview_->setText(title);
    preview_->setToolTip(title);
    preview_->setPlaying(playing);
    preview_->setEnabled(canPreview(store_, ids_));
    const QString exportTitle = localizedString(LZ("Export Songs…"), language);
    export_->setToolTip(exportTitle);
    export_->setAccessibleName(exportTitle);
    export_->setEnabled(canExport(store_, ids_));
    delete_->setAccessibleName(localizedString(LZ("Delete From iPod"), language));
    delete_->setToolTip(localizedString(LZ("Delete the selected tracks from iPod"), language));
    delete_->setEnabled(canDelete(store_, ids_));
}

void TrackActionBar::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        refresh();
    QWidget::changeEvent(event);
}

// MARK: export

void TrackActionBar::exportTracks(const QSet<quint64>& ids) {
    const std::optional<IPodDevice::ID> deviceID = store_.selectedDiskID();
    if (ids.isEmpty() || store_.activeDeviceID() || !deviceID)
        return;
    delete exportPanel_;
    const AppLanguage language = AppLanguages::stored();
    QFileDialog* panel = FilePanel::make(localizedString(LZ("Export"), language));
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly);
    auto* lossless = new QCheckBox(
        localizedString(LZ("Export WAV as lossless M4A with artwork"), language), panel);
    lossless->setObjectName(QStringLiteral("losslessOption"));
    if (auto* grid = qobject_cast<QGridLayout*>(panel->layout()))
        grid->addWidget(lossless, grid->rowCount(), 0, 1, grid->columnCount());
    connect(panel, &QFileDialog::fileSelected, this,
            [this, ids, id = *deviceID, lossless](const QString& folder) {
                store_.startExport(ids, id, folder, lossless->isChecked());
            });
    exportPanel_ = panel;
    panel->open();
}

QCheckBox* TrackActionBar::losslessOption(QFileDialog* panel) {
    return panel ? panel->findChild<QCheckBox*>(QStringLiteral("losslessOption")) : nullptr;
}

// MARK: rules

bool TrackActionBar::canPreview(const IPodStore& store, const QList<quint64>& ids) {
    return ids.size() == 1 && !store.activeDeviceID();
}

bool TrackActionBar::isPreviewPlaying(const IPodStore& store, const QList<quint64>& ids) {
    if (ids.isEmpty() || !store.isPreviewPlaying())
        return false;
    const std::optional<quint64>& previewed = store.previewTrackID();
    return previewed && *previewed == ids.first();
}

bool TrackActionBar::canExport(const IPodStore& store, const QList<quint64>& ids) {
    return !ids.isEmpty() && !store.activeDeviceID();
}

bool TrackActionBar::canDelete(const IPodStore& store, const QList<quint64>& ids) {
    if (!store.canEditLibrary() || ids.isEmpty())
        return false;
    // Deleting every track would save a library without tracks.
    const IPodLibrary& library = *store.library();
    if (library.savesEmptyLibrary || ids.size() < library.tracks.size())
        return true;
    const QSet<quint64> chosen(ids.cbegin(), ids.cend());
    return std::any_of(library.tracks.cbegin(), library.tracks.cend(),
                       [&chosen](const Track& track) { return !chosen.contains(track.id); });
}

std::optional<Track> TrackActionBar::editedTrack(const IPodStore& store,
                                                 const QList<quint64>& ids) {
    const std::optional<IPodLibrary>& library = store.library();
    if (!library || ids.size() != 1)
        return std::nullopt;
    for (const Track& track : library->tracks) {
        if (track.id == ids.first())
            return track;
    }
    return std::nullopt;
}

bool TrackActionBar::canSetStartTrack(const IPodStore& store, const QList<quint64>& ids) {
    return store.library() && store.library()->supportsPlaybackStart && store.canEditLibrary() &&
           ids.size() == 1;
}

QStringList TrackActionBar::genreChoices(const QString& genre, AppLanguage language) {
    QStringList genres(TrackMetadata::defaultGenres().cbegin(),
                       TrackMetadata::defaultGenres().cend());
    genres.append(genre);
    genres.removeAll(QString());
    genres.removeDuplicates();
    QCollator collator(AppLanguages::locale(language));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::sort(genres.begin(), genres.end(), collator);
    return genres;
}

std::optional<TrackEditRequest> TrackActionBar::editRequest(const IPodStore& store,
                                                            const QList<quint64>& ids,
                                                            AppLanguage language) {
    const std::optional<Track> track = editedTrack(store, ids);
    const std::optional<IPodDevice::ID> disk = store.selectedDiskID();
    if (!store.canEditLibrary() || !track || !disk)
        return std::nullopt;
    TrackEditRequest request;
    request.id = track->id;
    request.deviceID = *disk;
    request.metadata = {track->title, track->artist, track->album, track->albumArtist,
                        track->genre};
    request.genres = genreChoices(track->genre, language);
    return request;
}
