#include "app/Windows.h"

#include <QApplication>
#include <algorithm>

namespace {

Windows* g_current = nullptr;

} // namespace

Windows::Windows()
{
    Q_ASSERT_X(qApp, "Windows", "the application comes first");
    Q_ASSERT_X(!g_current, "Windows", "one owner of the windows at a time");
    g_current = this;
}

Windows::~Windows()
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

Windows& Windows::current()
{
    if (!g_current)
        qFatal("No owner of the windows: the run creates one after the application");
    return *g_current;
}

bool Windows::exists()
{
    return g_current != nullptr;
}

void Windows::adopt(QWidget* window)
{
    m_windows.emplace_back(window);
}

void Windows::forget(QWidget* window)
{
    std::erase_if(m_windows, [window](const QPointer<QWidget>& w) { return w.data() == window; });
}

void Windows::unload(QWidget* window)
{
    forget(window);
    std::erase_if(m_unloading, [](const QPointer<QWidget>& w) { return w.isNull(); });
    m_unloading.emplace_back(window);
    window->deleteLater();
}
