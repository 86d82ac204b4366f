#pragma once

// The sheet that edits one track's tags: the tag editor in the sheet frame, with "Cancel" and
// "Save to iPod". Save is always enabled; it hands the draft, as typed, to save and closes.

#include "app/SheetDialog.h"
#include "appmodel/MainViewState.h"

#include <functional>

class TrackMetadataEditor;

class TrackEditSheet : public SheetDialog {
    Q_OBJECT

public:
    TrackEditSheet(const TrackEditRequest& request, std::function<void(const TrackMetadata&)> save,
                   QWidget* parent);

    TrackMetadataEditor* editor() const { return editor_; }

private:
    TrackMetadataEditor* editor_ = nullptr;
};
