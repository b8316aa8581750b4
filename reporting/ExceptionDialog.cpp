#include "reporting/ExceptionDialog.h"

#include "reporting/AddressResolver.h"
#include "reporting/ProblemReport.h"
#include "reporting/ReportServiceClient.h"
#include "reporting/ReportViewer.h"
#include "widgets/ErrorHandling.h"
#include "widgets/WaitCursor.h"
#include "widgets/WizardHeader.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>

#include <cstdio>

namespace {

bool inExceptionHandler = false;
QString& installedCrashFile() {
    static QString path;
    return path;
}

// Where the error was raised: the innermost entry of its stack in our own
// source (an error raised inside a library is placed at our call into it);
// failing that, whatever is known of the innermost entry.
SourceLocation raisingPlace(const QList<ResolvedFrame>& frames) {
    for (const ResolvedFrame& f : frames)
        if (f.where.line > 0)
            return f.where;
    return frames.isEmpty() ? SourceLocation{} : frames.front().where;
}

QLabel* wrappedLabel(const QString& text, QWidget* parent, const char* name) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    return label;
}

void ShowException(std::exception_ptr E, std::optional<ExceptionTracking::StackRecord> record) {
    TExceptionDialog dialog;
    dialog.FromMainThread = QThread::currentThread() == qApp->thread();
    dialog.LastActiveControl = QApplication::focusWidget();
    dialog.setException(E, std::move(record));
    dialog.exec();
}

} // namespace

// ---- the central handler ----

bool InExceptionHandler() {
    return inExceptionHandler;
}

void ExceptionHandler(std::exception_ptr E) {
    // Taken first: whatever the handler does later may throw and record anew.
    auto record = ExceptionTracking::currentThreadRecord();
    if (inExceptionHandler) {
        ErrorHandling::showPlainErrorBox(E);
        return;
    }
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        // Before the application object exists no window can be shown.
        std::fprintf(stderr, "%s\n", qPrintable(ErrorHandling::messageOf(E)));
        return;
    }
    inExceptionHandler = true;
    struct Reset {
        ~Reset() { inExceptionHandler = false; }
    } reset;
    ShowException(E, std::move(record));
}

QString crashReportFile() {
    if (!installedCrashFile().isEmpty())
        return installedCrashFile();
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/crash-report.txt");
}

void installProblemReporting() {
    ExceptionTracking::start();
    // The folder must not depend on when the application object gets its name.
    if (QCoreApplication::applicationName().isEmpty())
        QCoreApplication::setApplicationName(QStringLiteral("Pelloran"));
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(folder);
    installedCrashFile() = folder + QStringLiteral("/crash-report.txt");
    FaultHandler::install(installedCrashFile());
    ErrorHandling::setUnexpectedHandler(&ExceptionHandler);
}

void showPendingCrashReport() {
    const QString path = crashReportFile();
    if (!QFile::exists(path))
        return;
    const auto crash = FaultHandler::readCrashFile(path);
    // Removed before showing, so a fault while showing it cannot bring it back forever.
    QFile::remove(path);
    if (!crash || inExceptionHandler)
        return;
    inExceptionHandler = true;
    struct Reset {
        ~Reset() { inExceptionHandler = false; }
    } reset;
    TExceptionDialog dialog;
    dialog.setCrash(*crash);
    dialog.exec();
}

// ---- the dialog ----

TExceptionDialog::TExceptionDialog(QWidget* parent)
    : QDialog(parent)
    , header(new TzevWizHeader(this))
    , lblApology(wrappedLabel(
          QStringLiteral("Pelloran has encountered a problem. We are very sorry for the "
                         "inconvienence.\n\nYou should save your work and restart the program. "
                         "Pelloran may continue to function after this, but may have further "
                         "problems if you don't restart."),
          this, "lblApology"))
    , lblPleaseTell(wrappedLabel(QStringLiteral("Please tell Trevolant about this problem."), this,
                                 "lblPleaseTell"))
    , lblReportInfo(wrappedLabel(
          QStringLiteral("We have created an error report which will help us improve our "
                         "software. We will treat this report as confidential and anonymous. No "
                         "personal information other than what you provide will be sent."),
          this, "lblReportInfo"))
    , lblSeeReport(new QLabel(QStringLiteral("To see what this report contains,"), this))
    , lblReportLink(new QLabel(QStringLiteral("<a href=\"#report\" style=\"color:#0000ff; "
                                              "text-decoration:underline\">click here</a>"),
                               this))
    , lblProblem(new QLabel(QStringLiteral("What were you doing when this problem occured?"), this))
    , memProblem(new QPlainTextEdit(this))
    , lblEmail(new QLabel(QStringLiteral("Email address (optional):"), this))
    , txtEmail(new QLineEdit(this))
    , btnSend(new QPushButton(QStringLiteral("&Send"), this))
    , btnDontSend(new QPushButton(QStringLiteral("&Don't Send"), this))
    , rioSendReport(new ReportServiceClient(this)) {
    setObjectName(QStringLiteral("ExceptionDialog"));
    setWindowTitle(QStringLiteral("Pelloran"));
    // No buttons in the title bar: the two buttons end the dialog.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(400, 358);
    QFont dialogFont(QStringLiteral("MS Sans Serif"));
    dialogFont.setStyleHint(QFont::SansSerif);
    dialogFont.setPointSize(8);
    setFont(dialogFont);

    header->setObjectName(QStringLiteral("header"));
    // A layout gives the header no height of its own.
    header->setFixedHeight(TzevWizHeader::kHeight);
    header->SetCaption(QStringLiteral("Pelloran Error"));
    header->SetPicture(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    header->setPictureVisible(true);

    QFont bold = lblPleaseTell->font();
    bold.setBold(true);
    lblPleaseTell->setFont(bold);
    lblSeeReport->setObjectName(QStringLiteral("lblSeeReport"));
    lblReportLink->setObjectName(QStringLiteral("lblReportLink"));
    lblReportLink->setTextFormat(Qt::RichText);
    lblReportLink->setCursor(Qt::PointingHandCursor);
    lblProblem->setObjectName(QStringLiteral("lblProblem"));
    lblEmail->setObjectName(QStringLiteral("lblEmail"));
    memProblem->setObjectName(QStringLiteral("memProblem"));
    memProblem->setFixedSize(393, 65);
    memProblem->setTabChangesFocus(true);
    txtEmail->setObjectName(QStringLiteral("txtEmail"));
    btnSend->setObjectName(QStringLiteral("btnSend"));
    btnDontSend->setObjectName(QStringLiteral("btnDontSend"));
    btnSend->setDefault(true);
    btnSend->setAutoDefault(true);
    btnDontSend->setAutoDefault(false);
    rioSendReport->setObjectName(QStringLiteral("rioSendReport"));

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    page->addWidget(header);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(4, 6, 3, 6);
    // Tight enough that the texts keep their full height in the fixed 400 x 358.
    body->setSpacing(4);
    page->addLayout(body);
    body->addWidget(lblApology);
    body->addWidget(lblPleaseTell);
    body->addWidget(lblReportInfo);
    auto* link = new QHBoxLayout;
    link->setSpacing(3);
    link->addWidget(lblSeeReport);
    link->addWidget(lblReportLink);
    link->addStretch();
    body->addLayout(link);
    body->addWidget(lblProblem);
    body->addWidget(memProblem);
    auto* email = new QHBoxLayout;
    email->addWidget(lblEmail);
    email->addWidget(txtEmail, 1);
    body->addLayout(email);
    body->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnSend);
    buttons->addWidget(btnDontSend);
    body->addLayout(buttons);
    lblSeeReport->setBuddy(memProblem);
    lblEmail->setBuddy(txtEmail);

    connect(lblReportLink, &QLabel::linkActivated, this,
            [this] { guarded([this] { lblReportLinkClick(); }); });
    connect(btnSend, &QPushButton::clicked, this, [this] { guarded([this] { btnSendClick(); }); });
    connect(btnDontSend, &QPushButton::clicked, this, &TExceptionDialog::btnDontSendClick);

    // Centred on the main window, or on the screen while there is none.
    const QWidget* main = QApplication::activeWindow();
    const QRect area = main ? main->frameGeometry()
                            : (QGuiApplication::primaryScreen()
                                   ? QGuiApplication::primaryScreen()->availableGeometry()
                                   : QRect(0, 0, 800, 600));
    move(area.center() - rect().center());
    memProblem->setFocus();
}

TExceptionDialog::~TExceptionDialog() = default;

void TExceptionDialog::guarded(const std::function<void()>& action) {
    try {
        action();
    } catch (...) {
        ErrorHandling::handleUnexpected(std::current_exception());
    }
}

void TExceptionDialog::setException(std::exception_ptr E,
                                    std::optional<ExceptionTracking::StackRecord> record) {
    record_ = std::move(record);
    const std::uintptr_t address =
        record_ && !record_->frames.empty() ? record_->frames.front() : 0;
    ReportLines << ProblemReport::exceptionBlock(
        ErrorHandling::messageOf(E), ProblemReport::exceptionClassName(E), address, FromMainThread);
}

void TExceptionDialog::setCrash(const FaultHandler::CrashRecord& crash) {
    crash_ = crash;
    FromMainThread = crash.mainThread;
    ReportLines << ProblemReport::exceptionBlock(crash.message, crash.className, crash.address,
                                                 crash.mainThread);
}

void TExceptionDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TExceptionDialog::FormShow() {
    if (detailsRequested_)
        return;
    detailsRequested_ = true;
    if (FromMainThread && thread() == qApp->thread()) {
        // Queued, so the apology is painted before the report is gathered.
        QMetaObject::invokeMethod(this, &TExceptionDialog::UMCreateDetails, Qt::QueuedConnection);
        return;
    }
    guarded([this] { CreateDetails(); });
}

void TExceptionDialog::UMCreateDetails() {
    repaint();
    guarded([this] { CreateDetails(); });
}

QList<ResolvedFrame> TExceptionDialog::resolvedStack() {
    AddressResolver resolver;
    QList<ResolvedFrame> frames;
    if (crash_) {
        // The program file may have been rebuilt since it failed: its own
        // addresses are looked up only in the very build that wrote them.
        const bool sameBuild = FaultHandler::isSameBuild(*crash_);
        for (const FaultHandler::CrashFrame& f : crash_->frames) {
            const bool own = f.module == crash_->executable;
            frames.append({f.address, own && !sameBuild
                                          ? SourceLocation{}
                                          : resolver.resolveInModule(f.module, f.offset, own)});
        }
    } else if (record_) {
        for (std::uintptr_t address : record_->frames)
            frames.append({address, resolver.resolve(address)});
    }
    return frames;
}

void TExceptionDialog::CreateDetails() {
    WaitCursor wait;
    detailsCreated_ = true;
    const QList<ResolvedFrame> stack = resolvedStack();
    QStringList lines;
    const SourceLocation raised = raisingPlace(stack);
    lines << QStringLiteral("File: ") + raised.file;
    lines << QStringLiteral("Module: ") + raised.unit;
    lines << QStringLiteral("Procedure: ") + raised.procedure;
    lines << QStringLiteral("Line: ") + QString::number(raised.line);
    lines << QString();
    QStringList stackText;
    for (const ResolvedFrame& f : stack)
        stackText << stackLine(f.address, f.where);
    // Without a record (nothing was thrown in this thread) the block has no entries.
    const QDateTime generated = crash_    ? crash_->time
                                : record_ ? record_->time
                                          : QDateTime::currentDateTime();
    lines << ProblemReport::stackBlock(generated, stackText);
    lines << ProblemReport::focusBlock(LastActiveControl.data());
    lines << ProblemReport::systemBlock();
    ReportLines << lines;
    // A fault's report lists the modules of the process that failed.
    const auto modules = crash_ ? std::optional(crash_->modules) : ProblemReport::loadedModules();
    if (modules && !modules->isEmpty())
        ReportLines << ProblemReport::moduleBlock(*modules);
}

void TExceptionDialog::lblReportLinkClick() {
    ShowErrorReport(this, ReportLines);
}

void TExceptionDialog::btnSendClick() {
    const QString report = ProblemReport::joinReport(ReportLines);
    QString userMessage = memProblem->toPlainText();
    userMessage.replace(u'\n', QStringLiteral("\r\n"));
    rioSendReport->ReportError(1003, QStringLiteral("2.0"), QString(), txtEmail->text(),
                               userMessage, report);
    closing_ = true;
    done(QDialog::Accepted);
}

void TExceptionDialog::btnDontSendClick() {
    closing_ = true;
    done(QDialog::Rejected);
}

void TExceptionDialog::reject() {
    // Esc is Don't Send.
    btnDontSendClick();
}

void TExceptionDialog::closeEvent(QCloseEvent* event) {
    // Closing from outside (window manager) counts as Don't Send.
    if (!closing_)
        closing_ = true;
    QDialog::closeEvent(event);
}
