#include "StartUp.h"

#include "DesignLook.h"
#include "ErrorReport.h"
#include "MessageBoxDialog.h"
#include "ProgramEnd.h"
#include "bar_read_frm.h"
#include "export_frm.h"
#include "platform/JapaneseDesktop.h"
#include "platform/MessageBox.h"

#include <QApplication>

void startUp()
{
    bar_read_frm* launcher = bar_read_frm::instance();
    guarded([launcher] { launcher->load(); });
    if (programEnded())
        return;
    launcher->show();
    launcher->raise();
    launcher->activateWindow();
}

void releaseWindows()
{
    bar_read_frm::release();
    export_frm::release();
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
    platform::setMessageBoxHandler(showMessageBox);
}

int runApplication(int& argc, char** argv, const std::function<void()>& afterStartUp)
{
    QApplication application(argc, argv);
    prepareApplication(application);

    startUp();
    if (afterStartUp)
        afterStartUp();
    const int status = programEnded() ? programEndStatus() : application.exec();
    releaseWindows();
    platform::setMessageBoxHandler({});
    return status;
}
