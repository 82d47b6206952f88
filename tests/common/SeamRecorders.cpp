#include "common/SeamRecorders.h"

#include "platform/Error.h"

MessageBoxRecorder::MessageBoxRecorder(QList<int> answers, int fallback)
    : m_answers(std::move(answers)), m_fallback(fallback)
{
    m_seams.setMessageBox([this](const QString& prompt, int style, const QString& title) {
        m_boxes.append({prompt, style, title});
        return m_answers.isEmpty() ? m_fallback : m_answers.takeFirst();
    });
}

ShellRecorder::ShellRecorder()
{
    m_seams.setProgramStart([this](const QString& line, int style) -> qint64 {
        m_starts.append({line, style});
        if (m_fail) {
            m_fail = false;
            throw platform::Error(platform::Error::FileNotFound,
                                  QStringLiteral("プログラムを起動できません: %1").arg(line));
        }
        return 4242;
    });
}

ProgramEndRecorder::ProgramEndRecorder()
{
    m_seams.setProgramEnd([this](int status) { m_statuses.append(status); });
}
