#pragma once

#include <QString>

namespace platform {

// Window styles of a started program, in the Windows numbering.
enum WindowStyle
{
    vbHide = 0,
    vbNormalFocus = 1,
    vbMinimizedFocus = 2,
    vbMaximizedFocus = 3
};

// Starts a program by a command line and does not wait for it; returns a task
// number. The first word names the program, the rest of the line is its
// argument as one text (as Notepad takes a file name with spaces unquoted).
// "notepad.exe" starts Notepad on Windows and the bundled editor
// tavenro-notepad elsewhere, with the argument mapped to a host path.
// Throws platform::Error when the program cannot be started. A program-start
// handler of the seams (Seams.h), when there is one, is called instead.
qint64 shell(const QString& commandLine, int windowStyle);

// Where the bundled editor is looked for: beside the running program.
QString bundledEditorPath();

} // namespace platform
