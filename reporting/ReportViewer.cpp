#include "reporting/ReportViewer.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <memory>

TfrmViewErrorReport::TfrmViewErrorReport(QWidget* owner)
    : QDialog(owner)
    , lblReport(new QLabel(QStringLiteral("Error Report:"), this))
    , memReport(new QPlainTextEdit(this))
    , btnOK(new QPushButton(QStringLiteral("OK"), this)) {
    setObjectName(QStringLiteral("frmViewErrorReport"));
    setWindowTitle(QStringLiteral("View Error Report"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(428, 184);
    // A window does not take its owner's font; the viewer has its own.
    QFont dialogFont(QStringLiteral("MS Sans Serif"));
    dialogFont.setStyleHint(QFont::SansSerif);
    dialogFont.setPointSize(8);
    setFont(dialogFont);

    lblReport->setObjectName(QStringLiteral("lblReport"));
    lblReport->setGeometry(6, 6, 200, 16);

    memReport->setObjectName(QStringLiteral("memReport"));
    memReport->setGeometry(6, 24, 417, 129);
    memReport->setReadOnly(true);
    memReport->setLineWrapMode(QPlainTextEdit::NoWrap);
    memReport->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memReport->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont mono(QStringLiteral("Courier New"), 8);
    mono.setStyleHint(QFont::TypeWriter);
    mono.setFamilies({QStringLiteral("Courier New"),
                      QFontDatabase::systemFont(QFontDatabase::FixedFont).family()});
    memReport->setFont(mono);

    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(348, 157, 75, 23);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    btnOK->setFocus();
}

int ShowErrorReport(QWidget* Owner, const QStringList& Lines) {
    // Owned by Owner: freed together with it, not when it closes. Without an
    // owner it lives only for this call.
    std::unique_ptr<TfrmViewErrorReport> ownerless;
    TfrmViewErrorReport* viewer = nullptr;
    if (Owner) {
        viewer = new TfrmViewErrorReport(Owner);
    } else {
        ownerless = std::make_unique<TfrmViewErrorReport>(nullptr);
        viewer = ownerless.get();
    }
    viewer->memReport->setPlainText(Lines.join(u'\n'));
    viewer->btnOK->setFocus();
    return viewer->exec();
}
