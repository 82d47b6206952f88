#include "common/Mounts.h"
#include "common/TempInstall.h"
#include "platform/Drives.h"
#include "platform/Error.h"
#include "platform/FileErrors.h"
#include "platform/FileSystem.h"
#include "platform/WinPath.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

class TestWinPath : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mapsPaths_data();
    void mapsPaths();
    void showsHostPathsInWindowsForm_data();
    void showsHostPathsInWindowsForm();
    void defaultPrefixIsHomeWine();
    void findsNamesIgnoringCase_data();
    void findsNamesIgnoringCase();
    void fileExists_data();
    void fileExists();
    void copyFileReplacesDestination();
    void driveIsMounted_data();
    void driveIsMounted();
    void copyFileFailures_data();
    void copyFileFailures();
};

void TestWinPath::mapsPaths_data()
{
    QTest::addColumn<QString>("windows");
    QTest::addColumn<QString>("host"); // "%P" stands for $WINEPREFIX

    QTest::newRow("install-folder") << "c:\\Program Files\\Tavenro\\DB.mdb"
                                    << "%P/dosdevices/c:/Program Files/Tavenro/DB.mdb";
    QTest::newRow("x86-twin") << "c:\\Program Files (x86)\\Tavenro\\DB.mdb"
                              << "%P/dosdevices/c:/Program Files (x86)/Tavenro/DB.mdb";
    QTest::newRow("upper-case-letter") << "C:\\Program Files\\Tavenro\\list.csv"
                                       << "%P/dosdevices/c:/Program Files/Tavenro/list.csv";
    QTest::newRow("drive-root") << "e:\\DB.mdb"
                                << "%P/dosdevices/e:/DB.mdb";
    QTest::newRow("bare-drive") << "e:"
                                << "%P/dosdevices/e:/";
    QTest::newRow("relative-no-folder") << "DB.mdb"
                                        << "DB.mdb";
    QTest::newRow("relative-folder") << "sub\\DB.mdb"
                                     << "sub/DB.mdb";
    QTest::newRow("mount-point-drive-text") << "/media/usb stick\\DB.mdb"
                                            << "/media/usb stick/DB.mdb";
}

void TestWinPath::mapsPaths()
{
    QFETCH(QString, windows);
    QFETCH(QString, host);
    TempInstall install;
    QCOMPARE(platform::hostPath(windows), host.replace(QStringLiteral("%P"), install.prefix()));
}

void TestWinPath::showsHostPathsInWindowsForm_data()
{
    QTest::addColumn<QString>("windows");
    QTest::addColumn<QString>("shown"); // as the operator reads it back

    QTest::newRow("install-file") << "c:\\Program Files\\Tavenro\\list.csv"
                                  << "c:\\Program Files\\Tavenro\\list.csv";
    QTest::newRow("stick-root") << "e:\\DB.mdb"
                                << "e:\\DB.mdb";
    QTest::newRow("temporary-name-beside") << "e:\\DB.mdb.tmp"
                                           << "e:\\DB.mdb.tmp";
    QTest::newRow("letter-case-of-disk") << "C:\\program files\\tavenro\\DB.mdb"
                                         << "c:\\Program Files\\Tavenro\\DB.mdb";
    // "%M" stands for a volume mounted under /mnt, a drive by its mount point.
    QTest::newRow("mount-point-drive") << "%M\\DB.mdb"
                                       << "%M\\DB.mdb";
}

void TestWinPath::showsHostPathsInWindowsForm()
{
    QFETCH(QString, windows);
    QFETCH(QString, shown);
    TempInstall install;
    install.createDatabase(install.database());
    install.addDrive(QLatin1Char('e'));
    std::unique_ptr<QTemporaryDir> point;
    Mounts mounts;
    if (windows.contains(QStringLiteral("%M"))) {
        if (!Mounts::whyNot().isEmpty())
            QSKIP(qPrintable(Mounts::whyNot()));
        point = std::make_unique<QTemporaryDir>(QStringLiteral("/mnt/tavenro-winpath-XXXXXX"));
        QVERIFY(point->isValid());
        QVERIFY(mounts.tmpfs(point->path(), 64 * 1024));
        windows.replace(QStringLiteral("%M"), point->path());
        shown.replace(QStringLiteral("%M"), point->path());
    }
    QCOMPARE(platform::windowsPathOf(platform::hostPath(windows)), shown);
}

void TestWinPath::defaultPrefixIsHomeWine()
{
    const QByteArray saved = qgetenv("WINEPREFIX");
    qunsetenv("WINEPREFIX");
    const QString mapped = platform::hostPath(QStringLiteral("c:\\x.txt"));
    qputenv("WINEPREFIX", saved);
    QCOMPARE(mapped, QDir::homePath() + QStringLiteral("/.wine/dosdevices/c:/x.txt"));
}

void TestWinPath::findsNamesIgnoringCase_data()
{
    QTest::addColumn<QStringList>("onDisk"); // files below drive c:
    QTest::addColumn<QString>("windows");
    QTest::addColumn<QString>("host"); // below drive c:

    QTest::newRow("folder-and-file-lower-case")
        << QStringList{"Program Files/tavenro/db.mdb"} << "c:\\Program Files\\Tavenro\\DB.mdb"
        << "Program Files/tavenro/db.mdb";
    QTest::newRow("every-part-differs")
        << QStringList{"PROGRAM FILES/TAVENRO/DB.MDB"} << "c:\\program files\\tavenro\\db.mdb"
        << "PROGRAM FILES/TAVENRO/DB.MDB";
    QTest::newRow("new-file-keeps-its-name")
        << QStringList{"Program Files/tavenro/db.mdb"} << "c:\\Program Files\\Tavenro\\List.csv"
        << "Program Files/tavenro/List.csv";
    QTest::newRow("missing-folder-stays-as-written")
        << QStringList{"Program Files/tavenro/db.mdb"} << "c:\\Program Files\\Gone\\DB.mdb"
        << "Program Files/Gone/DB.mdb";
    QTest::newRow("exact-name-wins")
        << QStringList{"Tavenro/db.mdb", "Tavenro/DB.mdb"} << "c:\\Tavenro\\DB.mdb"
        << "Tavenro/DB.mdb";
    QTest::newRow("first-in-name-order")
        << QStringList{"Tavenro/db.mdb", "Tavenro/Db.mdb"} << "c:\\Tavenro\\DB.mdb"
        << "Tavenro/Db.mdb";
    QTest::newRow("non-ascii-case") << QStringList{"Ärzte/ÖL.txt"} << "c:\\ärzte\\öl.TXT"
                                    << "Ärzte/ÖL.txt";
}

void TestWinPath::findsNamesIgnoringCase()
{
    QFETCH(QStringList, onDisk);
    QFETCH(QString, windows);
    QFETCH(QString, host);
    TempInstall install;
    for (const QString& file : onDisk) {
        const QString path = install.driveC() + QLatin1Char('/') + file;
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile f(path);
        QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    }
    QCOMPARE(platform::hostPath(windows),
             install.prefix() + QStringLiteral("/dosdevices/c:/") + host);
    if (!onDisk.isEmpty() && host == onDisk.constFirst())
        QVERIFY(platform::fileExists(windows));
}

void TestWinPath::fileExists_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("exists");

    QTest::newRow("install-db") << "c:\\Program Files\\Tavenro\\DB.mdb" << true;
    QTest::newRow("x86-db-missing") << "c:\\Program Files (x86)\\Tavenro\\DB.mdb" << false;
    QTest::newRow("folder-is-no-file") << "c:\\Program Files\\Tavenro" << false;
    QTest::newRow("missing-folder") << "c:\\Nowhere\\DB.mdb" << false;
    QTest::newRow("unmapped-drive") << "q:\\DB.mdb" << false;
    QTest::newRow("mapped-drive-root") << "e:\\DB.mdb" << true;
}

void TestWinPath::fileExists()
{
    QFETCH(QString, path);
    QFETCH(bool, exists);
    TempInstall install;
    install.createDatabase(install.database());
    QFile::copy(install.database(), install.addDrive(QLatin1Char('e')) + QStringLiteral("/DB.mdb"));
    QCOMPARE(platform::fileExists(path), exists);
}

void TestWinPath::copyFileReplacesDestination()
{
    TempInstall install;
    install.createDatabase(install.database(),
                           QStringLiteral("insert into list(barcode) values('1')"));
    const QString usb = install.addDrive(QLatin1Char('e'));
    QFile old(usb + QStringLiteral("/DB.mdb"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(1 << 21, 'x')); // larger than the source: no tail may survive
    old.close();

    platform::copyFile(QStringLiteral("c:\\Program Files\\Tavenro\\DB.mdb"),
                       QStringLiteral("e:\\DB.mdb"), true);

    QCOMPARE(TempInstall::readAll(usb + QStringLiteral("/DB.mdb")),
             TempInstall::readAll(install.database()));
    QCOMPARE(QDir(usb).entryList(QDir::Files), QStringList{QStringLiteral("DB.mdb")});
}

void TestWinPath::driveIsMounted_data()
{
    QTest::addColumn<QString>("drive"); // "%P" stands for $WINEPREFIX
    QTest::addColumn<bool>("mounted");

    QTest::newRow("root volume") << "/" << true;
    QTest::newRow("volume mounted below the root") << "/proc" << true;
    QTest::newRow("letter") << "e:" << true;
    QTest::newRow("mount point left without its volume") << "%P/mnt/usb" << false;
    QTest::newRow("folder gone with its volume") << "%P/media/stick" << false;
}

void TestWinPath::driveIsMounted()
{
    QFETCH(QString, drive);
    QFETCH(bool, mounted);
    TempInstall install;
    QVERIFY(QDir().mkpath(install.prefix() + QStringLiteral("/mnt/usb")));
    drive.replace(QStringLiteral("%P"), install.prefix());
    QCOMPARE(platform::driveIsMounted(drive), mounted);
}

void TestWinPath::copyFileFailures_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<int>("number");

    QTest::newRow("source-missing") << "c:\\Program Files (x86)\\Tavenro\\DB.mdb"
                                    << "e:\\DB.mdb" << int(platform::Error::FileNotFound);
    QTest::newRow("destination-folder-missing")
        << "c:\\Program Files\\Tavenro\\DB.mdb"
        << "e:\\gone\\DB.mdb" << int(platform::Error::PathNotFound);
    QTest::newRow("drive-not-mapped") << "c:\\Program Files\\Tavenro\\DB.mdb"
                                      << "q:\\DB.mdb" << int(platform::Error::PathNotFound);
}

void TestWinPath::copyFileFailures()
{
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(int, number);
    TempInstall install;
    install.createDatabase(install.database());
    const QString usb = install.addDrive(QLatin1Char('e'));
    try {
        platform::copyFile(source, destination, true);
        QFAIL("copy did not fail");
    } catch (const platform::Error& e) {
        QCOMPARE(e.number(), number);
        QVERIFY2(e.description().contains(number == platform::Error::FileNotFound ? source
                                                                                  : destination),
                 qPrintable(e.description()));
    }
    QCOMPARE(QDir(usb).entryList(QDir::Files), QStringList());
}

QTEST_GUILESS_MAIN(TestWinPath)
#include "tst_winpath.moc"
