#pragma once

#include <functional>

class QApplication;

// The run of the tool, as main performs it.

// Creates the launcher in the run's owner of windows (which must exist),
// runs its start-up step (the database, then the settings window) and shows
// the launcher over the settings window, active. An error of the start-up
// step ends in the standard error report before either window is shown;
// programEnded() then tells so.
void startUp();

// Leaves the ending of the run to the exit alone, makes "ＭＳ Ｐゴシック"
// resolve, loads Qt's Japanese texts and installs the drawn message box. The
// translator lives as long as the application.
void prepareApplication(QApplication& application);

// main: the application, the start-up and the event loop; returns the status
// the run ended with. afterStartUp, when given, runs once the start-up is
// over and before the event loop; the start-up benchmark hooks in there.
int runApplication(int& argc, char** argv, const std::function<void()>& afterStartUp = {});
