#include "common/FaultTrace.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

TracedRun runTraced(const QString& program, const QStringList& args, const QString& folder)
{
    TracedRun run;
#ifdef TAVENRO_FAULT_SHIM
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(TAVENRO_FAULT_SHIM));
    env.insert(QStringLiteral("FAULT_PREFIX"), canonical);
    env.insert(QStringLiteral("FAULT_TRACE"), QStringLiteral("1"));
    env.remove(QStringLiteral("FAULT_AT"));
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(program, args);
    if (!child.waitForFinished(30000) || child.exitStatus() != QProcess::NormalExit) {
        child.kill();
        child.waitForFinished();
        return run;
    }
    run.exitCode = child.exitCode();
    const QStringList lines =
        QString::fromLocal8Bit(child.readAllStandardError()).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (!line.startsWith(QLatin1String("fault-shim: "))) {
            if (!line.isEmpty())
                run.errors += line + QLatin1Char('\n');
            continue;
        }
        // "12 fdatasync /…/list.csv.0a1b2c.tmp"
        const QString op = line.mid(12).section(QLatin1Char(' '), 1, 1);
        const QString path = line.mid(12).section(QLatin1Char(' '), 2);
        run.ops << (op == QLatin1String("fdatasync") ? QStringLiteral("fsync") : op) +
                       QLatin1Char(' ') +
                       (path == canonical ? QStringLiteral(".") : QFileInfo(path).fileName());
    }
#else
    Q_UNUSED(program);
    Q_UNUSED(args);
    Q_UNUSED(folder);
#endif
    return run;
}

QString flushOrderFault(const QStringList& ops, const QString& name)
{
    const QString all = ops.join(QStringLiteral(", "));
    qsizetype renamed = -1;
    for (qsizetype i = 0; i < ops.size(); ++i) {
        if (ops[i].startsWith(QStringLiteral("rename ") + name))
            renamed = i;
    }
    if (renamed < 0)
        return QStringLiteral("never renamed into place: ") + all;
    const QString file = ops[renamed].section(QLatin1Char(' '), 1);
    qsizetype last = renamed - 1;
    while (last >= 0 && ops[last].section(QLatin1Char(' '), 1) != file)
        --last;
    if (last < 0 || ops[last] != QStringLiteral("fsync ") + file)
        return file + QStringLiteral(" renamed before it was flushed: ") + all;
    if (ops.value(renamed + 1) != QLatin1String("fsync ."))
        return QStringLiteral("the folder not flushed after the rename: ") + all;
    return {};
}
