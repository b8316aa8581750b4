// The help: every context number the dialogs use opens an existing page,
// every page is in the contents, links between pages (and their anchors)
// lead somewhere, and the viewer's list and history follow the pages.
#include "users/EditDeveloper.h"
#include "widgets/HelpRouter.h"
#include "widgets/HelpViewer.h"

#include "UsersFixture.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>

namespace {
QString pageText(const QUrl& url) {
    QFile f(QLatin1Char(':') + url.path());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

// Every link target of a page, as written.
QStringList linksOf(const QString& html) {
    QTextDocument doc;
    doc.setHtml(html);
    QStringList links;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (const QString href = it.fragment().charFormat().anchorHref(); !href.isEmpty())
                links.append(href);
    links.removeDuplicates();
    return links;
}
} // namespace

class TestHelp : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setFastPasswordHashingForTests(true); }
    void cleanup() {
        HelpRouter::instance().closeViewer();
        drainMessageAnswers();
    }

    void everyContextOpensItsPage_data();
    void everyContextOpensItsPage();
    void contextWithoutHelp();
    void contentsListsEveryPage();
    void linksResolve_data();
    void linksResolve();
    void viewerNavigation();
    void f1InAModalDialog();
};

void TestHelp::everyContextOpensItsPage_data() {
    QTest::addColumn<int>("context");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("mentions"); // a caption of the dialog the page is about

    QTest::newRow("login") << 1500 << "getting-started.html"
                           << "Username";
    QTest::newRow("task editor") << 2000 << "tasks.html"
                                 << "Add Task";
    QTest::newRow("project dialog") << 5000 << "projects.html"
                                    << "Default Developer:";
    QTest::newRow("features list") << 10000 << "features.html"
                                   << "Features List";
    QTest::newRow("options and user dialog") << 100300 << "options.html"
                                             << "User Setup";
}

void TestHelp::everyContextOpensItsPage() {
    QFETCH(int, context);
    QFETCH(QString, page);
    QFETCH(QString, mentions);

    const QUrl url = HelpRouter::urlForContext(context);
    QCOMPARE(url, HelpRouter::pageUrl(page));
    QVERIFY(pageText(url).contains(mentions));
    QVERIFY(HelpRouter::contexts().contains(context));

    QVERIFY(HelpRouter::instance().showContext(context));
    HelpViewer* viewer = HelpRouter::instance().viewer();
    QVERIFY(viewer);
    QCOMPARE(viewer->currentUrl(), url);
    QVERIFY(viewer->browser->toPlainText().contains(mentions));
    QCOMPARE(viewer->lstContents->currentItem()->text(),
             HelpRouter::pages().at(viewer->lstContents->currentRow()).title);
    QCOMPARE(HelpRouter::pages().at(viewer->lstContents->currentRow()).file, page);
}

void TestHelp::contextWithoutHelp() {
    Msg::pushAnswer(Msg::Answer::Ok);
    QVERIFY(!HelpRouter::instance().showContext(0));
    const QList<Msg::Shown> shown = Msg::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("No context sensitive help available"));
    QVERIFY(!HelpRouter::instance().viewer());

    // A number that has no page of its own falls back to the contents.
    QVERIFY(HelpRouter::urlForContext(4242).isEmpty());
    QVERIFY(!HelpRouter::instance().showContext(4242));
    QCOMPARE(HelpRouter::instance().viewer()->currentUrl(), HelpRouter::contentsUrl());
}

// The resources hold exactly the listed pages, and the contents page leads to each.
void TestHelp::contentsListsEveryPage() {
    QStringList listed;
    for (const HelpRouter::Page& p : HelpRouter::pages()) {
        listed.append(p.file);
        QVERIFY2(!pageText(HelpRouter::pageUrl(p.file)).isEmpty(), qPrintable(p.file));
    }
    QStringList inResources = QDir(QStringLiteral(":/help")).entryList(QDir::Files);
    inResources.sort();
    QStringList sorted = listed;
    sorted.sort();
    QCOMPARE(inResources, sorted);

    const QStringList fromContents = linksOf(pageText(HelpRouter::contentsUrl()));
    for (const QString& file : listed.mid(1))
        QVERIFY2(fromContents.contains(file), qPrintable(file));
}

void TestHelp::linksResolve_data() {
    QTest::addColumn<QString>("page");
    for (const HelpRouter::Page& p : HelpRouter::pages())
        QTest::newRow(qPrintable(p.file)) << p.file;
}

void TestHelp::linksResolve() {
    QFETCH(QString, page);
    const QUrl base = HelpRouter::pageUrl(page);
    const QStringList links = linksOf(pageText(base));
    QVERIFY(!links.isEmpty());
    for (const QString& link : links) {
        const QUrl target = base.resolved(QUrl(link));
        QVERIFY2(target.scheme() == QLatin1String("qrc"), qPrintable(link));
        const QString text = pageText(target);
        QVERIFY2(!text.isEmpty(), qPrintable(page + QStringLiteral(" -> ") + link));
        if (target.hasFragment())
            QVERIFY2(text.contains(QStringLiteral("id=\"") + target.fragment() + u'"'),
                     qPrintable(page + QStringLiteral(" -> ") + link));
    }
}

void TestHelp::viewerNavigation() {
    HelpRouter::instance().showContents();
    HelpViewer* v = HelpRouter::instance().viewer();
    QVERIFY(v);
    QCOMPARE(v->lstContents->count(), HelpRouter::pages().size());
    QCOMPARE(v->lstContents->currentRow(), 0);
    QVERIFY(!v->btnBack->isEnabled());

    // A click in the contents list, then a link inside the page.
    v->lstContents->setCurrentRow(5);
    const QUrl picked = HelpRouter::pageUrl(HelpRouter::pages().at(5).file);
    QCOMPARE(v->currentUrl(), picked);
    const QStringList links = linksOf(pageText(picked));
    const QUrl followed = picked.resolved(QUrl(links.first()));
    v->browser->setSource(followed);
    QCOMPARE(v->currentUrl(), followed);
    QVERIFY(v->btnBack->isEnabled());

    QTest::mouseClick(v->btnBack, Qt::LeftButton);
    QCOMPARE(v->currentUrl(), picked);
    QCOMPARE(v->lstContents->currentRow(), 5);
    QVERIFY(v->btnForward->isEnabled());
    QTest::mouseClick(v->btnForward, Qt::LeftButton);
    QCOMPARE(v->currentUrl(), followed);
    QTest::mouseClick(v->btnContents, Qt::LeftButton);
    QCOMPARE(v->currentUrl(), HelpRouter::contentsUrl());
    QCOMPARE(v->lstContents->currentRow(), 0);
}

// F1 in a modal dialog opens its page in a viewer the dialog does not block.
void TestHelp::f1InAModalDialog() {
    UsersFixture data;
    HelpViewer* seen = nullptr;
    driveModal<TfrmEditDeveloper, int>(
        [] { return AddDeveloper(); },
        [&](TfrmEditDeveloper* dlg) {
            QTest::keyClick(dlg->txtLogin, Qt::Key_F1);
            seen = HelpRouter::instance().viewer();
            QVERIFY(seen);
            QCOMPARE(seen->currentUrl(),
                     HelpRouter::urlForContext(TfrmEditDeveloper::kHelpContext));
            QCOMPARE(seen->parentWidget(), dlg);
            // A window the modal dialog blocked could not become active.
            QVERIFY(QTest::qWaitForWindowActive(seen));
        });
    QVERIFY(seen);
    QVERIFY(!HelpRouter::instance().viewer()); // went with its dialog
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
