#include "app/LockWaitFeedback.h"

#include "engine/Connection.h"

#include <QApplication>
#include <QThread>

namespace {

int g_feedbackScopes = 0;
bool g_waitCursor = false;
bool g_repainting = false;

void onLockWait()
{
    if (g_feedbackScopes == 0 || g_repainting || !qApp ||
        QThread::currentThread() != qApp->thread())
        return;
    if (!g_waitCursor) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        g_waitCursor = true;
    }
    g_repainting = true;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    g_repainting = false;
}

} // namespace

LockWaitFeedback::LockWaitFeedback()
{
    if (g_feedbackScopes++ == 0)
        engine::Connection::setLockWaitHook(onLockWait);
}

LockWaitFeedback::~LockWaitFeedback()
{
    if (--g_feedbackScopes == 0) {
        endWaitCursor();
        engine::Connection::setLockWaitHook(nullptr);
    }
}

bool LockWaitFeedback::repainting()
{
    return g_repainting;
}

void LockWaitFeedback::endWaitCursor()
{
    if (g_waitCursor) {
        QApplication::restoreOverrideCursor();
        g_waitCursor = false;
    }
}
