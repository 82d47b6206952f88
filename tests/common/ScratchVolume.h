#pragma once

// A small tmpfs mounted on a folder for the object's life: a stick that can be
// filled up or made read-only for real, where a fault shim could not show what
// the kernel does. Needs root (the tests run as root in CI); isMounted() says
// whether it is there and whyNot() why not, for a QSKIP.
//
//     ScratchVolume stick(folder, 256 * 1024);
//     if (!stick.isMounted())
//         QSKIP(qPrintable(stick.whyNot()));
//     QVERIFY(stick.fillLeaving(0));
//
// The volume is unmounted (lazily, so an open file cannot keep it) when the
// object goes, also when the test failed half way.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

class ScratchVolume
{
public:
    ScratchVolume(const QString& folder, qint64 bytes) : m_folder(folder)
    {
        if (::geteuid() != 0) {
            m_whyNot = QStringLiteral("needs root to mount a tmpfs (CI runs the tests as root)");
            return;
        }
        if (!QDir().mkpath(folder)) {
            m_whyNot = QStringLiteral("cannot create the mount point ") + folder;
            return;
        }
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0777";
        if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0,
                    options.constData()) != 0) {
            m_whyNot = QStringLiteral("mounting a tmpfs failed: ") +
                       QString::fromLocal8Bit(std::strerror(errno));
            return;
        }
        m_mounted = true;
    }
    ~ScratchVolume()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
    }
    ScratchVolume(const ScratchVolume&) = delete;
    ScratchVolume& operator=(const ScratchVolume&) = delete;

    bool isMounted() const { return m_mounted; }
    const QString& whyNot() const { return m_whyNot; }

    // Fills the volume with a file of its own until at most `bytes` are free
    // (rounded down to whole pages, as tmpfs counts). False when it could not.
    bool fillLeaving(qint64 bytes) const
    {
        const QByteArray path = QFile::encodeName(m_folder + QStringLiteral("/.filler"));
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return false;
        const QByteArray block(64 * 1024, 'x');
        qint64 size = 0;
        for (;;) {
            const ssize_t n = ::write(fd, block.constData(), size_t(block.size()));
            if (n <= 0)
                break;
            size += n;
        }
        const bool full = errno == ENOSPC;
        const bool left = ::ftruncate(fd, bytes > 0 ? qMax<qint64>(0, size - bytes) : size) == 0;
        ::close(fd);
        return full && left && freeBytes() <= bytes;
    }

    qint64 freeBytes() const
    {
        struct statvfs info
        {};
        if (::statvfs(QFile::encodeName(m_folder).constData(), &info) != 0)
            return -1;
        return qint64(info.f_bavail) * qint64(info.f_frsize);
    }

    // The volume goes on read-only, as a write-protected stick.
    bool remountReadOnly() const
    {
        return ::mount(nullptr, QFile::encodeName(m_folder).constData(), nullptr,
                       MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    QString m_folder;
    QString m_whyNot;
    bool m_mounted = false;
};
