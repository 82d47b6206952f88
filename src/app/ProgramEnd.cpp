#include "app/ProgramEnd.h"

#include "platform/Seams.h"

#include <QApplication>
#include <QWidget>

namespace {

bool g_ended = false;
int g_status = 0;

} // namespace

void endProgram(int status)
{
    if (g_ended)
        return;
    g_ended = true;
    g_status = status;
    // Hiding runs no close handler, so no other window can object or act.
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        window->hide();
    if (const platform::ProgramEndHandler end = platform::seams().programEnd)
        end(status);
    else
        QCoreApplication::exit(status);
}

bool programEnded()
{
    return g_ended;
}

int programEndStatus()
{
    return g_status;
}

void resetProgramEnd()
{
    g_ended = false;
    g_status = 0;
}
