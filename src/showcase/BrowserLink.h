#pragma once

// The web pages the showcase and the share card open in the user's browser, and the one place
// they are opened through, so that tests can stand in for the browser.

#include <QUrl>

#include <functional>

namespace BrowserLink {

using Opener = std::function<bool(const QUrl& url)>;

// True when the page was handed to a browser.
bool open(const QUrl& url);
// Replaces the desktop's browser (tests); an empty opener puts it back.
void setOpener(Opener opener);

// The encyclopedia article the showcase's figures come from.
QUrl dataSourcePage();
// The social network's page for writing a new post.
QUrl composePostPage();

} // namespace BrowserLink
