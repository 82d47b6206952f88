#pragma once

// Ends the run at once, as the settings window's exit and the standard error
// report do: every window disappears without running any close code of its
// own, nothing is asked, and the event loop returns status. Once ended, the
// run stays ended: no handler of any window runs again. What leaves the event
// loop is the program-end seam (platform/Seams.h): QCoreApplication::exit,
// which also leaves any modal loop on the way, unless a test stands in.
// Before the event loop has started, main sees programEnded() and returns
// the status itself.
void endProgram(int status);

bool programEnded();
// The status the run ended with; 0 while it runs.
int programEndStatus();

// Forgets an earlier end, so that one test process can start the program
// again.
void resetProgramEnd();
