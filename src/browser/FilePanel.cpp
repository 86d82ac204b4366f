#include "browser/FilePanel.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace FilePanel {

QFileDialog* make(const QString& prompt) {
    QWidget* window = QApplication::activeWindow();
    auto* panel = new QFileDialog(window);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setWindowModality(window ? Qt::WindowModal : Qt::NonModal);
    panel->setLabelText(QFileDialog::Accept, prompt);
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (QFileInfo(music).isDir())
        panel->setDirectory(music);
    return panel;
}

} // namespace FilePanel
