#pragma once
// The window flags of the program's fixed dialogs: a title bar with only the
// close button, and a border the user cannot drag to resize.
#include <Qt>

inline constexpr Qt::WindowFlags kFixedDialogFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
    Qt::MSWindowsFixedSizeDialogHint;
