#include "app/StartUp.h"

#include "app/DesignLook.h"
#include "app/ErrorReport.h"
#include "app/MessageBoxDialog.h"
#include "app/ProgramEnd.h"
#include "app/ProgramWindows.h"
#include "app/bar_read_frm.h"
#include "platform/JapaneseDesktop.h"
#include "platform/Seams.h"

#include <QApplication>

namespace {

// The boxes of the code below the windows are drawn for the application's
// life, and not a moment longer.
void useDrawnMessageBox(bool drawn)
{
    platform::Seams seams = platform::seams();
    seams.messageBox = drawn ? platform::MessageBoxHandler(showMessageBox) : nullptr;
    platform::setSeams(std::move(seams));
}

} // namespace

void startUp()
{
    // Creating the launcher runs its load step; when that fails, the
    // launcher is gone again.
    guarded([] { ProgramWindows::current().get<bar_read_frm>(); });
    bar_read_frm* launcher = ProgramWindows::current().find<bar_read_frm>();
    if (programEnded() || !launcher)
        return;
    ProgramWindows::current().placeForFirstShow(launcher);
    launcher->show();
    launcher->raise();
    launcher->activateWindow();
}

void prepareApplication(QApplication& application)
{
    // Only the settings window's exit ends the run; closing the launcher,
    // even when it is the last window shown, does not.
    QApplication::setQuitOnLastWindowClosed(false);
    installJapaneseFontFallbacks();
    // Qt's own texts (a text box's context menu, for one) in Japanese, as
    // every other text of the tool, whatever the system's language.
    platform::installQtJapaneseTexts(application);
    useDrawnMessageBox(true);
}

int runApplication(int& argc, char** argv, const std::function<void()>& afterStartUp)
{
    QApplication application(argc, argv);
    prepareApplication(application);

    int status = 0;
    {
        // Every window goes with its owner, before the application does.
        ProgramWindows windows;
        startUp();
        if (afterStartUp)
            afterStartUp();
        status = programEnded() ? programEndStatus() : application.exec();
    }
    useDrawnMessageBox(false);
    return status;
}
