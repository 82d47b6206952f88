#pragma once

#include "platform/MessageBox.h"
#include "platform/Seams.h"

#include <QList>
#include <QString>

// Recorders that stand in for the seams of platform/Seams.h while they live
// and put back what was there when they go. One may stand in front of
// another of its kind (a test's own recorder in front of the one of
// GuiTestBase); the inner one must then go first, as scopes do.

// Records every message box shown while it lives and answers each from a
// script (the next answer in line, or the fallback when the script runs out).
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
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    const QList<Box>& boxes() const { return m_boxes; }

private:
    QList<Box> m_boxes;
    QList<int> m_answers;
    int m_fallback;
    platform::ScopedSeams m_seams; // last: put back before the records go
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
    ShellRecorder(const ShellRecorder&) = delete;
    ShellRecorder& operator=(const ShellRecorder&) = delete;

    const QList<Start>& starts() const { return m_starts; }
    // Makes the next start fail as a missing program would.
    void failNext() { m_fail = true; }

private:
    QList<Start> m_starts;
    bool m_fail = false;
    platform::ScopedSeams m_seams;
};

// Records the statuses the event loop was asked to end with, instead of
// leaving it.
class ProgramEndRecorder
{
public:
    ProgramEndRecorder();
    ProgramEndRecorder(const ProgramEndRecorder&) = delete;
    ProgramEndRecorder& operator=(const ProgramEndRecorder&) = delete;

    const QList<int>& statuses() const { return m_statuses; }

private:
    QList<int> m_statuses;
    platform::ScopedSeams m_seams;
};
