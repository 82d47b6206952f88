#pragma once

#include "platform/MessageBox.h"
#include "platform/ProgramStart.h"

#include <QList>
#include <QString>

// Records every message box shown while it lives and answers each from a
// script (the next answer in line, or the default when the script runs out).
class MessageBoxRecorder
{
public:
    struct Box
    {
        QString prompt;
        int style;
        QString title;
    };

    explicit MessageBoxRecorder(QList<int> answers = {}, int fallback = platform::vbNo);
    ~MessageBoxRecorder();

    const QList<Box>& boxes() const { return m_boxes; }

private:
    QList<Box> m_boxes;
    QList<int> m_answers;
    int m_fallback;
    platform::MessageBoxHandler m_previous;
};

// Records the command lines of started programs instead of starting them.
class ShellRecorder
{
public:
    struct Start
    {
        QString commandLine;
        int windowStyle;
    };
    ShellRecorder();
    ~ShellRecorder();
    const QList<Start>& starts() const { return m_starts; }
    // Makes the next start fail as a missing program would.
    void failNext() { m_fail = true; }

private:
    QList<Start> m_starts;
    bool m_fail = false;
    platform::ShellHandler m_previous;
};
