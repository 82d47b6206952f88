// The backup and the restore on real media, mapped as drive f: the way Wine
// maps a stick: a small memory file system and an ext2 image on a loop
// device, pulled, filled, made read-only, or the install folder itself. Each
// case clicks the real buttons and compares every file on the stick and in
// the install folder before and after: a failed operation changes nothing,
// a backup leaves one whole new DB.mdb, a restore the stick's data in the
// same live file. Needs root for the mounts; every mount goes in cleanup(),
// whatever became of the test.

#include "app/DriveList.h"
#include "app/LockWaitFeedback.h"
#include "app/ProgramEnd.h"
#include "app/StartUp.h"
#include "app/export_frm.h"
#include "backup/BackupFixture.h"
#include "common/GuiTestBase.h"
#include "common/Mounts.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A file as a test compares it: bytes, permission bits and inode.
struct FileState
{
    QByteArray bytes;
    uint mode = 0;
    quint64 inode = 0;
    bool operator==(const FileState&) const = default;
};
using FolderState = QMap<QString, FileState>;

FolderState stateOfFolder(const QString& folder)
{
    FolderState files;
    for (const QString& name : filesIn(folder)) {
        const QString path = folder + QLatin1Char('/') + name;
        struct stat st
        {};
        ::stat(QFile::encodeName(path).constData(), &st);
        QFile f(path);
        FileState state;
        if (f.open(QIODevice::ReadOnly))
            state.bytes = f.readAll();
        state.mode = st.st_mode & 07777;
        state.inode = st.st_ino;
        files.insert(name, state);
    }
    return files;
}

// The names whose files differ, for a failure message.
QString differences(const FolderState& before, const FolderState& after)
{
    QStringList names;
    for (auto it = before.begin(); it != before.end(); ++it) {
        if (!after.contains(it.key()))
            names << QStringLiteral("-") + it.key();
        else if (!(after.value(it.key()) == it.value()))
            names << QStringLiteral("~") + it.key();
    }
    for (auto it = after.begin(); it != after.end(); ++it) {
        if (!before.contains(it.key()))
            names << QStringLiteral("+") + it.key();
    }
    return names.join(QLatin1Char(' '));
}

enum class Situation
{
    PulledBeforeClick,      // unmounted between choosing f: and the click
    PulledDuringWait,       // unmounted, folder left, while the backup waits for the product
    RemovedDuringWait,      // unmounted and its folder removed while the backup waits
    BareFolderUnderMnt,     // f: links to a folder under /mnt with nothing mounted on it
    Full,                   // the stick has no room at all
    TooSmall,               // a small old backup, but no room for the new one even without it
    RoomForOneNotTwo,       // the old backup fits, the new one beside it does not
    RoomForTwo,             // the new one fits beside the old one
    ReadOnlyFile,           // the old DB.mdb has no write permission
    ReadOnlyRemount,        // the stick's file system is read-only
    InstallBySymlink,       // f: links to the install folder
    InstallX86BySymlink,    // f: links to the "(x86)" install folder
    InstallByBindMount,     // f: is a bind mount of the install folder
    InstallByOtherSpelling, // f: links to it through "." and ".."
    OrdinaryFolder,         // f: links to a folder that never was a mount point
    InstallDiskFull,        // the install folder's volume has no room for the restore
};

enum class Operation
{
    Backup,    // Command4
    BackupX86, // Label18, from the "(x86)" install folder
    Restore,   // Command5
};

enum class Outcome
{
    Nothing,   // both sides as they were
    Pulled,    // the install folder as it was; nothing where the stick was
    NewBackup, // the stick holds the new backup and nothing else changed
    Restored,  // the live file holds the stick's data; the safety copy beside it
};

const QString copiedToDrive = QStringLiteral("ＵＳＢメモリにコピーしました。");
const QString restored = QStringLiteral("ＰＣにデータをコピーしました。");
const QString notRestored = QStringLiteral("保存できませんでした。");
constexpr int rows = 1500; // about 400 KB of database

} // namespace

class TestBackupMedia : public GuiTestBase
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void stickSituations_data();
    void stickSituations();
    void drivesStartOnTheStick();
    void copyFileOntoFullMedium();

private:
    // Prepares the stick for the situation and maps f: to it; its folder.
    QString prepare(Situation situation, Operation operation);
    // Every message the operator saw is Japanese and names f:\DB.mdb or the
    // install file as the operator knows them.
    bool saidAsOperatorKnowsIt(const QString& text);

    std::unique_ptr<Mounts> m_mounts;
    std::unique_ptr<QTemporaryDir> m_mnt;
    qint64 m_size = 0; // of the install database
};

void TestBackupMedia::init()
{
    if (!Mounts::whyNot().isEmpty())
        QSKIP(qPrintable(Mounts::whyNot()));
    GuiTestBase::init();
    if (QTest::currentTestFailed())
        return;
    m_mounts = std::make_unique<Mounts>();
    makeDatabase(install().database(), QStringLiteral("1"), rows, QStringLiteral("delete"));
    m_size = QFileInfo(install().database()).size();
}

void TestBackupMedia::cleanup()
{
    // Before the install folder goes: a mount left inside it would take the
    // removal with it, or keep the folder.
    m_mounts.reset();
    m_mnt.reset();
    if (::geteuid() == 0)
        GuiTestBase::cleanup();
}

QString TestBackupMedia::prepare(Situation situation, Operation operation)
{
    const QString prefix = install().prefix();
    QString stick = prefix + QStringLiteral("/stick");
    const QString image = prefix + QStringLiteral("/stick.img");
    const QString oldBackup = QStringLiteral("/DB.mdb");
    bool ok = true;
    switch (situation) {
    case Situation::PulledBeforeClick:
    case Situation::PulledDuringWait:
    case Situation::RemovedDuringWait:
    case Situation::Full:
    case Situation::ReadOnlyFile:
        ok = m_mounts->tmpfs(stick, (situation == Situation::Full ? 256 : 2048) * 1024);
        break;
    case Situation::TooSmall:
        ok = m_mounts->tmpfs(stick, 128 * 1024);
        break;
    case Situation::RoomForOneNotTwo:
    case Situation::RoomForTwo:
    case Situation::ReadOnlyRemount:
        ok = m_mounts->ext2(image, stick, 2048 * 1024);
        break;
    case Situation::BareFolderUnderMnt:
        m_mnt = std::make_unique<QTemporaryDir>(QStringLiteral("/mnt/tavenro-media-XXXXXX"));
        ok = m_mnt->isValid();
        stick = m_mnt->path();
        break;
    case Situation::InstallBySymlink:
        stick = install().installFolder();
        break;
    case Situation::InstallX86BySymlink:
        stick = install().installFolderX86();
        makeDatabase(install().databaseX86(), QStringLiteral("8"), rows, QStringLiteral("delete"));
        break;
    case Situation::InstallByOtherSpelling:
        stick = install().driveC() + QStringLiteral("/./Program Files/../Program Files/Tavenro");
        break;
    case Situation::InstallByBindMount:
        ok = m_mounts->bind(install().installFolder(), stick);
        break;
    case Situation::OrdinaryFolder:
    case Situation::InstallDiskFull:
        stick = prefix + QStringLiteral("/home/backup");
        ok = QDir().mkpath(stick);
        break;
    }
    if (situation == Situation::InstallDiskFull) {
        ok = ok && m_mounts->tmpfs(install().installFolder(), 512 * 1024);
        makeDatabase(install().database(), QStringLiteral("1"), rows, QStringLiteral("delete"));
        // Room left for the product to go on writing, none for a copy.
        ok = ok && fillVolume(install().installFolder(), 64 * 1024);
    }
    if (operation == Operation::BackupX86)
        makeDatabase(install().databaseX86(), QStringLiteral("8"), rows, QStringLiteral("delete"));
    if (!ok) {
        fail(QStringLiteral("cannot prepare the stick"), TestPlace::here());
        return {};
    }
    QFile::link(stick, prefix + QStringLiteral("/dosdevices/f:"));
    const bool onStick = situation != Situation::InstallBySymlink &&
                         situation != Situation::InstallX86BySymlink &&
                         situation != Situation::InstallByBindMount &&
                         situation != Situation::InstallByOtherSpelling;
    // An older backup of another roster, as a stick in use holds.
    if (onStick && (operation == Operation::Restore || situation != Situation::Full))
        makeDatabase(stick + oldBackup, QStringLiteral("2"),
                     situation == Situation::TooSmall ? 10 : rows, QStringLiteral("delete"));
    switch (situation) {
    case Situation::Full:
        ok = fillVolume(stick, 0);
        break;
    case Situation::RoomForOneNotTwo:
        ok = fillVolume(stick, m_size / 2);
        break;
    case Situation::RoomForTwo:
        ok = fillVolume(stick, m_size + 256 * 1024);
        break;
    case Situation::ReadOnlyFile:
        ok = QFile::setPermissions(stick + oldBackup,
                                   QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        break;
    case Situation::ReadOnlyRemount:
        ok = m_mounts->remountReadOnly(stick);
        break;
    default:
        break;
    }
    if (!ok)
        fail(QStringLiteral("cannot fill or protect the stick"), TestPlace::here());
    return ok ? stick : QString();
}

bool TestBackupMedia::saidAsOperatorKnowsIt(const QString& text)
{
    QStringList english;
    for (int code : {ENOSPC, EROFS, EACCES, EIO, ENOENT, ENODEV, ENOMEDIUM})
        english << QString::fromLocal8Bit(std::strerror(code));
    english << QStringLiteral("database") << QStringLiteral("disk is full")
            << QStringLiteral("readonly");
    for (const QString& word : english) {
        if (text.contains(word, Qt::CaseInsensitive))
            return fail(QStringLiteral("English system text in: ") + text, TestPlace::here());
    }
    if (text.contains(install().prefix()) || text.contains(QLatin1String(".tmp")) ||
        text.contains(QLatin1Char('/')))
        return fail(QStringLiteral("a host or temporary name in: ") + text, TestPlace::here());
    return true;
}

void TestBackupMedia::stickSituations_data()
{
    QTest::addColumn<Situation>("situation");
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<Outcome>("outcome");
    // The box's first line for a refused backup, else the status label.
    QTest::addColumn<QString>("said");
    // Words the operator must find in the box, or in Label13's tooltip.
    QTest::addColumn<QStringList>("words");

    const auto report = [](int n) { return QStringLiteral("実行時エラー '%1':").arg(n); };
    const QString f = QStringLiteral("f:\\DB.mdb");
    const QString live = QStringLiteral("c:\\Program Files\\Tavenro");
    using S = Situation;
    using O = Operation;
    using R = Outcome;

    QTest::newRow("pulled before backup") << S::PulledBeforeClick << O::Backup << R::Nothing
                                          << report(71) << QStringList{f, QStringLiteral("準備")};
    QTest::newRow("pulled before (x86) backup")
        << S::PulledBeforeClick << O::BackupX86 << R::Nothing << report(71)
        << QStringList{f, QStringLiteral("準備")};
    QTest::newRow("pulled before restore") << S::PulledBeforeClick << O::Restore << R::Nothing
                                           << notRestored << QStringList{f, QStringLiteral("準備")};
    QTest::newRow("pulled while the backup waits for the product")
        << S::PulledDuringWait << O::Backup << R::Pulled << report(71)
        << QStringList{f, QStringLiteral("準備")};
    QTest::newRow("pulled and its folder gone while the backup waits")
        << S::RemovedDuringWait << O::Backup << R::Pulled << report(71)
        << QStringList{f, QStringLiteral("準備")};
    QTest::newRow("bare folder under /mnt, backup")
        << S::BareFolderUnderMnt << O::Backup << R::Nothing << report(71) << QStringList{f};
    QTest::newRow("bare folder under /mnt, restore")
        << S::BareFolderUnderMnt << O::Restore << R::Nothing << notRestored << QStringList{f};
    QTest::newRow("full stick") << S::Full << O::Backup << R::Nothing << report(61)
                                << QStringList{f, QStringLiteral("MB")};
    QTest::newRow("too small even without the old backup")
        << S::TooSmall << O::Backup << R::Nothing << report(61)
        << QStringList{f, QStringLiteral("MB 必要"), QStringLiteral("全体でも")};
    QTest::newRow("room for one copy, not two")
        << S::RoomForOneNotTwo << O::Backup << R::Nothing << report(61)
        << QStringList{f, QStringLiteral("MB 必要"), QStringLiteral("別の場所へ移す"),
                       QStringLiteral("容量の大きい")};
    QTest::newRow("room for two copies")
        << S::RoomForTwo << O::Backup << R::NewBackup << copiedToDrive << QStringList{};
    QTest::newRow("read-only file") << S::ReadOnlyFile << O::Backup << R::Nothing << report(70)
                                    << QStringList{f, QStringLiteral("読み取り専用")};
    QTest::newRow("read-only remount, backup")
        << S::ReadOnlyRemount << O::Backup << R::Nothing << report(70)
        << QStringList{f, QStringLiteral("書き込み")};
    QTest::newRow("read-only remount, restore")
        << S::ReadOnlyRemount << O::Restore << R::Restored << restored << QStringList{};
    QTest::newRow("install folder by link")
        << S::InstallBySymlink << O::Backup << R::Nothing << report(70) << QStringList{f, live};
    QTest::newRow("(x86) install folder by link")
        << S::InstallX86BySymlink << O::Backup << R::Nothing << report(70)
        << QStringList{f, QStringLiteral("c:\\Program Files (x86)\\Tavenro\\DB.mdb")};
    QTest::newRow("install folder by link, restore")
        << S::InstallBySymlink << O::Restore << R::Nothing << notRestored
        << QStringList{f, QStringLiteral("c:\\Program Files\\Tavenro\\DB.mdb")};
    QTest::newRow("install folder by bind mount")
        << S::InstallByBindMount << O::Backup << R::Nothing << report(70) << QStringList{f, live};
    QTest::newRow("install folder by another spelling")
        << S::InstallByOtherSpelling << O::Backup << R::Nothing << report(70)
        << QStringList{f, live};
    QTest::newRow("ordinary folder, backup")
        << S::OrdinaryFolder << O::Backup << R::NewBackup << copiedToDrive << QStringList{};
    QTest::newRow("ordinary folder, restore")
        << S::OrdinaryFolder << O::Restore << R::Restored << restored << QStringList{};
    QTest::newRow("install disk full, restore")
        << S::InstallDiskFull << O::Restore << R::Nothing << notRestored
        << QStringList{QStringLiteral("c:\\Program Files\\Tavenro\\DB.mdb"),
                       QStringLiteral("空き領域")};
}

void TestBackupMedia::stickSituations()
{
    QFETCH(Situation, situation);
    QFETCH(Operation, operation);
    QFETCH(Outcome, outcome);
    QFETCH(QString, said);
    QFETCH(QStringList, words);

    const bool ext2 = situation == Situation::RoomForOneNotTwo ||
                      situation == Situation::RoomForTwo || situation == Situation::ReadOnlyRemount;
    if (ext2 &&
        QStandardPaths::findExecutable(QStringLiteral("mkfs.ext2"),
                                       {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
            .isEmpty())
        QSKIP("mkfs.ext2 is missing (Debian package e2fsprogs, in scripts/deps.sh)");
    const QString stick = prepare(situation, operation);
    QVERIFY(!stick.isEmpty());
    startUp();
    export_frm* window = settings();
    QVERIFY(window);
    MessageBoxRecorder boxes;
    const bool backup = operation != Operation::Restore;
    QVERIFY(chooseDrive(backup ? "Drive1" : "Drive2", "f:"));
    if (situation == Situation::PulledBeforeClick) {
        QVERIFY(m_mounts->unmount(stick));
        // An old copy once written to the bare folder while the stick was out.
        if (operation == Operation::Restore)
            makeDatabase(stick + QStringLiteral("/DB.mdb"), QStringLiteral("9"), 10,
                         QStringLiteral("delete"));
    }
    if (situation == Situation::BareFolderUnderMnt && operation == Operation::Restore)
        makeDatabase(stick + QStringLiteral("/DB.mdb"), QStringLiteral("9"), 10,
                     QStringLiteral("delete"));

    const FolderState stickBefore = stateOfFolder(stick);
    const FolderState installBefore = stateOfFolder(install().installFolder());
    QVERIFY(installBefore.contains(QStringLiteral("DB.mdb")));
    const DatabaseState installData = stateOf(install().database());
    const DatabaseState stickData = stateOf(stick + QStringLiteral("/DB.mdb"));

    // The product holds its lock; once the backup waits for it, the stick
    // goes and then the lock.
    const bool pullDuringWait =
        situation == Situation::PulledDuringWait || situation == Situation::RemovedDuringWait;
    std::optional<HeldWriteLock> product;
    bool pulled = false;
    QObject waiting; // ends what is still queued when the test ends
    if (pullDuringWait) {
        product.emplace(install().database());
        QVERIFY(product->isHeld() && product->execute("COMMIT; BEGIN EXCLUSIVE"));
        std::function<void()> pullWhenWaiting = [&] {
            if (!LockWaitFeedback::repainting()) {
                QTimer::singleShot(0, &waiting, pullWhenWaiting);
                return;
            }
            pulled = m_mounts->unmount(stick) &&
                     (situation == Situation::PulledDuringWait || QDir().rmdir(stick));
            product.reset();
        };
        QTimer::singleShot(0, &waiting, pullWhenWaiting);
    }
    if (operation == Operation::BackupX86)
        QVERIFY(clickLabel("Label18"));
    else
        QVERIFY(clickButton(backup ? "Command4" : "Command5"));

    QCOMPARE(pulled, pullDuringWait);
    // What the operator was told.
    QString told;
    if (backup && (outcome == Outcome::Nothing || outcome == Outcome::Pulled)) {
        QCOMPARE(boxes.boxes().size(), 1);
        told = boxes.boxes().first().prompt;
        QVERIFY2(told.startsWith(said), qPrintable(told));
        QVERIFY(programEnded());
        QVERIFY(window->label12()->text().isEmpty());
    } else {
        QVERIFY(boxes.boxes().isEmpty());
        QVERIFY(!programEnded());
        QLabel* label = backup ? window->label12() : window->label13();
        QCOMPARE(label->text(), said);
        told = label->toolTip();
        QCOMPARE(label->accessibleDescription(), told);
        QCOMPARE(told.isEmpty(), said != notRestored);
    }
    for (const QString& word : words)
        QVERIFY2(told.contains(word), qPrintable(word + QStringLiteral(" not in: ") + told));
    QVERIFY(saidAsOperatorKnowsIt(told));

    // What changed on disk.
    const FolderState stickAfter = stateOfFolder(stick);
    const FolderState installAfter = stateOfFolder(install().installFolder());
    switch (outcome) {
    case Outcome::Nothing:
        QVERIFY2(stickAfter == stickBefore, qPrintable(differences(stickBefore, stickAfter)));
        QVERIFY2(installAfter == installBefore,
                 qPrintable(differences(installBefore, installAfter)));
        break;
    case Outcome::Pulled:
        QVERIFY2(stickAfter.isEmpty(), qPrintable(differences({}, stickAfter)));
        QVERIFY2(installAfter == installBefore,
                 qPrintable(differences(installBefore, installAfter)));
        break;
    case Outcome::NewBackup: {
        QVERIFY2(installAfter == installBefore,
                 qPrintable(differences(installBefore, installAfter)));
        QCOMPARE(QStringList(stickAfter.keys()), QStringList(stickBefore.keys()));
        for (const QString& name : stickBefore.keys()) {
            if (name != QLatin1String("DB.mdb"))
                QVERIFY2(stickAfter.value(name) == stickBefore.value(name), qPrintable(name));
        }
        const DatabaseState copy = stateOf(stick + QStringLiteral("/DB.mdb"));
        QVERIFY(copy.sound());
        QCOMPARE(copy.content, installData.content);
        break;
    }
    case Outcome::Restored: {
        QVERIFY2(stickAfter == stickBefore, qPrintable(differences(stickBefore, stickAfter)));
        const FileState liveBefore = installBefore.value(QStringLiteral("DB.mdb"));
        const FileState liveAfter = installAfter.value(QStringLiteral("DB.mdb"));
        QCOMPARE(liveAfter.inode, liveBefore.inode);
        QCOMPARE(liveAfter.mode, liveBefore.mode);
        QCOMPARE(stateOf(install().database()).content, stickData.content);
        QCOMPARE(stateOf(install().database() + QStringLiteral(".before-restore")).content,
                 installData.content);
        QCOMPARE(QStringList(installAfter.keys()),
                 (QStringList{QStringLiteral("DB.mdb"), QStringLiteral("DB.mdb.before-restore")}));
        break;
    }
    }
    // The live file is the product's still: the same file, and writable.
    QVERIFY(installAfter.value(QStringLiteral("DB.mdb")).mode & S_IWUSR);
    TempInstall::execute(install().database(),
                         QStringLiteral("insert into list (barcode) values ('after')"));
}

void TestBackupMedia::drivesStartOnTheStick()
{
    // A memory file system mapped as f:, still in, where the desktop mounts a
    // stick: under /media, which in the test's own mount namespace is its own.
    const QString stick = QStringLiteral("/media/operator/STICK");
    QVERIFY(m_mounts->tmpfs(QStringLiteral("/media"), 64 * 1024));
    QVERIFY(m_mounts->tmpfs(stick, 256 * 1024));
    QVERIFY(QFile::link(stick, install().prefix() + QStringLiteral("/dosdevices/f:")));
    startUp();
    export_frm* window = settings();
    QVERIFY(window);
    QCOMPARE(window->drive1()->drive(), QStringLiteral("f:"));
    QCOMPARE(window->drive2()->drive(), QStringLiteral("f:"));
}

// The file operation itself: Qt's save file reports success when its last
// write found the medium full, and would rename a short file into place.
void TestBackupMedia::copyFileOntoFullMedium()
{
    const QString stick = install().prefix() + QStringLiteral("/stick");
    QVERIFY(m_mounts->tmpfs(stick, 128 * 1024));
    QVERIFY(QFile::link(stick, install().prefix() + QStringLiteral("/dosdevices/f:")));
    QFile old(stick + QStringLiteral("/DB.mdb"));
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old backup") == 10);
    old.close();
    QVERIFY(fillVolume(stick, 16 * 1024));
    const FolderState before = stateOfFolder(stick);
    try {
        platform::copyFile(QStringLiteral("c:\\Program Files\\Tavenro\\DB.mdb"),
                           QStringLiteral("f:\\DB.mdb"), true);
        QFAIL("the copy onto a full medium reported success");
    } catch (const platform::Error& e) {
        QCOMPARE(e.number(), int(platform::Error::DiskFull));
        QVERIFY2(e.description().startsWith(QStringLiteral("f:\\DB.mdb")),
                 qPrintable(e.description()));
        QVERIFY(saidAsOperatorKnowsIt(e.description()));
    }
    const FolderState after = stateOfFolder(stick);
    QVERIFY2(after == before, qPrintable(differences(before, after)));
}

QTEST_MAIN(TestBackupMedia)
#include "tst_backup_media.moc"
