#include "widgets/ErrorHandling.h"

#include "data/Errors.h"
#include "widgets/MessageBoxes.h"

#include <QApplication>

namespace ErrorHandling {
namespace {
Handler& installed() {
    static Handler h;
    return h;
}
} // namespace

QString messageOf(std::exception_ptr error) {
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const PelloranError& e) {
        return e.message();
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
    return {};
}

QString plainErrorText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void showPlainErrorBox(std::exception_ptr error) noexcept {
    try {
        Msg::plainError(QApplication::activeWindow(), plainErrorText(messageOf(error)));
    } catch (...) {
        // Nothing sensible is left to do when even the box fails.
    }
}

void handleUnexpected(std::exception_ptr error) noexcept {
    try {
        if (installed()) {
            installed()(error);
            return;
        }
    } catch (...) {
        showPlainErrorBox(std::current_exception());
        return;
    }
    showPlainErrorBox(error);
}

void setUnexpectedHandler(Handler handler) { installed() = std::move(handler); }

} // namespace ErrorHandling
