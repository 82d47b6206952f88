#include "ProgramEnd.h"

#include <QApplication>
#include <QWidget>

namespace {

bool g_ended = false;
int g_status = 0;

EventLoopEnd& eventLoopEnd()
{
    static EventLoopEnd instance = [](int status) { QCoreApplication::exit(status); };
    return instance;
}

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
    eventLoopEnd()(status);
}

bool programEnded()
{
    return g_ended;
}

int programEndStatus()
{
    return g_status;
}

EventLoopEnd setEventLoopEnd(EventLoopEnd end)
{
    EventLoopEnd previous = std::move(eventLoopEnd());
    eventLoopEnd() = std::move(end);
    return previous;
}

void resetProgramEnd()
{
    g_ended = false;
    g_status = 0;
}
