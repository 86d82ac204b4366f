#include "browser/AudioDropDelegate.h"

#include "device/IPodStore.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

AudioDropDelegate::AudioDropDelegate(IPodStore& store, QWidget* target,
                                     std::function<void(bool)> setTargeted)
    : QObject(target)
    , store_(store)
    , target_(target)
    , setTargeted_(std::move(setTargeted)) {
    target_->setAcceptDrops(true);
    target_->installEventFilter(this);
}

void AudioDropDelegate::setAccepting(bool accepting) {
    accepting_ = accepting;
    target_->setAcceptDrops(accepting);
    if (!accepting)
        setTargeted_(false);
}

QList<QUrl> AudioDropDelegate::fileURLs(const QMimeData* data) {
    QList<QUrl> files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls()) {
        if (url.isValid() && url.isLocalFile())
            files.append(url);
    }
    return files;
}

bool AudioDropDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (watched != target_)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!accepting_ || fileURLs(drag->mimeData()).isEmpty()) {
            drag->ignore();
            return true;
        }
        if (event->type() == QEvent::DragEnter) {
            // The target stays the drag's target, so it hears when the drag leaves.
            drag->accept();
            setTargeted_(true);
        }
        if (store_.canImport()) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else if (event->type() == QEvent::DragMove) {
            drag->ignore();
        } else {
            drag->setDropAction(Qt::IgnoreAction);
        }
        return true;
    }
    case QEvent::DragLeave:
        setTargeted_(false);
        return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        setTargeted_(false);
        const QList<QUrl> files = accepting_ ? fileURLs(drop->mimeData()) : QList<QUrl>();
        if (store_.importDroppedItems(files)) {
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
        } else {
            drop->ignore();
        }
        return true;
    }
    default:
        return false;
    }
}
