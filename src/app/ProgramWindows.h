#pragma once

#include <QPointer>
#include <QWidget>
#include <tuple>
#include <type_traits>
#include <vector>

class bar_read_frm;
class editDB;
class export_frm;

// Every window of the tool. A new window is one more entry here.
using ToolWindows = std::tuple<bar_read_frm, export_frm, editDB>;

// The one owner of the tool's windows for a run. main creates it after the
// application and destroys it before, so no window outlives QApplication.
// Each window exists at most once; referring to it creates it, and a window
// with a load step runs that step as part of being created, before anyone
// sees it. Destroying the owner destroys the windows, newest first, without
// running any close code of theirs.
class ProgramWindows
{
public:
    ProgramWindows();
    ~ProgramWindows();
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    // The owner of the current run. It is a programming error to ask when
    // there is none.
    static ProgramWindows& current();
    static bool exists();

    // The window, created (and loaded) on first use. When its load step
    // throws, the window is destroyed again and the error goes on.
    template <typename W> W* get()
    {
        static_assert(isToolWindow<W>(), "add the window to ToolWindows");
        if (W* existing = find<W>())
            return existing;
        auto* window = new W;
        adopt(window);
        if constexpr (requires(W & w) { w.load(); }) {
            try {
                window->load();
            } catch (...) {
                forget(window);
                delete window;
                throw;
            }
        }
        return window;
    }

    // The window if it exists (and is not being unloaded), else null.
    template <typename W> W* find() const
    {
        static_assert(isToolWindow<W>(), "add the window to ToolWindows");
        for (const QPointer<QWidget>& window : m_windows) {
            if (auto* w = qobject_cast<W*>(window.data()))
                return w;
        }
        return nullptr;
    }

    // Unloads a window that closes for good: it is forgotten at once, so the
    // next reference creates it afresh, and deleted once its close is over.
    void unload(QWidget* window);

    // Places a window about to be shown for the first time as Windows'
    // default placement does: the first at the top left of the screen's work
    // area, each next one a title bar's height further down and to the
    // right, so that none lies exactly over another (a bare X server puts
    // every window at the corner). Windows places them so itself. A window
    // that has a place keeps it.
    void placeForFirstShow(QWidget* window);

private:
    template <typename W> static constexpr bool isToolWindow()
    {
        return []<typename... Ws>(std::tuple<Ws...>*) {
            return (std::is_same_v<W, Ws> || ...);
        }(static_cast<ToolWindows*>(nullptr));
    }
    void adopt(QWidget* window);
    void forget(QWidget* window);

    std::vector<QPointer<QWidget>> m_windows;
    // Unloaded windows whose deletion is still due.
    std::vector<QPointer<QWidget>> m_unloading;
    // The place in the cascade of the next window shown.
    int m_cascade = 0;
};
