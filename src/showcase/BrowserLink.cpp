#include "showcase/BrowserLink.h"

#include <QDesktopServices>

namespace BrowserLink {

namespace {

Opener& opener() {
    static Opener current;
    return current;
}

} // namespace

bool open(const QUrl& url) {
    if (opener())
        return opener()(url);
    return QDesktopServices::openUrl(url);
}

void setOpener(Opener replacement) {
    opener() = std::move(replacement);
}

QUrl dataSourcePage() {
    return QUrl(QStringLiteral("https://en.wikipedia.org/wiki/IPod"));
}

QUrl composePostPage() {
    return QUrl(QStringLiteral("https://x.com/compose/post"));
}

} // namespace BrowserLink
