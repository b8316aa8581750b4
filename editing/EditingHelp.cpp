#include "editing/EditingHelp.h"

#include "widgets/HelpRouter.h"

#include <QApplication>
#include <QWidget>

namespace EditingHelp {

void showTopic(int topic) { HelpRouter::instance().showContext(topic); }

QWidget* defaultParent() { return QApplication::activeWindow(); }

} // namespace EditingHelp
