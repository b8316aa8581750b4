#pragma once
// Every message box and file dialog of the program goes through here, so a
// test can answer them in advance instead of blocking on a modal window.
#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

namespace Msg {

enum class Answer { Ok, Cancel, Yes, No };
enum class Kind { Information, Error, Confirm, Question, PlainError, Choice };

// Plain message box: title "Pelloran", OK button.
void information(QWidget* parent, const QString& text);
// Standard error box: title "Error", error icon, OK.
void error(QWidget* parent, const QString& text);
// Error box with the application's title ("Pelloran"), error icon, OK.
void plainError(QWidget* parent, const QString& text);
// Standard confirmation: title "Confirm", question icon, Yes and No. True on Yes.
bool confirm(QWidget* parent, const QString& text);
// A question with a caption of its own ("Delete Task", "Add new feature?"),
// Yes and No, with the given default button. True on Yes.
bool question(QWidget* parent, const QString& caption, const QString& text,
              Answer defaultAnswer = Answer::Yes);

// A question with buttons of its own, in the given order; returns the index
// of the button chosen (the last one when the box is closed otherwise).
int choose(QWidget* parent, const QString& caption, const QString& text, const QStringList& buttons,
           int defaultButton = 0);

// Save dialog; returns the chosen path or an empty string when cancelled.
// `filter` is in Qt's form ("Excel Files (*.xlsx);;All Files (*)").
QString saveFileName(QWidget* parent, const QString& caption, const QString& filter,
                     const QString& defaultSuffix);

// ---- test seam ----
struct Shown {
    Kind kind;
    QString title;
    QString text;
};
// Queue answers: while the queue is not empty no box is shown; each call takes
// the next answer (Ok for boxes that only have OK).
void pushAnswer(Answer a);
void pushFileName(const QString& path);
// The index of the button the next choose() takes.
void pushChoice(int button);
// Everything shown (or answered from the queue) since the last take.
QList<Shown> takeShown();
// True while answers are queued; dialogs may check this to avoid blocking.
bool answersQueued();

} // namespace Msg
