#include "common/Mounts.h"
#include "common/TempInstall.h"
#include "platform/Drives.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

// The drive the drive lists start on, and what they show beside a letter.
// The volumes are real mounts in the test's own mount namespace (root only).
class TestDrives : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsOnAStick_data();
    void startsOnAStick();
    void letterWithoutVolumeLabelHasNoLabel();
    void mountsStayWithTheTest();
};

void TestDrives::startsOnAStick_data()
{
    // d: on a volume of its own outside the places for removable media, e: on
    // one where the desktop mounts a stick; c:, the current drive, on neither.
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<bool>("stick");
    QTest::addColumn<QString>("drive");
    QTest::newRow("neither") << false << false << QStringLiteral("c:");
    QTest::newRow("a fixed volume") << true << false << QStringLiteral("c:");
    QTest::newRow("a stick under /media") << false << true << QStringLiteral("e:");
    QTest::newRow("both") << true << true << QStringLiteral("e:");
}

void TestDrives::startsOnAStick()
{
    QFETCH(bool, fixed);
    QFETCH(bool, stick);
    QFETCH(QString, drive);
    const bool mayMount = Mounts::whyNot().isEmpty();
    if ((fixed || stick) && !mayMount)
        QSKIP(qPrintable(Mounts::whyNot()));
    TempInstall install;
    QVERIFY(install.isValid());
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(install.driveC()));
    Mounts mounts;
    // The machine's own sticks hidden: /media, as this test sees it, is its own.
    if (mayMount)
        QVERIFY(mounts.tmpfs(QStringLiteral("/media"), 64 * 1024));
    if (fixed) {
        QVERIFY(mounts.ext2(install.prefix() + QStringLiteral("/data.img"), install.addDrive('d'),
                            1024 * 1024));
    }
    if (stick) {
        const QString folder = QStringLiteral("/media/operator/STICK");
        QVERIFY(mounts.tmpfs(folder, 256 * 1024));
        QVERIFY(QFile::link(folder, install.prefix() + QStringLiteral("/dosdevices/e:")));
    }
    const QString starting = platform::startingDrive();
    QVERIFY(QDir::setCurrent(before));
    QCOMPARE(starting, drive);
}

void TestDrives::letterWithoutVolumeLabelHasNoLabel()
{
    TempInstall install;
    QVERIFY(install.isValid());
    for (const platform::Drive& d : platform::listDrives()) {
        if (d.text == QLatin1String("c:")) {
            QCOMPARE(d.label, QString());
            QCOMPARE(d.folder, QFileInfo(install.driveC()).canonicalFilePath());
            return;
        }
    }
    QFAIL("c: is not in the list");
}

// What the test mounts, the machine (the first process's namespace) never sees.
void TestDrives::mountsStayWithTheTest()
{
    if (!Mounts::whyNot().isEmpty())
        QSKIP(qPrintable(Mounts::whyNot()));
    QFile machine(QStringLiteral("/proc/1/mountinfo"));
    if (!machine.open(QIODevice::ReadOnly))
        QSKIP("the first process's mounts cannot be read here");
    const QTemporaryDir dir;
    const QString point = dir.path() + QStringLiteral("/stick");
    Mounts mounts;
    QVERIFY(mounts.tmpfs(point, 64 * 1024));
    QFile own(QStringLiteral("/proc/self/mountinfo"));
    QVERIFY(own.open(QIODevice::ReadOnly));
    const QByteArray entry = ' ' + QFile::encodeName(point) + ' ';
    QVERIFY(own.readAll().contains(entry));
    QVERIFY(!machine.readAll().contains(entry));
}

QTEST_GUILESS_MAIN(TestDrives)
#include "tst_drives.moc"
