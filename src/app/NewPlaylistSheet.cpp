#include "app/NewPlaylistSheet.h"

#include "browser/NewPlaylistView.h"
#include "platform/AppLanguage.h"

#include <QVBoxLayout>

NewPlaylistSheet::NewPlaylistSheet(IPodStore& store, const NewPlaylistRequest& request,
                                   QWidget* parent)
    : SheetDialog(parent) {
    setObjectName(QStringLiteral("newPlaylistSheet"));
    layout()->setContentsMargins(18, 18, 18, 18);
    layout()->setSpacing(12);
    view_ = new NewPlaylistView(store, request, this);
    contentLayout()->addWidget(view_);
    addCancelButton();
    QPushButton* confirm = addConfirmButton(LZ("Save to iPod"));
    confirm->setEnabled(view_->canSave());
    connect(view_, &NewPlaylistView::canSaveChanged, confirm, &QPushButton::setEnabled);
    connect(confirm, &QPushButton::clicked, this, [this] {
        view_->save();
        accept();
    });
    // The content follows the language by itself; the title bar repeats its heading.
    setTitleKey(LZ("Add Playlist"));
}
