#pragma once

// The one open panel of imports and exports: our own dialog (the desktop's cannot pick several
// folders, carry an option of ours, or be driven by tests), as a sheet on the active window or
// free-standing without one, starting in the user's Music folder, deleted when it closes.

#include <QString>

class QFileDialog;

namespace FilePanel {

// The panel with its accept button titled prompt; the caller sets its mode and opens it.
QFileDialog* make(const QString& prompt);

} // namespace FilePanel
