#pragma once

#include <QString>

// Draws a platform::msgBox as a modal QMessageBox: the button set and the icon
// come from the style value in the Windows numbering (the set from its low
// four bits, the icon from the next four, the default button from the next),
// with the captions Windows shows in Japanese, in Windows' order. Returns the
// Windows number of the button pressed. Installed by the application as the
// message box handler.
int showMessageBox(const QString& prompt, int style, const QString& title);
