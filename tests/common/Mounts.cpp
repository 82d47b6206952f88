#include "common/Mounts.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

// The mounts of a test live in a mount namespace of the test process's own,
// which the mount commands it starts share: nobody else sees them, and they
// go with the process, however it ends. Private from the root down, or a
// mount below a shared one would reach the machine's namespace all the same.
// Made before main, while the process has its one thread: unshare() moves
// only the thread that calls it. Empty when it worked.
QString privateMountNamespace()
{
    if (::geteuid() != 0)
        return QStringLiteral("mounting media needs root (CI runs as root)");
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return QStringLiteral("no mount namespace of the test's own: %1")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    return {};
}

const QString g_whyNot = privateMountNamespace();

bool run(const char* program, const QStringList& args)
{
    QProcess p;
    p.start(QString::fromLatin1(program), args);
    if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning("%s %s: %s", program, qPrintable(args.join(QLatin1Char(' '))),
                 p.readAllStandardError().constData());
        return false;
    }
    return true;
}

} // namespace

Mounts::~Mounts()
{
    for (auto it = m_points.rbegin(); it != m_points.rend(); ++it)
        run("umount", {QStringLiteral("-l"), *it});
}

QString Mounts::whyNot()
{
    return g_whyNot;
}

bool Mounts::tmpfs(const QString& point, qint64 bytes)
{
    return QDir().mkpath(point) &&
           mount({QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                  QStringLiteral("size=%1").arg(bytes), QStringLiteral("stick"), point});
}

bool Mounts::ext2(const QString& image, const QString& point, qint64 bytes)
{
    QFile file(image);
    return file.open(QIODevice::WriteOnly) && file.resize(bytes) &&
           run("mkfs.ext2", {QStringLiteral("-q"), QStringLiteral("-m"), QStringLiteral("0"),
                             QStringLiteral("-F"), image}) &&
           QDir().mkpath(point) &&
           mount({QStringLiteral("-o"), QStringLiteral("loop"), image, point});
}

bool Mounts::bind(const QString& from, const QString& point)
{
    return QDir().mkpath(point) && mount({QStringLiteral("--bind"), from, point});
}

bool Mounts::remountReadOnly(const QString& point)
{
    return run("mount", {QStringLiteral("-o"), QStringLiteral("remount,ro"), point});
}

bool Mounts::unmount(const QString& point)
{
    if (!run("umount", {point}))
        return false;
    m_points.removeAll(point);
    return true;
}

bool Mounts::mount(const QStringList& args)
{
    if (!run("mount", args))
        return false;
    m_points << args.last();
    return true;
}

bool fillVolume(const QString& folder, qint64 keep)
{
    QFile filler(folder + QStringLiteral("/filler.bin"));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'f');
    for (;;) {
        const qint64 free = QStorageInfo(folder).bytesAvailable();
        if (free <= keep)
            return true;
        const qint64 n = std::min<qint64>(block.size(), free - keep);
        if (filler.write(block.constData(), n) != n)
            return keep == 0;
        filler.flush();
    }
}
