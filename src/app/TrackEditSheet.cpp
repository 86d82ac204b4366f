#include "app/TrackEditSheet.h"

#include "browser/TrackMetadataEditor.h"
#include "platform/AppLanguage.h"

#include <QVBoxLayout>

TrackEditSheet::TrackEditSheet(const TrackEditRequest& request,
                               std::function<void(const TrackMetadata&)> save, QWidget* parent)
    : SheetDialog(parent) {
    setObjectName(QStringLiteral("trackEditSheet"));
    layout()->setContentsMargins(20, 20, 20, 20);
    layout()->setSpacing(14);
    editor_ = new TrackMetadataEditor(request.metadata, request.genres, this);
    contentLayout()->addWidget(editor_);
    addCancelButton();
    QPushButton* confirm = addConfirmButton(LZ("Save to iPod"));
    connect(confirm, &QPushButton::clicked, this, [this, save = std::move(save)] {
        save(editor_->draft());
        accept();
    });
    // The content follows the language by itself; the title bar repeats its heading.
    setTitleKey(LZ("Edit Track Info"));
}
