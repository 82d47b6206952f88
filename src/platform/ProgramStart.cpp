#include "platform/ProgramStart.h"

#include "platform/Error.h"
#include "platform/Seams.h"
#include "platform/WinPath.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

namespace platform {

namespace {

qint64 startDetached(const QString& program, const QStringList& arguments,
                     const QString& commandLine)
{
    qint64 pid = 0;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (!process.startDetached(&pid))
        throw Error(Error::FileNotFound,
                    QStringLiteral("プログラムを起動できません: %1").arg(commandLine));
    return pid;
}

} // namespace

QString bundledEditorPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tavenro-notepad");
}

qint64 shell(const QString& commandLine, int windowStyle)
{
    if (const ProgramStartHandler handler = seams().programStart)
        return handler(commandLine, windowStyle);
    Q_UNUSED(windowStyle) // every started program comes up normal and takes the focus

    const QString line = commandLine.trimmed();
    const qsizetype space = line.indexOf(QLatin1Char(' '));
    const QString program = space < 0 ? line : line.left(space);
    const QString argument = space < 0 ? QString() : line.mid(space + 1);
    if (program.isEmpty())
        throw Error(Error::FileNotFound, QStringLiteral("起動するプログラムがありません。"));

#ifdef Q_OS_WIN
    return startDetached(program, argument.isEmpty() ? QStringList{} : QStringList{argument},
                         commandLine);
#else
    const QString name = program.toLower();
    if (name == QLatin1String("notepad.exe") || name == QLatin1String("notepad")) {
        const QString editor = bundledEditorPath();
        if (!QFileInfo(editor).isExecutable())
            throw Error(Error::FileNotFound,
                        QStringLiteral("エディタが見つかりません: %1").arg(editor));
        return startDetached(editor,
                             argument.isEmpty() ? QStringList{} : QStringList{hostPath(argument)},
                             commandLine);
    }
    return startDetached(hostPath(program),
                         argument.isEmpty() ? QStringList{} : QStringList{hostPath(argument)},
                         commandLine);
#endif
}

} // namespace platform
