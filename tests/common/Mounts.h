#pragma once

// Real media for the tests that need what the kernel does, where a fault
// shim could only guess: a small memory file system as a stick that fills
// up, an ext2 image on a loop device, a bind mount, a read-only remount, a
// stick pulled between two clicks. Mounting needs root (CI runs the tests as
// root); whyNot() says why it cannot be done here, for a QSKIP. A test that
// links this helper runs in a mount namespace of its own, set up before its
// main(): its mounts are seen by it and its children only, and die with it.
//
//     if (!Mounts::whyNot().isEmpty())
//         QSKIP(qPrintable(Mounts::whyNot()));
//     Mounts mounts;
//     QVERIFY(mounts.tmpfs(stick, 256 * 1024));
//     QVERIFY(fillVolume(stick, 8 * 1024));
//
// Every mount still there when the object goes is unmounted, in reverse
// order and lazily, so that a file a failed test left open cannot keep it.

#include <QString>
#include <QStringList>

class Mounts
{
public:
    Mounts() = default;
    Mounts(const Mounts&) = delete;
    Mounts& operator=(const Mounts&) = delete;
    ~Mounts();

    // Empty when this process may mount.
    static QString whyNot();

    // Each makes its mount point, mounts, and says whether it worked (the
    // command's complaint goes to the test's log when not).
    bool tmpfs(const QString& point, qint64 bytes);
    // An ext2 file system in an image file, no blocks kept for root.
    bool ext2(const QString& image, const QString& point, qint64 bytes);
    bool bind(const QString& from, const QString& point);

    // The volume goes on read-only, as a write-protected stick.
    bool remountReadOnly(const QString& point);
    // Pulls the stick: unmounted now, not only when the object goes.
    bool unmount(const QString& point);

private:
    bool mount(const QStringList& args);

    QStringList m_points;
};

// Fills the free space of the volume folder lies on with a file of its own,
// but for keep bytes (to the volume's block). False when it could not.
bool fillVolume(const QString& folder, qint64 keep);
