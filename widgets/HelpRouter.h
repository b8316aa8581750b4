#pragma once
// The program's help: a short manual of HTML pages kept in the program's
// resources, shown in the help viewer. Dialogs carry a help context number;
// the router turns a number into its page. F1 in a dialog opens its page.
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class HelpViewer;
class QWidget;

class HelpRouter : public QObject {
    Q_OBJECT
public:
    // Context numbers of the dialogs.
    static constexpr int kLogin = 1500;
    static constexpr int kTaskEditor = 2000;
    static constexpr int kProjectDialog = 5000;
    static constexpr int kFeaturesList = 10000;
    static constexpr int kOptionsAndUsers = 100300;

    struct Page {
        QString file; // inside the help folder of the resources, e.g. "tasks.html"
        QString title;
    };

    static HelpRouter& instance();
    ~HelpRouter() override;

    // Every page, the contents page first, in the order the contents list shows them.
    static const QList<Page>& pages();
    static QUrl pageUrl(const QString& file);
    static QUrl contentsUrl();
    // The context numbers the router knows, and the page of one; an empty url
    // for a number without a page.
    static QList<int> contexts();
    static QUrl urlForContext(int context);

    void showContents();
    // Opens the page of the context. A number below 1 says "No context
    // sensitive help available"; a number without a page opens the contents.
    // True when the page of that number is on display.
    bool showContext(int context);
    void showUrl(const QUrl& url);

    // The viewer on display, or null.
    HelpViewer* viewer() const;
    void closeViewer();

    // F1 in the window opens the page of its context (a fixed number, or the
    // number the window gives at the time, such as that of the page on display).
    static void attach(QWidget* window, int context);
    static void attach(QWidget* window, std::function<int()> context);

private:
    HelpRouter();
    HelpViewer* viewerForActiveWindow();

    // Used while no modal dialog is up; a modal dialog would block it, so
    // while one is up the viewer is a window of that dialog instead.
    std::unique_ptr<HelpViewer> mainViewer_;
    QPointer<HelpViewer> dialogViewer_;
};
