#pragma once

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

    // A box follows a wait that is over: the wait cursor goes before it
    // shows. Nothing when no wait showed it.
    static void endWaitCursor();
};
