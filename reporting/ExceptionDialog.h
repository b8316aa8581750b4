#pragma once
// The central handler for errors nothing else handled, and its problem report
// dialog: an apology, a diagnostic report built after the dialog has painted,
// and the choice to send the report to our report service or discard it.
#include "reporting/AddressResolver.h"
#include "reporting/ExceptionTracking.h"
#include "reporting/FaultHandler.h"

#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TzevWizHeader;
class ReportServiceClient;

// A stack entry with what its address resolved to.
struct ResolvedFrame {
    std::uintptr_t address = 0;
    SourceLocation where;
};

// Called by the start-up before anything else: records a stack at every
// throw, installs the crash handlers (processor faults, abort and qFatal,
// std::terminate) and makes the dialog the central handler.
void installProblemReporting();

// Called by the start-up once the application object exists: shows the
// report a fault left behind at the last run, then removes it.
void showPendingCrashReport();

// Where the fault handler writes its report (in the user's application data folder).
QString crashReportFile();

// The central handler: the dialog, or the plain error box while the dialog is up.
void ExceptionHandler(std::exception_ptr E);
bool InExceptionHandler();

class TExceptionDialog : public QDialog {
    Q_OBJECT
public:
    explicit TExceptionDialog(QWidget* parent = nullptr);
    ~TExceptionDialog() override;

    TzevWizHeader* header;
    QLabel* lblApology;
    QLabel* lblPleaseTell;
    QLabel* lblReportInfo;
    QLabel* lblSeeReport;
    QLabel* lblReportLink;
    QLabel* lblProblem;
    QPlainTextEdit* memProblem;
    QLabel* lblEmail;
    QLineEdit* txtEmail;
    QPushButton* btnSend;
    QPushButton* btnDontSend;
    ReportServiceClient* rioSendReport;

    bool FromMainThread = true;
    QPointer<QWidget> LastActiveControl;
    QStringList ReportLines;

    // The exception block for an error caught now, with the stack recorded
    // when it was raised.
    void setException(std::exception_ptr E, std::optional<ExceptionTracking::StackRecord> record);
    // The exception block and stack of a fault of an earlier run.
    void setCrash(const FaultHandler::CrashRecord& crash);

    // Writes the location, stack, focus, system and module blocks.
    void CreateDetails();
    bool detailsCreated() const { return detailsCreated_; }

    void lblReportLinkClick();
    void btnSendClick();
    void btnDontSendClick();

    // Runs an action of the dialog; an error it raises goes to the central
    // handler, which shows the plain error box while the dialog is up.
    void guarded(const std::function<void()>& action);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void FormShow();
    void UMCreateDetails();
    QList<ResolvedFrame> resolvedStack();

    std::optional<ExceptionTracking::StackRecord> record_;
    std::optional<FaultHandler::CrashRecord> crash_;
    bool detailsRequested_ = false;
    bool detailsCreated_ = false;
    bool closing_ = false;
};
