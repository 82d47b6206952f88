#include "app/ProgramWindows.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>
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

void ProgramWindows::placeForFirstShow(QWidget* window)
{
#ifdef Q_OS_WIN
    Q_UNUSED(window);
#else
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (window->testAttribute(Qt::WA_Moved) || !screen)
        return;
    const QRect area = screen->availableGeometry();
    const int step = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    QPoint place = area.topLeft() + QPoint(step, step) * m_cascade;
    // Like Windows, the cascade starts again at the corner before it walks
    // off the screen.
    if (place.x() > area.center().x() || place.y() > area.center().y()) {
        m_cascade = 0;
        place = area.topLeft();
    }
    ++m_cascade;
    window->move(place);
#endif
}
