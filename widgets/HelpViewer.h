#pragma once
// The help window: the contents list at the left, the page at the right,
// Back, Forward and Contents above; links between pages work as in a browser,
// web and mail links open in the desktop's programs.
#include <QUrl>
#include <QWidget>

class QListWidget;
class QTextBrowser;
class QToolButton;

class HelpViewer : public QWidget {
    Q_OBJECT
public:
    // With an owner the viewer is a window of that dialog and closes with it.
    explicit HelpViewer(QWidget* owner = nullptr);
    ~HelpViewer() override;

    void showUrl(const QUrl& url);
    QUrl currentUrl() const;

    QListWidget* lstContents = nullptr;
    QTextBrowser* browser = nullptr;
    QToolButton* btnBack = nullptr;
    QToolButton* btnForward = nullptr;
    QToolButton* btnContents = nullptr;

private:
    void browserSourceChanged(const QUrl& url);
    void lstContentsChanged(int row);
};
