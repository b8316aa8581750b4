#pragma once
// The report viewer: the problem report as plain text, read-only.
#include <QDialog>
#include <QStringList>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class TfrmViewErrorReport : public QDialog {
    Q_OBJECT
public:
    explicit TfrmViewErrorReport(QWidget* owner);

    QLabel* lblReport;
    QPlainTextEdit* memReport;
    QPushButton* btnOK;
};

// Shows `Lines` in a new viewer owned by `Owner` (freed with the owner, not
// when it closes) and returns the viewer's result.
int ShowErrorReport(QWidget* Owner, const QStringList& Lines);
