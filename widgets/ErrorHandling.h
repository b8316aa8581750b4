#pragma once
// The one place where errors that nothing else handled end up. The
// application's event dispatch and the start-up steps hand exceptions here;
// whoever owns the problem-report dialog installs it with setUnexpectedHandler.
#include <QString>
#include <exception>
#include <functional>

class QWidget;

namespace ErrorHandling {

using Handler = std::function<void(std::exception_ptr)>;

// Shows the error through the installed handler, or through the plain error
// box when none is installed. Never throws.
void handleUnexpected(std::exception_ptr error) noexcept;

// Installs the handler used by handleUnexpected (empty restores the plain box).
void setUnexpectedHandler(Handler handler);

// The message of an exception as a user reads it.
QString messageOf(std::exception_ptr error);

// The plain error box: the message, with "." added when its last character
// sorts after "."; the application's title; error icon; OK.
QString plainErrorText(const QString& message);
void showPlainErrorBox(std::exception_ptr error) noexcept;

// Runs a command started from the event loop. What it raises ends the command
// and goes to the central handler here, never back through Qt's signal delivery.
template <class F> void guarded(F&& command) noexcept {
    try {
        command();
    } catch (...) {
        handleUnexpected(std::current_exception());
    }
}

} // namespace ErrorHandling
