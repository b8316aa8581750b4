#pragma once
// The maker's web pages the main window opens in the default browser: the
// home page and the update page of this major version.
#include <QString>
#include <QUrl>
#include <functional>

namespace WebPages {

QUrl homePage(); // https://www.pelloran.example/
// The text of a file version before its first "." ("2" of "2.0.29.103");
// empty when it has no ".".
QString majorVersion(const QString& fileVersion);
// "/updates/pelloran-<major>.html" on the maker's site.
QUrl updatePage(const QString& fileVersion);
// The update page of the running program.
QUrl updatePage();

// Opens a page in the default browser. Tests install an opener that records
// the address instead; an empty function restores the browser.
using Opener = std::function<void(const QUrl&)>;
void setOpener(Opener opener);
void open(const QUrl& url);

} // namespace WebPages
