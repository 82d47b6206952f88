#include "platform/MessageBox.h"

#include "platform/Seams.h"

namespace platform {

namespace {

// Without anyone to ask, a box is declined: nothing is confirmed by default.
int declined(int style)
{
    switch (style & 0xF) {
    case vbOKOnly:
        return vbOK;
    case vbAbortRetryIgnore:
        return vbAbort;
    case vbYesNo:
        return vbNo;
    default:
        return vbCancel;
    }
}

} // namespace

QString applicationTitle()
{
    return QStringLiteral("各種設定");
}

int msgBox(const QString& prompt, int style, const QString& title)
{
    const QString shown = title.isEmpty() ? applicationTitle() : title;
    const MessageBoxHandler handler = seams().messageBox;
    if (!handler)
        return declined(style);
    return handler(prompt, style, shown);
}

} // namespace platform
