#pragma once

// Puts the cover-flow control into the cover-flow view and keeps the two in step: the groups and
// their covers become the control's items (rebuilt only when the groups, the covers or the
// unknown title changed), and the selection travels both ways through a binding, with an
// updating flag so that what is pushed into the control is not written back.

#include "coverflow/CoverFlowControl.h"
#include "coverflow/CoverItem.h"
#include "coverflow/QXFlowViewDataSource.h"
#include "coverflow/QXFlowViewDelegate.h"
#include "library/CoverFlowGroup.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// A two-way binding to a signed index.
struct CoverSelectionBinding {
    std::function<int()> get = [] { return 0; };
    std::function<void(int)> set = [](int) {};
};

class CoverCarousel {
public:
    // The control's data source and delegate.
    class Coordinator : public QXFlowViewDataSource, public QXFlowViewDelegate {
    public:
        QList<CoverFlowGroup::ID> groupIDs;
        QHash<quint64, QByteArray> artwork;
        QString unknownTitle;
        std::vector<std::shared_ptr<const CoverItem>> items;
        CoverSelectionBinding selection;
        bool updating = false;

        QXIndex numberOfItemsInFlowView(QXFlowView& view) override;
        QXFlowViewItemPtr itemAtIndex(QXFlowView& view, QXIndex index) override;
        void flowViewSelectionDidChange(QXFlowView& view) override;
    };

    // Inputs. The ids are those of the groups, in order (kept so that an unchanged list compares
    // at once).
    QList<CoverFlowGroup> groups;
    QList<CoverFlowGroup::ID> groupIDs;
    QHash<quint64, QByteArray> artwork;
    QString unknownTitle;
    CoverSelectionBinding selection;

    static std::unique_ptr<Coordinator> makeCoordinator();
    // A configured control with the coordinator as data source and delegate; the coordinator
    // must outlive it or be detached first.
    static CoverFlowControl* makeNSView(Coordinator& coordinator, QWidget* parent);
    // Brings the items (when their inputs changed) and the clamped selection into the control.
    void updateNSView(CoverFlowControl& control, Coordinator& coordinator) const;
};
