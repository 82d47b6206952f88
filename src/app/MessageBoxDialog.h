#pragma once

#include <QString>

// Draws a platform::msgBox as a modal QMessageBox: the button set and the icon
// come from the style value in the Windows numbering (the set from its low
// four bits, the icon from the next four, the default button from the next),
// with the captions Windows shows in Japanese, in Windows' order. Returns the
// Windows number of the button pressed. Installed by the application as the
// message box handler.
int showMessageBox(const QString& prompt, int style, const QString& title);

// While a handler of the settings window waits for another program's lock on
// the database (up to the engine's bounded wait): the wait cursor, and the
// windows repaint, taking no input meanwhile. In force for the scope's life;
// the cursor goes when the handler ends or shows a box.
class LockWaitFeedback
{
public:
    LockWaitFeedback();
    ~LockWaitFeedback();
    LockWaitFeedback(const LockWaitFeedback&) = delete;
    LockWaitFeedback& operator=(const LockWaitFeedback&) = delete;

    // True while the windows repaint inside a wait: nothing may close them
    // then, as the waiting handler still uses what they hold.
    static bool repainting();
};
