#pragma once

// Takes audio files and folders dragged from a file manager onto a target widget to the store's
// import. Only local files count. The target is lit while a drag of files hovers over it (even one
// the store would refuse); a drag is offered a copy only while the store can import, and a drop
// hands the files to IPodStore::importDroppedItems, which decides.

#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>

class IPodStore;
class QMimeData;
class QWidget;

class AudioDropDelegate : public QObject {
    Q_OBJECT

public:
    // setTargeted follows whether a drag hovers over the target.
    AudioDropDelegate(IPodStore& store, QWidget* target, std::function<void(bool)> setTargeted);

    // A target that takes no drops (a playlist on screen) lets drags pass by.
    void setAccepting(bool accepting);

    // The local files and folders among the dragged items.
    static QList<QUrl> fileURLs(const QMimeData* data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    IPodStore& store_;
    QWidget* target_;
    std::function<void(bool)> setTargeted_;
    bool accepting_ = true;
};
