#include "schedule/WebPages.h"

#include "version.h"

#include <QDesktopServices>

namespace WebPages {
namespace {
Opener& opener() {
    static Opener o;
    return o;
}
} // namespace

QUrl homePage() {
    return QUrl(QStringLiteral("https://www.pelloran.example/"));
}

QString majorVersion(const QString& fileVersion) {
    const qsizetype dot = fileVersion.indexOf(u'.');
    return dot < 0 ? QString() : fileVersion.left(dot);
}

QUrl updatePage(const QString& fileVersion) {
    QUrl url = homePage();
    url.setPath(QStringLiteral("/updates/pelloran-%1.html").arg(majorVersion(fileVersion)));
    return url;
}

QUrl updatePage() {
    return updatePage(QStringLiteral(PELLORAN_FILE_VERSION));
}

void setOpener(Opener o) {
    opener() = std::move(o);
}

void open(const QUrl& url) {
    if (opener())
        opener()(url);
    else
        QDesktopServices::openUrl(url);
}

} // namespace WebPages
