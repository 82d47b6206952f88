#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace platform {

// The places where the tool reaches past itself: the message box, the start
// of another program, and the end of the event loop. One registry holds the
// handler of each, so that the application installs its drawn box and a
// test stands in for all three the same way, and gets the previous ones back
// by RAII (ScopedSeams).
//
// An empty handler means the shipped behaviour without anyone standing in:
// - messageBox: nobody to ask; every box is declined (see msgBox). The
//   application installs its drawn box at start-up.
// - programStart: the program is started for real (see shell).
// - programEnd: QCoreApplication::exit(status), which also leaves any modal
//   loop on the way.
//
// The registry belongs to the GUI thread, as the boxes and the event loop do.

using MessageBoxHandler =
    std::function<int(const QString& prompt, int style, const QString& title)>;
using ProgramStartHandler = std::function<qint64(const QString& commandLine, int windowStyle)>;
using ProgramEndHandler = std::function<void(int status)>;

struct Seams
{
    MessageBoxHandler messageBox;
    ProgramStartHandler programStart;
    ProgramEndHandler programEnd;
};

// The handlers in force. Callers copy a handler before calling it, so that a
// handler replaced while it runs (a modal box's own loop runs anything)
// finishes on its own copy.
const Seams& seams();

// Replaces every handler; returns the set it replaces. For the application's
// set-up and for programs without a scope to tie an override to (the
// benchmarks); tests use ScopedSeams.
Seams setSeams(Seams next);

// Stands in for some of the seams for its own life. Each setter replaces one
// handler; the destructor puts back, for each handler it replaced, the
// one in force before its first replacement, and leaves the others as they
// are then. Overrides of different seams may so end in any order; two
// overrides of the same seam must end in the reverse order of their start.
class ScopedSeams
{
public:
    ScopedSeams() = default;
    ~ScopedSeams();
    ScopedSeams(const ScopedSeams&) = delete;
    ScopedSeams& operator=(const ScopedSeams&) = delete;

    ScopedSeams& setMessageBox(MessageBoxHandler handler);
    ScopedSeams& setProgramStart(ProgramStartHandler handler);
    ScopedSeams& setProgramEnd(ProgramEndHandler handler);

private:
    std::optional<MessageBoxHandler> m_messageBox;
    std::optional<ProgramStartHandler> m_programStart;
    std::optional<ProgramEndHandler> m_programEnd;
};

} // namespace platform
