#pragma once
// Help requests of the editing dialogs, and the window they centre on.
class QWidget;

namespace EditingHelp {

// Opens the help page of a dialog's topic number.
void showTopic(int topic);

// The window a dialog is centred on when its caller names none.
QWidget* defaultParent();

} // namespace EditingHelp
