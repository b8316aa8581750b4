#include "widgets/HelpRouter.h"

#include "widgets/HelpViewer.h"
#include "widgets/MessageBoxes.h"

#include <QApplication>
#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

// The pages are compiled into this library; a static library needs the
// resources named once so the linker keeps them.
static void initHelpResources() {
    Q_INIT_RESOURCE(help);
}

namespace {
struct ContextPage {
    int context;
    const char* file;
};
// 100300 is shared by the options dialog and the user dialog; its page holds
// both (the "User Setup" page of Options edits users through the user dialog).
constexpr ContextPage kContextPages[] = {
    {HelpRouter::kLogin, "getting-started.html"},   {HelpRouter::kTaskEditor, "tasks.html"},
    {HelpRouter::kProjectDialog, "projects.html"},  {HelpRouter::kFeaturesList, "features.html"},
    {HelpRouter::kOptionsAndUsers, "options.html"},
};
} // namespace

HelpRouter::HelpRouter() {
    initHelpResources();
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &HelpRouter::closeViewer);
}

HelpRouter::~HelpRouter() {
    // Past the end of the application no window may be deleted any more.
    if (!QCoreApplication::instance())
        (void)mainViewer_.release();
}

HelpRouter& HelpRouter::instance() {
    static HelpRouter router;
    return router;
}

const QList<HelpRouter::Page>& HelpRouter::pages() {
    static const QList<Page> list{
        {QStringLiteral("index.html"), QStringLiteral("Contents")},
        {QStringLiteral("getting-started.html"), QStringLiteral("Getting started")},
        {QStringLiteral("schedule.html"), QStringLiteral("The schedule grid")},
        {QStringLiteral("tasks.html"), QStringLiteral("Tasks and their history")},
        {QStringLiteral("features.html"), QStringLiteral("Features")},
        {QStringLiteral("projects.html"), QStringLiteral("Projects")},
        {QStringLiteral("users.html"), QStringLiteral("Users")},
        {QStringLiteral("options.html"), QStringLiteral("Options")},
        {QStringLiteral("exporting.html"), QStringLiteral("Exporting and printing")},
        {QStringLiteral("problem-reports.html"), QStringLiteral("Problem reports")},
    };
    return list;
}

QUrl HelpRouter::pageUrl(const QString& file) {
    return QUrl(QStringLiteral("qrc:/help/") + file);
}

QUrl HelpRouter::contentsUrl() {
    return pageUrl(pages().first().file);
}

QList<int> HelpRouter::contexts() {
    QList<int> list;
    for (const ContextPage& cp : kContextPages)
        list.append(cp.context);
    return list;
}

QUrl HelpRouter::urlForContext(int context) {
    for (const ContextPage& cp : kContextPages)
        if (cp.context == context)
            return pageUrl(QString::fromLatin1(cp.file));
    return {};
}

void HelpRouter::showContents() {
    showUrl(contentsUrl());
}

bool HelpRouter::showContext(int context) {
    if (context < 1) {
        Msg::information(QApplication::activeWindow(),
                         QStringLiteral("No context sensitive help available"));
        return false;
    }
    const QUrl url = urlForContext(context);
    showUrl(url.isEmpty() ? contentsUrl() : url);
    return !url.isEmpty();
}

void HelpRouter::showUrl(const QUrl& url) {
    HelpViewer* v = viewerForActiveWindow();
    v->showUrl(url);
    v->show();
    v->raise();
    v->activateWindow();
}

HelpViewer* HelpRouter::viewerForActiveWindow() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) {
        if (!mainViewer_)
            mainViewer_ = std::make_unique<HelpViewer>();
        return mainViewer_.get();
    }
    if (dialogViewer_ && dialogViewer_->parentWidget() != modal)
        dialogViewer_->close();
    if (!dialogViewer_ || dialogViewer_->parentWidget() != modal)
        dialogViewer_ = new HelpViewer(modal); // owned by the dialog, closes with it
    return dialogViewer_;
}

HelpViewer* HelpRouter::viewer() const {
    if (dialogViewer_ && dialogViewer_->isVisible())
        return dialogViewer_;
    return mainViewer_ && mainViewer_->isVisible() ? mainViewer_.get() : nullptr;
}

void HelpRouter::closeViewer() {
    delete dialogViewer_.data();
    mainViewer_.reset();
}

void HelpRouter::attach(QWidget* window, int context) {
    attach(window, [context] { return context; });
}

void HelpRouter::attach(QWidget* window, std::function<int()> context) {
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), window); // owned by the window
    f1->setObjectName(QStringLiteral("helpShortcut"));
    f1->setContext(Qt::WindowShortcut);
    QObject::connect(f1, &QShortcut::activated, window,
                     [context = std::move(context)] { instance().showContext(context()); });
}
