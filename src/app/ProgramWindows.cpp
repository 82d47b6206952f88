#include "app/ProgramWindows.h"

#include <QApplication>
#include <algorithm>

namespace {

ProgramWindows* g_current = nullptr;

} // namespace

ProgramWindows::ProgramWindows()
{
    Q_ASSERT_X(qApp, "ProgramWindows", "the application comes first");
    Q_ASSERT_X(!g_current, "ProgramWindows", "one owner of the windows at a time");
    g_current = this;
}

ProgramWindows::~ProgramWindows()
{
    for (auto* list : {&m_unloading, &m_windows}) {
        while (!list->empty()) {
            QPointer<QWidget> window = list->back();
            list->pop_back();
            delete window.data();
        }
    }
    g_current = nullptr;
}

ProgramWindows& ProgramWindows::current()
{
    if (!g_current)
        qFatal("No owner of the windows: the run creates one after the application");
    return *g_current;
}

bool ProgramWindows::exists()
{
    return g_current != nullptr;
}

void ProgramWindows::adopt(QWidget* window)
{
    m_windows.emplace_back(window);
}

void ProgramWindows::forget(QWidget* window)
{
    std::erase_if(m_windows, [window](const QPointer<QWidget>& w) { return w.data() == window; });
}

void ProgramWindows::unload(QWidget* window)
{
    forget(window);
    std::erase_if(m_unloading, [](const QPointer<QWidget>& w) { return w.isNull(); });
    m_unloading.emplace_back(window);
    window->deleteLater();
}
