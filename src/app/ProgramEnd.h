#pragma once

#include <functional>

// Ends the run at once, as the settings window's exit and the standard error
// report do: every window disappears without running any close code of its
// own, nothing is asked, and the event loop returns status. Once ended, the
// run stays ended: no handler of any window runs again.
void endProgram(int status);

bool programEnded();
// The status the run ended with; 0 while it runs.
int programEndStatus();

// What leaves the event loop. The default calls QCoreApplication::exit, which
// also leaves any modal loop on the way; before the event loop has started,
// main sees programEnded() and returns the status itself. Tests put a
// recorder in its place. Returns the one it replaces.
using EventLoopEnd = std::function<void(int status)>;
EventLoopEnd setEventLoopEnd(EventLoopEnd end);

// Forgets an earlier end, so that one test process can start the program
// again.
void resetProgramEnd();
