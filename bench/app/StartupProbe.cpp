// tavenro-settings as main runs it, reporting the moment both windows are on
// screen: exposed, and so painted for the first time. It then prints "shown"
// and ends.

#include "app/ProgramWindows.h"
#include "app/StartUp.h"
#include "app/bar_read_frm.h"
#include "app/export_frm.h"

#include <QApplication>
#include <QEvent>
#include <QWindow>
#include <cstdio>

namespace {

class ShownProbe : public QObject
{
public:
    using QObject::QObject;

    // Queued, so that it runs in the event loop after the paint that follows
    // an expose.
    void checkLater() { QMetaObject::invokeMethod(this, &ShownProbe::check, Qt::QueuedConnection); }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Expose)
            checkLater();
        return false;
    }

private:
    static bool exposed(QWidget* window)
    {
        return window->windowHandle() && window->windowHandle()->isExposed();
    }

    void check()
    {
        if (m_done || !exposed(ProgramWindows::current().get<export_frm>()) ||
            !exposed(ProgramWindows::current().get<bar_read_frm>()))
            return;
        m_done = true;
        std::fputs("shown\n", stdout);
        std::fflush(stdout);
        QCoreApplication::exit(0);
    }

    bool m_done = false;
};

} // namespace

int main(int argc, char** argv)
{
    return runApplication(argc, argv, [] {
        auto* probe = new ShownProbe(qApp);
        qApp->installEventFilter(probe);
        probe->checkLater();
    });
}
