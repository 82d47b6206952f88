#include "common/TempInstall.h"
#include "common/ThrowsNaming.h"
#include "engine/Command.h"
#include "engine/Connection.h"
#include "engine/DatabaseFormat.h"
#include "engine/Recordset.h"
#include "platform/Error.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>
#include <atomic>
#include <sqlite3.h>
#include <thread>

using engine::DateTime;
using engine::Value;

Q_DECLARE_METATYPE(engine::Value)

namespace {

QString connectionString(const QString& dataSource)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + dataSource;
}

QString installSource()
{
    return connectionString(QStringLiteral("c:\\Program Files\\Tavenro\\DB.mdb"));
}

} // namespace

class TestConnection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { engine::Connection::setBusyTimeout(5000); }
    void typedValues_data();
    void typedValues();
    void relativeDataSourceIsTheCurrentDirectory();
    void openFailures_data();
    void openFailures();
    void closedConnectionFailsClearly();
    void readOnlyMode_data();
    void readOnlyMode();
    void recordsetReadsOnceToTheEnd();
    void commandRefusesSecondStatement();
    void concurrentWriterDoesNotFailStatements();
    void heldLockFailsAfterBoundedWait();
    void lockLetGoWithinTheWaitIsWaitedFor_data();
    void lockLetGoWithinTheWaitIsWaitedFor();
    void laterWaitIsBoundedFromItsOwnStart();
    void transactionRollsBack();
    void snapshotLeavesOutUncommittedRows_data();
    void snapshotLeavesOutUncommittedRows();
    void replaceKeepsOtherConnectionsWorking();
    void replaceFromBadFileChangesNothing();
    void keepsItsWalLockBesideOtherOpens_data();
    void keepsItsWalLockBesideOtherOpens();
};

void TestConnection::typedValues_data()
{
    QTest::addColumn<QString>("declared");
    QTest::addColumn<QString>("stored"); // an SQL literal
    QTest::addColumn<Value>("expected");

    const QDate zero(1899, 12, 30);
    QTest::newRow("text") << "VARCHAR(50)"
                          << "'佐藤 花子'" << Value(QStringLiteral("佐藤 花子"));
    QTest::newRow("text-looks-numeric") << "VARCHAR(20)"
                                        << "'1001'" << Value(QStringLiteral("1001"));
    QTest::newRow("memo") << "LONGTEXT"
                          << "''" << Value(QString());
    QTest::newRow("text-null") << "VARCHAR(20)"
                               << "NULL" << Value(engine::Null{});
    QTest::newRow("integer") << "INTEGER"
                             << "1001" << Value(qint64(1001));
    QTest::newRow("integer-negative") << "LONG"
                                      << "-7" << Value(qint64(-7));
    QTest::newRow("integer-holding-text") << "INTEGER"
                                          << "'abc'" << Value(QStringLiteral("abc"));
    QTest::newRow("integer-null") << "INTEGER"
                                  << "NULL" << Value(engine::Null{});
    QTest::newRow("double") << "DOUBLE"
                            << "2.5" << Value(2.5);
    QTest::newRow("currency-whole") << "CURRENCY"
                                    << "3" << Value(3.0);
    QTest::newRow("datetime") << "DATETIME"
                              << "'2024-04-01 09:15:00'"
                              << Value(DateTime{QDate(2024, 4, 1), QTime(9, 15, 0)});
    QTest::newRow("date-only") << "DATETIME"
                               << "'2024-04-01'" << Value(DateTime{QDate(2024, 4, 1), QTime(0, 0)});
    QTest::newRow("time-only") << "DATETIME"
                               << "'10:02:00'" << Value(DateTime{zero, QTime(10, 2, 0)});
    QTest::newRow("ole-date-number")
        << "DATETIME"
        << "45383.5" << Value(DateTime{QDate(2024, 4, 1), QTime(12, 0)});
    QTest::newRow("ole-date-number-out-of-range") << "DATETIME"
                                                  << "1e300" << Value(1e300);
    QTest::newRow("date-unparsable") << "DATETIME"
                                     << "'someday'" << Value(QStringLiteral("someday"));
    QTest::newRow("date-null") << "DATETIME"
                               << "NULL" << Value(engine::Null{});
    QTest::newRow("yesno-true") << "BIT"
                                << "-1" << Value(true);
    QTest::newRow("yesno-false") << "YESNO"
                                 << "0" << Value(false);
    QTest::newRow("boolean-text") << "BOOLEAN"
                                  << "'True'" << Value(true);
    QTest::newRow("untyped-integer") << ""
                                     << "5" << Value(qint64(5));
    QTest::newRow("untyped-text") << ""
                                  << "'x'" << Value(QStringLiteral("x"));
}

void TestConnection::typedValues()
{
    QFETCH(QString, declared);
    QFETCH(QString, stored);
    QFETCH(Value, expected);

    TempInstall install;
    install.createDatabase(
        install.database(),
        QStringLiteral("create table t (v %1); insert into t values (%2);").arg(declared, stored));
    engine::Connection connection;
    connection.open(installSource());
    engine::Recordset rs;
    rs.setActiveConnection(&connection);
    rs.setSource(QStringLiteral("select v from t"));
    rs.open();
    QVERIFY(!rs.eof());
    const Value actual = rs.field(0);
    QVERIFY2(actual == expected,
             qPrintable(engine::describe(actual) + " != " + engine::describe(expected)));
}

void TestConnection::relativeDataSourceIsTheCurrentDirectory()
{
    TempInstall install;
    install.createDatabase(install.database(),
                           QStringLiteral("insert into list(barcode) values('here')"));
    const QString saved = QDir::currentPath();
    QDir::setCurrent(install.installFolder());
    engine::Connection connection;
    connection.open(connectionString(QStringLiteral("DB.mdb")) +
                    QStringLiteral(";Mode=ReadWrite;Persist Security Info=False"));
    QDir::setCurrent(saved);
    QCOMPARE(QFileInfo(connection.filePath()).canonicalFilePath(),
             QFileInfo(install.database()).canonicalFilePath());
    engine::Recordset rs;
    rs.setActiveConnection(&connection);
    rs.setSource(QStringLiteral("select barcode from list"));
    rs.open();
    QCOMPARE(rs.field(0), Value(QStringLiteral("here")));
}

void TestConnection::openFailures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("connectionString");
    QTest::addColumn<QStringList>("named");

    QTest::newRow("no-data-source")
        << "none"
        << "Provider=Microsoft.Jet.OLEDB.4.0;" << QStringList{QStringLiteral("Data Source")};
    QTest::newRow("file-missing")
        << "none" << connectionString(QStringLiteral("c:\\Program Files (x86)\\Tavenro\\DB.mdb"))
        << QStringList{QStringLiteral("c:\\Program Files (x86)\\Tavenro\\DB.mdb")};
    QTest::newRow("drive-not-mapped") << "none" << connectionString(QStringLiteral("q:\\DB.mdb"))
                                      << QStringList{QStringLiteral("q:\\DB.mdb")};
    QTest::newRow("jet-signature-then-garbage")
        << "jet" << installSource() << QStringList{QStringLiteral("DB.mdb")};
    QTest::newRow("garbage-file") << "garbage" << installSource()
                                  << QStringList{QStringLiteral("DB.mdb"),
                                                 QStringLiteral("not a database")};
}

void TestConnection::openFailures()
{
    QFETCH(QString, kind);
    QFETCH(QString, connectionString);
    QFETCH(QStringList, named);
    TempInstall install;
    QDir().mkpath(install.installFolder());
    if (kind != QLatin1String("none")) {
        QFile f(install.database());
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (kind == QLatin1String("jet"))
            f.write(QByteArray(4, '\0') + QByteArray("Standard Jet DB"));
        f.write(QByteArray(4096, '\x5a'));
    }
    engine::Connection connection;
    QVERIFY(throwsNaming([&] { connection.open(connectionString); }, named));
    QVERIFY(!connection.isOpen());
}

void TestConnection::closedConnectionFailsClearly()
{
    engine::Connection connection;
    const QStringList closed{QStringLiteral("接続が開いていません")};
    QVERIFY(throwsNaming([&] { connection.close(); }, {QStringLiteral("閉じることができません")}));

    engine::Recordset rs;
    rs.setActiveConnection(&connection);
    rs.setSource(QStringLiteral("select * from list"));
    QVERIFY(throwsNaming([&] { rs.open(); },
                         closed + QStringList{QStringLiteral("select * from list")}));
    QVERIFY(!rs.isOpen());

    engine::Command cmd;
    cmd.setActiveConnection(&connection);
    cmd.setCommandText(QStringLiteral("delete from list"));
    QVERIFY(throwsNaming([&] { cmd.execute(); },
                         closed + QStringList{QStringLiteral("delete from list")}));
}

void TestConnection::readOnlyMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("read") << int(engine::Connection::ModeRead);
    QTest::newRow("read, others may write")
        << (engine::Connection::ModeRead | engine::Connection::ModeShareDenyNone);
}

void TestConnection::readOnlyMode()
{
    QFETCH(int, mode);
    TempInstall install;
    install.createDatabase(install.database());
    engine::Connection connection;
    connection.setMode(mode);
    connection.open(installSource());
    engine::Command cmd;
    cmd.setActiveConnection(&connection);
    cmd.setCommandText(QStringLiteral("delete from list"));
    QVERIFY(throwsNaming([&] { cmd.execute(); }, {QStringLiteral("delete from list")}));
    QVERIFY(throwsNaming([&] { connection.setMode(16); }, {QStringLiteral("モード")}));

    // Others may write: what they commit is read, not what was read before.
    engine::Recordset rs;
    rs.setActiveConnection(&connection);
    auto rows = [&] {
        rs.setSource(QStringLiteral("select count(*) from list"));
        rs.open();
        const Value n = rs.field(0);
        rs.close();
        return n;
    };
    QCOMPARE(rows(), Value(qint64(0)));
    TempInstall::execute(install.database(),
                         QStringLiteral("insert into list(barcode) values('1')"));
    QCOMPARE(rows(), Value(qint64(1)));
}

void TestConnection::recordsetReadsOnceToTheEnd()
{
    TempInstall install;
    install.createDatabase(install.database(),
                           QStringLiteral("insert into list(barcode) values('b'),('a');"));
    engine::Connection connection;
    connection.open(installSource());
    engine::Recordset rs;
    rs.setActiveConnection(&connection);

    rs.setSource(QStringLiteral("select barcode from list where 0"));
    rs.open();
    QVERIFY(rs.eof());
    rs.close();

    rs.setSource(QStringLiteral("select barcode, kana from list order by barcode"));
    rs.open();
    QVERIFY(throwsNaming([&] { rs.open(); }, {QStringLiteral("すでに開いています")}));
    QCOMPARE(rs.fieldCount(), 2);
    QCOMPARE(rs.fieldName(1), QStringLiteral("kana"));
    QCOMPARE(rs.field(0), Value(QStringLiteral("a")));
    QVERIFY(throwsNaming([&] { rs.field(2); }, {QStringLiteral("項目")}));
    rs.moveNext();
    QCOMPARE(rs.field(0), Value(QStringLiteral("b")));
    rs.moveNext();
    QVERIFY(rs.eof());
    QVERIFY_THROWS_EXCEPTION(platform::Error, rs.field(0));
    rs.close();
    QVERIFY_THROWS_EXCEPTION(platform::Error, rs.eof());
}

void TestConnection::commandRefusesSecondStatement()
{
    TempInstall install;
    install.createDatabase(install.database(),
                           QStringLiteral("insert into list(barcode) values('1')"));
    engine::Connection connection;
    connection.open(installSource());
    engine::Command cmd;
    cmd.setActiveConnection(&connection);
    cmd.setCommandText(QStringLiteral("update list set kana='x'; delete from list"));
    QVERIFY_THROWS_EXCEPTION(platform::Error, cmd.execute());
    QCOMPARE(TempInstall::query(install.database(), QStringLiteral("select kana from list")),
             QStringList{QStringLiteral("NULL")});

    cmd.setCommandText(QStringLiteral("update lst set kana='x'"));
    QVERIFY(throwsNaming([&] { cmd.execute(); }, {QStringLiteral("update lst set kana='x'"),
                                                  QStringLiteral("no such table")}));
    cmd.setCommandText(QStringLiteral("update list set kana='y';"));
    QCOMPARE(cmd.execute(), 1);
}

void TestConnection::concurrentWriterDoesNotFailStatements()
{
    TempInstall install;
    install.createDatabase(install.database(),
                           QStringLiteral("insert into list(barcode,[状況]) values('1','入室')"));
    const QByteArray file = QFile::encodeName(install.database());

    // Another program appends to the history meanwhile, a row every
    // millisecond: far faster than cards are scanned.
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::thread writer([&] {
        sqlite3* other = nullptr;
        sqlite3_open_v2(file.constData(), &other, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(other, 5000);
        while (!stop) {
            if (sqlite3_exec(other,
                             "insert into log values ('2024-04-01','10:00:00','入室','x',NULL)",
                             nullptr, nullptr, nullptr) == SQLITE_OK)
                ++written;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        sqlite3_close(other);
    });

    engine::Connection connection;
    connection.open(installSource());
    engine::Recordset rs;
    rs.setActiveConnection(&connection);
    engine::Command cmd;
    cmd.setActiveConnection(&connection);
    int failures = 0;
    QString firstFailure;
    QElapsedTimer timer;
    timer.start();
    int rounds = 0;
    while (timer.elapsed() < 1500 || rounds < 20) {
        try {
            rs.setSource(QStringLiteral("select count(*) from log"));
            rs.open();
            rs.close();
            cmd.setCommandText(QStringLiteral("update list set [状況]= '空き'"));
            cmd.execute();
        } catch (const platform::Error& e) {
            if (rs.isOpen())
                rs.close();
            if (!failures++)
                firstFailure = e.description();
        }
        ++rounds;
    }
    stop = true;
    writer.join();
    QVERIFY2(failures == 0, qPrintable(firstFailure));
    QVERIFY(written > 0);
}

void TestConnection::heldLockFailsAfterBoundedWait()
{
    TempInstall install;
    install.createDatabase(install.database(),
                           QStringLiteral("insert into list(barcode) values('1')"));
    engine::Connection::setBusyTimeout(300);
    engine::Connection connection;
    connection.open(installSource());

    auto lock = std::make_unique<HeldWriteLock>(install.database());
    QVERIFY(lock->isHeld());

    engine::Command cmd;
    cmd.setActiveConnection(&connection);
    cmd.setCommandText(QStringLiteral("delete from list"));
    QElapsedTimer timer;
    timer.start();
    const bool named = throwsNaming([&] { cmd.execute(); },
                                    {QStringLiteral("ロック"), QStringLiteral("delete from list")});
    const qint64 waited = timer.elapsed();
    // Told apart from a damaged file, so a caller can say "try again later".
    platform::Error::Cause cause = platform::Error::Cause::Other;
    int number = 0;
    QString description;
    try {
        cmd.execute();
    } catch (const platform::Error& e) {
        cause = e.cause();
        number = e.number();
        description = e.description();
    }
    lock.reset();
    QVERIFY(named);
    QCOMPARE(cause, platform::Error::Cause::LockTimeout);
    // As Windows says a file another program holds, naming it as the
    // operator knows it, in Japanese only.
    QCOMPARE(number, int(platform::Error::PermissionDenied));
    QVERIFY2(description.contains(QStringLiteral("c:\\Program Files\\Tavenro\\DB.mdb")) &&
                 !description.contains(QStringLiteral("database is locked")),
             qPrintable(description));
    QVERIFY2(waited >= 250 && waited < 5000, qPrintable(QString::number(waited)));
    QCOMPARE(TempInstall::query(install.database(), QStringLiteral("select count(*) from list")),
             QStringList{QStringLiteral("1")});
}

void TestConnection::lockLetGoWithinTheWaitIsWaitedFor_data()
{
    QTest::addColumn<bool>("replace"); // else a statement
    QTest::newRow("statement") << false;
    QTest::newRow("replace") << true;
}

void TestConnection::lockLetGoWithinTheWaitIsWaitedFor()
{
    QFETCH(bool, replace);
    TempInstall install;
    install.createDatabase(install.database(),
                           QStringLiteral("insert into list(barcode) values('1')"));
    const QString replacement =
        install.createDatabase(install.driveC() + QStringLiteral("/new.mdb"));
    engine::Connection connection;
    connection.open(installSource());
    engine::Command cmd;
    cmd.setActiveConnection(&connection);
    cmd.setCommandText(QStringLiteral("delete from list"));

    // The product holds its lock for about a second, well within the wait.
    auto lock = std::make_unique<HeldWriteLock>(install.database());
    QVERIFY(lock->isHeld());
    std::thread product([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        lock.reset();
    });
    QElapsedTimer timer;
    timer.start();
    QString failure;
    try {
        if (replace)
            connection.replaceFrom(replacement);
        else
            cmd.execute();
    } catch (const platform::Error& e) {
        failure = e.description();
    }
    const qint64 waited = timer.elapsed();
    product.join();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY2(waited >= 900, qPrintable(QString::number(waited)));
    QCOMPARE(TempInstall::query(install.database(), QStringLiteral("select count(*) from list")),
             QStringList{QStringLiteral("0")});
}

namespace {

std::unique_ptr<HeldWriteLock> g_productLock;

} // namespace

// A wait long into the connection's life, after an earlier one, is bounded
// from its own start, not the first's. The product lets go of its lock as
// soon as the tool is seen waiting, so no wait here comes near its bound.
void TestConnection::laterWaitIsBoundedFromItsOwnStart()
{
    TempInstall install;
    install.createDatabase(install.database(),
                           QStringLiteral("insert into list(barcode) values('1')"));
    engine::Connection::setBusyTimeout(50);
    engine::Connection connection;
    connection.open(installSource());
    engine::Command cmd;
    cmd.setActiveConnection(&connection);
    cmd.setCommandText(QStringLiteral("delete from list"));
    engine::Connection::setLockWaitHook([] { g_productLock.reset(); });
    QString failure;
    int waits = 0;
    for (; waits < 2 && failure.isEmpty(); ++waits) {
        if (waits > 0)
            QTest::qSleep(100); // past the bound of the first wait
        g_productLock = std::make_unique<HeldWriteLock>(install.database());
        if (!g_productLock->isHeld())
            break;
        try {
            cmd.execute();
        } catch (const platform::Error& e) {
            failure = e.description();
        }
    }
    engine::Connection::setLockWaitHook(nullptr);
    const bool neverLetGo = g_productLock != nullptr;
    g_productLock.reset();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(waits, 2);
    QVERIFY(!neverLetGo);
}

void TestConnection::transactionRollsBack()
{
    TempInstall install;
    install.createDatabase(install.database(),
                           QStringLiteral("insert into list(barcode) values('1')"));
    engine::Connection connection;
    connection.open(installSource());
    engine::Command cmd;
    cmd.setActiveConnection(&connection);
    connection.beginTrans();
    cmd.setCommandText(QStringLiteral("delete from list"));
    cmd.execute();
    connection.rollbackTrans();
    QCOMPARE(TempInstall::query(install.database(), QStringLiteral("select count(*) from list")),
             QStringList{QStringLiteral("1")});
    connection.beginTrans();
    cmd.execute();
    connection.commitTrans();
    QCOMPARE(TempInstall::query(install.database(), QStringLiteral("select count(*) from list")),
             QStringList{QStringLiteral("0")});
}

void TestConnection::snapshotLeavesOutUncommittedRows_data()
{
    QTest::addColumn<QString>("journalMode");
    QTest::newRow("rollback journal") << "delete";
    QTest::newRow("wal") << "wal";
}

void TestConnection::snapshotLeavesOutUncommittedRows()
{
    QFETCH(QString, journalMode);
    TempInstall install;
    install.createDatabase(install.database(),
                           QStringLiteral("PRAGMA journal_mode=%1;"
                                          "insert into list(barcode) values('1');")
                               .arg(journalMode));
    engine::Connection connection;
    connection.open(installSource());

    // The product is half-way through a change when the snapshot is taken:
    // the copy holds what was committed, whole.
    HeldWriteLock writer(install.database());
    QVERIFY(writer.isHeld());
    QVERIFY(writer.execute("insert into list(barcode) values('uncommitted')"));
    const QString copy = install.driveC() + QStringLiteral("/copy.mdb");
    connection.snapshotTo(copy);

    QCOMPARE(TempInstall::query(copy, QStringLiteral("PRAGMA integrity_check")),
             QStringList{QStringLiteral("ok")});
    QCOMPARE(TempInstall::query(copy, QStringLiteral("select barcode from list")),
             QStringList{QStringLiteral("1")});
    // One self-contained file, whatever the source's journal mode.
    QCOMPARE(TempInstall::query(copy, QStringLiteral("PRAGMA journal_mode")),
             QStringList{QStringLiteral("delete")});
    QVERIFY(!QFile::exists(copy + QStringLiteral("-wal")));
}

void TestConnection::replaceKeepsOtherConnectionsWorking()
{
    TempInstall install;
    install.createDatabase(install.database(),
                           QStringLiteral("insert into list(barcode) values('old')"));
    const QString replacement =
        install.createDatabase(install.driveC() + QStringLiteral("/new.mdb"),
                               QStringLiteral("insert into list(barcode) values('new1');"
                                              "insert into list(barcode) values('new2');"));
    engine::Connection connection;
    connection.open(installSource());
    // Another program opened the file before and keeps it open throughout.
    engine::Connection product;
    product.open(installSource());
    engine::Recordset rs;
    rs.setActiveConnection(&product);
    rs.setSource(QStringLiteral("select count(*) from list"));
    rs.open();
    rs.close();

    connection.replaceFrom(replacement);

    rs.open();
    QCOMPARE(rs.field(0), Value(qint64(2)));
    rs.close();
    engine::Command insert;
    insert.setActiveConnection(&product);
    insert.setCommandText(QStringLiteral("insert into list(barcode) values('after')"));
    QCOMPARE(insert.execute(), 1);
    QCOMPARE(
        TempInstall::query(install.database(),
                           QStringLiteral("select barcode from list order by barcode")),
        (QStringList{QStringLiteral("after"), QStringLiteral("new1"), QStringLiteral("new2")}));
}

void TestConnection::replaceFromBadFileChangesNothing()
{
    TempInstall install;
    install.createDatabase(install.database(),
                           QStringLiteral("insert into list(barcode) values('old')"));
    const QString bad = install.driveC() + QStringLiteral("/bad.mdb");
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(8192, 'x'));
    f.close();
    const QByteArray before = TempInstall::readAll(install.database());
    engine::Connection connection;
    connection.open(installSource());
    QVERIFY(throwsNaming([&] { connection.replaceFrom(bad); }, {bad}));
    QCOMPARE(TempInstall::readAll(install.database()), before);
}

void TestConnection::keepsItsWalLockBesideOtherOpens_data()
{
    QTest::addColumn<bool>("secondConnection");
    QTest::newRow("another connection opened and closed") << true;
    QTest::newRow("the file's format read") << false;
}

// An open connection in WAL mode holds a shared lock that keeps another
// program from taking the database out of WAL mode, checkpointing it and
// removing -wal and -shm under it; the tool's later writes would then go to a
// -wal that is no longer the file's. Whatever else the tool opens on the file
// must leave that lock in place.
void TestConnection::keepsItsWalLockBesideOtherOpens()
{
    QFETCH(bool, secondConnection);
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (shell.isEmpty())
        QSKIP("the sqlite3 shell is needed as the other program");
    TempInstall install;
    install.createDatabase(install.database(), QStringLiteral("PRAGMA journal_mode=wal;"));
    engine::Connection connection;
    connection.open(installSource());
    engine::Command insert;
    insert.setActiveConnection(&connection);
    insert.setCommandText(QStringLiteral("insert into list(barcode) values('1')"));
    QCOMPARE(insert.execute(), 1);

    if (secondConnection) {
        engine::Connection other;
        other.open(installSource());
        other.close();
    } else {
        QCOMPARE(engine::detectDatabaseFormat(install.database()), engine::DatabaseFormat::Sqlite);
    }

    QProcess product;
    product.start(shell, {QStringLiteral("-cmd"), QStringLiteral(".timeout 100"),
                          install.database(), QStringLiteral("PRAGMA journal_mode=DELETE")});
    QVERIFY(product.waitForFinished(10000));
    const QByteArray said = product.readAllStandardOutput() + product.readAllStandardError();
    QVERIFY2(said.contains("locked"), said.constData());
    QCOMPARE(insert.execute(), 1);
}

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
