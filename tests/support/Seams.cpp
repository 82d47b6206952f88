#include "Seams.h"

#include "platform/Error.h"

MessageBoxRecorder::MessageBoxRecorder(QList<int> answers, int fallback)
    : m_answers(std::move(answers)), m_fallback(fallback)
{
    m_previous = platform::setMessageBoxHandler(
        [this](const QString& prompt, int style, const QString& title) {
            m_boxes.append({prompt, style, title});
            return m_answers.isEmpty() ? m_fallback : m_answers.takeFirst();
        });
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    platform::setMessageBoxHandler(std::move(m_previous));
}

ShellRecorder::ShellRecorder()
{
    m_previous = platform::setShellHandler([this](const QString& line, int style) -> qint64 {
        m_starts.append({line, style});
        if (m_fail) {
            m_fail = false;
            throw platform::Error(platform::Error::FileNotFound,
                                  QStringLiteral("プログラムを起動できません: %1").arg(line));
        }
        return 4242;
    });
}

ShellRecorder::~ShellRecorder()
{
    platform::setShellHandler(std::move(m_previous));
}
