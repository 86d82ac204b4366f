#include "artwork/PopupPlacement.h"

#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace {

// The start of a span of `length` moved inside [low, high), or at `low` when it cannot fit.
int within(int start, int length, int low, int high) {
    return std::max(low, std::min(start, high - length));
}

// The top left corner of a popup of `size` next to `anchor`, all in global coordinates; an
// empty screen is no limit.
QPoint nextTo(const QRect& anchor, const QSize& size, int gap, const QRect& window,
              const QRect& screen) {
    int x = anchor.left() + (anchor.width() - size.width()) / 2;
    const int below = anchor.bottom() + 1 + gap;
    const int above = anchor.top() - gap - size.height();
    if (screen.isEmpty())
        return QPoint(x, below);
    // The window's width first, when the popup fits in the part of it that is on the screen.
    const QRect shown = window.intersected(screen);
    if (shown.width() >= size.width())
        x = within(x, size.width(), shown.left(), shown.right() + 1);
    x = within(x, size.width(), screen.left(), screen.right() + 1);
    int y = below;
    if (below + size.height() > screen.bottom() + 1 && above >= screen.top())
        y = above;
    y = within(y, size.height(), screen.top(), screen.bottom() + 1);
    return QPoint(x, y);
}

} // namespace

void PopupPlacement::place(QWidget* popup, const QWidget* anchor, int gap) {
    // A platform that frames popups moves the frame to the point given.
    popup->winId();
    const QMargins frame =
        popup->windowHandle() ? popup->windowHandle()->frameMargins() : QMargins();
    const QWidget* window = anchor->window();
    const QScreen* screen = window->screen();
    const QRect button(anchor->mapToGlobal(QPoint(0, 0)), anchor->size());
    popup->move(nextTo(button, popup->size().grownBy(frame), gap, window->geometry(),
                       screen ? screen->availableGeometry() : QRect()));
}
