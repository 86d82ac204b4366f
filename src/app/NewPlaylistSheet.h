#pragma once

// The sheet that creates a playlist: the new-playlist view in the sheet frame, with "Cancel"
// and "Save to iPod", which follows the view's live test and creates the playlist and closes.

#include "app/SheetDialog.h"
#include "appmodel/MainViewState.h"

class IPodStore;
class NewPlaylistView;

class NewPlaylistSheet : public SheetDialog {
    Q_OBJECT

public:
    NewPlaylistSheet(IPodStore& store, const NewPlaylistRequest& request, QWidget* parent);

    NewPlaylistView* view() const { return view_; }

private:
    NewPlaylistView* view_ = nullptr;
};
