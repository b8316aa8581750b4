#include "widgets/MessageBoxes.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace Msg {
namespace {
QList<Answer>& answers() {
    static QList<Answer> a;
    return a;
}
QList<int>& choices() {
    static QList<int> c;
    return c;
}
QStringList& fileNames() {
    static QStringList f;
    return f;
}
QList<Shown>& shown() {
    static QList<Shown> s;
    return s;
}

QString appTitle() {
    const QString t = QApplication::applicationDisplayName();
    return t.isEmpty() ? QStringLiteral("Pelloran") : t;
}

Answer ask(Kind kind, QWidget* parent, const QString& title, const QString& text,
           QMessageBox::Icon icon, QMessageBox::StandardButtons buttons,
           QMessageBox::StandardButton defaultButton) {
    shown().append({kind, title, text});
    if (!answers().isEmpty())
        return answers().takeFirst();
    QMessageBox box(icon, title, text, buttons, parent);
    // Texts quote what users typed; a name like "<b>x</b>" is shown as written.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        return Answer::Ok;
    }
}
} // namespace

void information(QWidget* parent, const QString& text) {
    ask(Kind::Information, parent, appTitle(), text, QMessageBox::NoIcon, QMessageBox::Ok,
        QMessageBox::Ok);
}

void error(QWidget* parent, const QString& text) {
    ask(Kind::Error, parent, QStringLiteral("Error"), text, QMessageBox::Critical, QMessageBox::Ok,
        QMessageBox::Ok);
}

void plainError(QWidget* parent, const QString& text) {
    ask(Kind::PlainError, parent, appTitle(), text, QMessageBox::Critical, QMessageBox::Ok,
        QMessageBox::Ok);
}

bool confirm(QWidget* parent, const QString& text) {
    return ask(Kind::Confirm, parent, QStringLiteral("Confirm"), text, QMessageBox::Question,
               QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == Answer::Yes;
}

bool question(QWidget* parent, const QString& caption, const QString& text, Answer defaultAnswer) {
    return ask(Kind::Question, parent, caption, text, QMessageBox::Question,
               QMessageBox::Yes | QMessageBox::No,
               defaultAnswer == Answer::No ? QMessageBox::No : QMessageBox::Yes) == Answer::Yes;
}

int choose(QWidget* parent, const QString& caption, const QString& text, const QStringList& buttons,
           int defaultButton) {
    shown().append({Kind::Choice, caption, text});
    if (!choices().isEmpty())
        return choices().takeFirst();
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    QList<QAbstractButton*> added;
    for (int i = 0; i < buttons.size(); ++i) {
        const bool last = i == buttons.size() - 1;
        added << box.addButton(buttons[i],
                               last ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
    }
    if (defaultButton >= 0 && defaultButton < added.size())
        box.setDefaultButton(qobject_cast<QPushButton*>(added[defaultButton]));
    box.exec();
    const int chosen = int(added.indexOf(box.clickedButton()));
    return chosen >= 0 ? chosen : int(buttons.size()) - 1;
}

QString saveFileName(QWidget* parent, const QString& caption, const QString& filter,
                     const QString& defaultSuffix) {
    if (!fileNames().isEmpty())
        return fileNames().takeFirst();
    QFileDialog dlg(parent, caption, QString(), filter);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix(defaultSuffix);
    // Replacing an existing file is what the user asked for by naming it.
    dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return dlg.selectedFiles().constFirst();
}

void pushAnswer(Answer a) {
    answers().append(a);
}
void pushChoice(int button) {
    choices().append(button);
}
void pushFileName(const QString& path) {
    fileNames().append(path);
}
QList<Shown> takeShown() {
    return std::exchange(shown(), {});
}
bool answersQueued() {
    return !answers().isEmpty() || !choices().isEmpty();
}

} // namespace Msg
