#pragma once
// Help requests of the editing dialogs. The dialogs only know their topic
// numbers; whoever owns the help viewer installs the display.
#include <functional>

class QWidget;

namespace EditingHelp {

using Display = std::function<void(int topic)>;

// Installs the display used by showTopic (empty: help requests do nothing).
void setDisplay(Display display);
void showTopic(int topic);

// The window a dialog is centred on when its caller names none.
QWidget* defaultParent();

} // namespace EditingHelp
