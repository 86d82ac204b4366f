#pragma once

// What assistive tools see of a flow view: a scroll area whose children are the view's
// unignored layers (the list of items and the scroll bar), answered from the view's own
// accessibility attributes. A view that is ignored is invisible to them, with no children.

#include <QAccessibleWidget>

class QXFlowView;

class QXFlowViewAccessible : public QAccessibleWidget {
public:
    explicit QXFlowViewAccessible(QXFlowView* view);

    // Makes flow views (and their subclasses) answer through this interface; once per process.
    static void installFactory();

    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

private:
    QXFlowView* view() const;
    QVariantList children() const;
};
