#include "widgets/HelpViewer.h"

#include "widgets/HelpRouter.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QSplitter>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
// Pages are told apart without the anchor a link may carry.
QUrl pageOf(QUrl url) {
    url.setFragment(QString());
    return url;
}
} // namespace

HelpViewer::HelpViewer(QWidget* owner)
    : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("Pelloran Help"));
    // An open help window must not keep the program running after the main window closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(760, 520);

    const auto tool = [this](const QString& text, const char* name) {
        auto* b = new QToolButton(this);
        b->setText(text);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setAutoRaise(true);
        return b;
    };
    btnBack = tool(QStringLiteral("< &Back"), "btnBack");
    btnForward = tool(QStringLiteral("&Forward >"), "btnForward");
    btnContents = tool(QStringLiteral("&Contents"), "btnContents");
    btnBack->setEnabled(false);
    btnForward->setEnabled(false);

    lstContents = new QListWidget(this);
    lstContents->setObjectName(QStringLiteral("lstContents"));
    for (const HelpRouter::Page& page : HelpRouter::pages())
        lstContents->addItem(page.title);

    browser = new QTextBrowser(this);
    browser->setObjectName(QStringLiteral("browser"));
    browser->setOpenLinks(true);
    // Web and mail links leave the help for the desktop's browser and mail program.
    browser->setOpenExternalLinks(true);

    auto* split = new QSplitter(this);
    split->addWidget(lstContents);
    split->addWidget(browser);
    split->setStretchFactor(1, 1);
    split->setSizes({190, 570});

    auto* bar = new QHBoxLayout;
    bar->addWidget(btnBack);
    bar->addWidget(btnForward);
    bar->addWidget(btnContents);
    bar->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(bar);
    layout->addWidget(split, 1);

    connect(btnBack, &QToolButton::clicked, browser, &QTextBrowser::backward);
    connect(btnForward, &QToolButton::clicked, browser, &QTextBrowser::forward);
    connect(btnContents, &QToolButton::clicked, this,
            [this] { showUrl(HelpRouter::contentsUrl()); });
    connect(browser, &QTextBrowser::backwardAvailable, btnBack, &QToolButton::setEnabled);
    connect(browser, &QTextBrowser::forwardAvailable, btnForward, &QToolButton::setEnabled);
    connect(browser, &QTextBrowser::sourceChanged, this, &HelpViewer::browserSourceChanged);
    connect(lstContents, &QListWidget::currentRowChanged, this, &HelpViewer::lstContentsChanged);
}

HelpViewer::~HelpViewer() = default;

void HelpViewer::showUrl(const QUrl& url) {
    if (pageOf(url) == pageOf(browser->source()) && url.fragment().isEmpty())
        browser->reload();
    else
        browser->setSource(url);
}

QUrl HelpViewer::currentUrl() const {
    return browser->source();
}

void HelpViewer::browserSourceChanged(const QUrl& url) {
    const QUrl page = pageOf(url);
    const QList<HelpRouter::Page>& pages = HelpRouter::pages();
    for (int i = 0; i < pages.size(); ++i) {
        if (HelpRouter::pageUrl(pages[i].file) == page) {
            const QSignalBlocker block(lstContents);
            lstContents->setCurrentRow(i);
            setWindowTitle(QStringLiteral("Pelloran Help - ") + pages[i].title);
            return;
        }
    }
}

void HelpViewer::lstContentsChanged(int row) {
    const QList<HelpRouter::Page>& pages = HelpRouter::pages();
    if (row >= 0 && row < pages.size())
        browser->setSource(HelpRouter::pageUrl(pages[row].file));
}
