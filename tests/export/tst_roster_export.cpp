#include "common/FaultTrace.h"
#include "common/Mounts.h"
#include "common/SeamRecorders.h"
#include "common/TempInstall.h"
#include "db/db.h"
#include "export/RosterExport.h"
#include "platform/Error.h"
#include "platform/FileErrors.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <cstdio>
#include <memory>

Q_DECLARE_METATYPE(RosterLayout)

namespace {

const QString listCsvWindowsPath = QStringLiteral("c:\\Program Files\\Tavenro\\list.csv");

QString insertStudent(const QString& values)
{
    return QStringLiteral("insert into list([barcode],[名前],[kana],[email],[備考]) values (%1);")
        .arg(values);
}

// Replaces the roster table by one whose five exported columns have other
// declared types; the export selects them by name.
QString typedList(const char* barcode, const char* email, const char* remarks)
{
    return QStringLiteral("drop table list; create table list ([barcode] %1, [名前] VARCHAR(50), "
                          "[kana] VARCHAR(50), [email] %2, [備考] %3);")
        .arg(QLatin1String(barcode), QLatin1String(email), QLatin1String(remarks));
}

// count students with barcodes 0001, 0002, …
QString manyStudents(int count)
{
    return QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i "
                          "< %1) insert into list([barcode],[名前],[kana],[email],[備考]) select "
                          "printf('%04d', i), 'N' || i, 'K' || i, 'M' || i, '' from n;")
        .arg(count);
}

QByteArray sj(const char* hex)
{
    return QByteArray::fromHex(hex);
}

} // namespace

class TestRosterExport : public QObject
{
    Q_OBJECT

private:
    void install(const QString& sql)
    {
        m_install->createDatabase(m_install->database(), sql);
        db_open();
    }
    QString listCsv() const { return m_install->installFolder() + QStringLiteral("/list.csv"); }

    std::unique_ptr<TempInstall> m_install;

private Q_SLOTS:
    void init()
    {
        m_install = std::make_unique<TempInstall>();
        QVERIFY(m_install->isValid());
    }
    void cleanup()
    {
        db_reset();
        m_install.reset();
    }

    void writesLayout_data();
    void writesLayout();
    void startsEditorOnCompleteFile();
    void rowBound_data();
    void rowBound();
    void secondExportReplacesFirst();
    void failures_data();
    void failures();
    void writtenWholeBeforeItIsPlaced();
};

void TestRosterExport::writesLayout_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<RosterLayout>("layout");
    QTest::addColumn<QByteArray>("expected");

    const auto check = RosterLayout::Check;
    const auto convert = RosterLayout::Convert;
    const auto bracketed = RosterLayout::ConvertBracketed;
    const QString example = insertStudent(QStringLiteral("'1001','N1','K1','M1',''"));
    const QString nullAddress = insertStudent(QStringLiteral("'1001','N1','K1',NULL,''"));

    QTest::newRow("check_example")
        << example << check << QByteArray("\"1001\",\"N1\",\"K1\",\"M1\",\"\"\r\n");
    QTest::newRow("convert_example")
        << example << convert << QByteArray("\"1001\",\"N1\",\"K1\",\"M1\",\"\",0,1\r\n");
    QTest::newRow("bracketed_example")
        << example << bracketed << QByteArray("\"1001\",\"N1\",\"K1\",\"<M1>\",\"\",0,1\r\n");

    QTest::newRow("check_nullAddress")
        << nullAddress << check << QByteArray("\"1001\",\"N1\",\"K1\",\"\",\"\"\r\n");
    QTest::newRow("convert_nullAddress")
        << nullAddress << convert << QByteArray("\"1001\",\"N1\",\"K1\",\"\",\"\",0,1\r\n");
    QTest::newRow("bracketed_nullAddress")
        << nullAddress << bracketed << QByteArray("\"1001\",\"N1\",\"K1\",\"\",\"\",0,1\r\n");
    QTest::newRow("bracketed_emptyAddress")
        << insertStudent(QStringLiteral("'1001','N1','K1','',''")) << bracketed
        << QByteArray("\"1001\",\"N1\",\"K1\",\"\",\"\",0,1\r\n");
    QTest::newRow("bracketed_singleSpaceAddress")
        << insertStudent(QStringLiteral("'1001','N1','K1',' ',''")) << bracketed
        << QByteArray("\"1001\",\"N1\",\"K1\",\"< >\",\"\",0,1\r\n");
    QTest::newRow("bracketed_addressAlreadyInBrackets")
        << insertStudent(QStringLiteral("'1001','N1','K1','<M1>',''")) << bracketed
        << QByteArray("\"1001\",\"N1\",\"K1\",\"<<M1>>\",\"\",0,1\r\n");
    QTest::newRow("check_everyFieldNull")
        << insertStudent(QStringLiteral("NULL,NULL,NULL,NULL,NULL")) << check
        << QByteArray("\"\",\"\",\"\",\"\",\"\"\r\n");

    const QString integerBarcode = typedList("INTEGER", "VARCHAR(100)", "LONGTEXT") +
                                   insertStudent(QStringLiteral("1001,'N1','K1','M1',''"));
    QTest::newRow("check_integerBarcode")
        << integerBarcode << check << QByteArray("1001,\"N1\",\"K1\",\"M1\",\"\"\r\n");
    QTest::newRow("bracketed_integerBarcode")
        << integerBarcode << bracketed << QByteArray("1001,\"N1\",\"K1\",\"<M1>\",\"\",0,1\r\n");
    QTest::newRow("check_numbersBarePeriodFifteenDigits")
        << typedList("DOUBLE", "INTEGER", "CURRENCY") +
               insertStudent(QStringLiteral("-3,'A','a',-42,1234.5")) +
               insertStudent(QStringLiteral("0.25,'B','b',9007199254740993,0.1 + 0.2")) +
               insertStudent(QStringLiteral("1e20,'C','c',0,-0.125"))
        << check
        << QByteArray("-3,\"A\",\"a\",-42,1234.5\r\n0.25,\"B\",\"b\",9007199254740993,0.3\r\n"
                      "1E+20,\"C\",\"c\",0,-0.125\r\n");
    QTest::newRow("bracketed_numericAddress")
        << typedList("VARCHAR(20)", "INTEGER", "LONGTEXT") +
               insertStudent(QStringLiteral("'1','A','a',0,''")) +
               insertStudent(QStringLiteral("'2','B','b',NULL,''"))
        << bracketed
        << QByteArray("\"1\",\"A\",\"a\",\"<0>\",\"\",0,1\r\n\"2\",\"B\",\"b\",\"\",\"\",0,1\r\n");

    const QString dateTimes =
        typedList("DATETIME", "BIT", "DATETIME") +
        insertStudent(QStringLiteral("'2024-04-01 09:15:00','A','a',1,'14:30:05'")) +
        insertStudent(QStringLiteral("'2024-04-02','B','b',0,'2024-04-02 00:00:00'")) +
        insertStudent(QStringLiteral("'09:30:00','C','c',NULL,'1899-12-30 00:00:00'"));
    QTest::newRow("check_dateTimeAndTrueFalse")
        << dateTimes << check
        << QByteArray("#09:30:00#,\"C\",\"c\",\"\",#00:00:00#\r\n"
                      "#2024-04-01 09:15:00#,\"A\",\"a\",#TRUE#,#14:30:05#\r\n"
                      "#2024-04-02#,\"B\",\"b\",#FALSE#,#2024-04-02#\r\n");
    QTest::newRow("bracketed_trueFalseAddress")
        << dateTimes << bracketed
        << QByteArray("#09:30:00#,\"C\",\"c\",\"\",#00:00:00#,0,1\r\n"
                      "#2024-04-01 09:15:00#,\"A\",\"a\",\"<TRUE>\",#14:30:05#,0,1\r\n"
                      "#2024-04-02#,\"B\",\"b\",\"<FALSE>\",#2024-04-02#,0,1\r\n");

    QTest::newRow("check_nameWithDoubleQuote")
        << insertStudent(QStringLiteral("'1001','O\"Brien','K1','M1',''")) << check
        << QByteArray("\"1001\",\"O\"Brien\",\"K1\",\"M1\",\"\"\r\n");
    QTest::newRow("check_nameWithComma")
        << insertStudent(QStringLiteral("'1001','Sato, Ken','K1','M1',''")) << check
        << QByteArray("\"1001\",\"Sato, Ken\",\"K1\",\"M1\",\"\"\r\n");
    QTest::newRow("check_windowsCodePageCharacters")
        << insertStudent(QStringLiteral("'1001','～①髙','∥－￠№㈱纊ⅰ','M1','ｶﾅ'")) << check
        << QByteArray("\"1001\",\"") + sj("81608740fbfc") + "\",\"" +
               sj("8161817c81918782878afa5cfa40") + "\",\"M1\",\"" + sj("b6c5") + "\"\r\n";
    QTest::newRow("convert_emojiAndHangulBecomeQuestionMarks")
        << insertStudent(QStringLiteral("'1001','A😀B','K1','M1','한국'")) << convert
        << QByteArray("\"1001\",\"A??B\",\"K1\",\"M1\",\"??\",0,1\r\n");
    QTest::newRow("check_foreignNameWrittenWithBestFit")
        << insertStudent(QStringLiteral("'1001','José','ﾎｾ','M1','¥500'")) << check
        << QByteArray("\"1001\",\"Jose\",\"") + sj("cebe") + "\",\"M1\",\"\\500\"\r\n";
    QTest::newRow("check_orderedByBarcodeAsText")
        << insertStudent(QStringLiteral("'9','C','c','',''")) +
               insertStudent(QStringLiteral("'10','A','a','',''")) +
               insertStudent(QStringLiteral("'100','B','b','',''"))
        << check
        << QByteArray("\"10\",\"A\",\"a\",\"\",\"\"\r\n\"100\",\"B\",\"b\",\"\",\"\"\r\n"
                      "\"9\",\"C\",\"c\",\"\",\"\"\r\n");

    QTest::newRow("bracketed_emptyRoster") << QString() << bracketed << QByteArray();
}

void TestRosterExport::writesLayout()
{
    QFETCH(QString, sql);
    QFETCH(RosterLayout, layout);
    QFETCH(QByteArray, expected);
    install(sql);
    ShellRecorder shell;

    exportRoster(layout);

    QCOMPARE(TempInstall::readAll(listCsv()), expected);
    QVERIFY(QFileInfo::exists(listCsv()));
    QCOMPARE(shell.starts().size(), 1);
}

void TestRosterExport::startsEditorOnCompleteFile()
{
    install(insertStudent(QStringLiteral("'1001','N1','K1','M1',''")));
    QString commandLine;
    int style = -1;
    QByteArray fileAtStart;
    platform::ScopedSeams seams;
    seams.setProgramStart([&](const QString& line, int windowStyle) {
        commandLine = line;
        style = windowStyle;
        fileAtStart = TempInstall::readAll(listCsv());
        return qint64(1);
    });

    exportRoster(RosterLayout::Convert);

    QCOMPARE(commandLine, QStringLiteral("notepad.exe c:\\Program Files\\Tavenro\\list.csv"));
    QCOMPARE(style, 1);
    QCOMPARE(fileAtStart, QByteArray("\"1001\",\"N1\",\"K1\",\"M1\",\"\",0,1\r\n"));
    QCOMPARE(db_sql, QStringLiteral("select [barcode],[名前],[kana],[email],[備考] from list "
                                    "order by [barcode]"));
}

void TestRosterExport::rowBound_data()
{
    QTest::addColumn<int>("students");
    QTest::addColumn<int>("expectedError");
    QTest::addColumn<int>("expectedLines");

    QTest::newRow("800 students fit") << 800 << 0 << 800;
    QTest::newRow("801st student overflows the table")
        << 801 << int(platform::Error::SubscriptOutOfRange) << 0;
}

void TestRosterExport::rowBound()
{
    QFETCH(int, students);
    QFETCH(int, expectedError);
    QFETCH(int, expectedLines);
    install(manyStudents(students));
    {
        QFile old(listCsv());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old roster\r\n");
    }
    ShellRecorder shell;

    int error = 0;
    try {
        exportRoster(RosterLayout::Convert);
    } catch (const platform::Error& e) {
        error = e.number();
    }

    QCOMPARE(error, expectedError);
    const QByteArray written = TempInstall::readAll(listCsv());
    QCOMPARE(written.count("\r\n"), expectedLines);
    if (expectedLines > 0) {
        QVERIFY(written.startsWith("\"0001\",\"N1\",\"K1\",\"M1\",\"\",0,1\r\n"));
        QVERIFY(written.endsWith("\"0800\",\"N800\",\"K800\",\"M800\",\"\",0,1\r\n"));
    }
    QCOMPARE(shell.starts().size(), expectedError ? 0 : 1);
    if (!expectedError)
        return;

    // The failed read left nothing open: the same error again, and once the
    // product has taken a student away, a whole roster.
    QVERIFY_THROWS_EXCEPTION(platform::Error, exportRoster(RosterLayout::Convert));
    QCOMPARE(TempInstall::readAll(listCsv()), QByteArray());
    TempInstall::execute(m_install->database(),
                         QStringLiteral("delete from list where [barcode] = '0801'"));
    exportRoster(RosterLayout::Convert);
    QCOMPARE(TempInstall::readAll(listCsv()).count("\r\n"), 800);
}

void TestRosterExport::secondExportReplacesFirst()
{
    install(manyStudents(3));
    ShellRecorder shell;
    exportRoster(RosterLayout::ConvertBracketed);
    TempInstall::execute(m_install->database(),
                         QStringLiteral("delete from list where [barcode] <> '0002'"));

    exportRoster(RosterLayout::Check);

    QCOMPARE(TempInstall::readAll(listCsv()), QByteArray("\"0002\",\"N2\",\"K2\",\"M2\",\"\"\r\n"));
    QCOMPARE(shell.starts().size(), 2);
}

namespace {

enum class Setup
{
    MissingFolder,
    ReadOnlyFile,
    FileIsFolder,
    DiskFull,
    // The install folder is a small volume of its own, filled to the row's
    // free bytes, or made read-only.
    FullVolume,
    ReadOnlyVolume,
    QueryFails,
    EditorMissing
};

} // namespace

Q_DECLARE_METATYPE(Setup)

void TestRosterExport::failures_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<int>("expectedError");
    QTest::addColumn<QByteArray>("fileAfter");
    QTest::addColumn<bool>("editorTried");
    QTest::addColumn<qint64>("freeBytes");

    const QByteArray old("old roster\r\n");
    const QByteArray complete("\"1001\",\"N1\",\"K1\",\"M1\",\"\"\r\n");
    QTest::newRow("install folder missing (product under x86)")
        << Setup::MissingFolder << int(platform::Error::PathNotFound) << QByteArray() << false
        << qint64(-1);
    QTest::newRow("list.csv read-only keeps its content")
        << Setup::ReadOnlyFile << int(platform::Error::PermissionDenied) << old << false
        << qint64(-1);
    QTest::newRow("list.csv is a folder")
        << Setup::FileIsFolder << int(platform::Error::PermissionDenied) << QByteArray() << false
        << qint64(-1);
    QTest::newRow("disk full is not reported as success")
        << Setup::DiskFull << int(platform::Error::DiskFull) << QByteArray() << false << qint64(-1);
    QTest::newRow("query fails after the file was emptied")
        << Setup::QueryFails << int(platform::Error::Engine) << QByteArray() << false << qint64(-1);
    QTest::newRow("editor not startable, file complete")
        << Setup::EditorMissing << int(platform::Error::FileNotFound) << complete << true
        << qint64(-1);
    // The roster (800 students, some 27 KB) does not fit: whatever part went
    // out is taken back, so the file is never a short roster.
    QTest::newRow("full volume, no byte free: list.csv left empty, not short")
        << Setup::FullVolume << int(platform::Error::DiskFull) << QByteArray() << false
        << qint64(0);
    QTest::newRow("full volume, 8 KB free: list.csv left empty, not short")
        << Setup::FullVolume << int(platform::Error::DiskFull) << QByteArray() << false
        << qint64(8192);
    QTest::newRow("read-only volume keeps list.csv")
        << Setup::ReadOnlyVolume << int(platform::Error::PermissionDenied) << old << false
        << qint64(-1);
}

void TestRosterExport::failures()
{
    QFETCH(Setup, setup);
    QFETCH(int, expectedError);
    QFETCH(QByteArray, fileAfter);
    QFETCH(bool, editorTried);
    QFETCH(qint64, freeBytes);

    std::unique_ptr<Mounts> volume;
    if (setup == Setup::FullVolume || setup == Setup::ReadOnlyVolume) {
        if (!Mounts::whyNot().isEmpty())
            QSKIP(qPrintable(Mounts::whyNot()));
        volume = std::make_unique<Mounts>();
        QVERIFY(volume->tmpfs(m_install->installFolder(), 1024 * 1024));
    }
    const QString student = setup == Setup::FullVolume
                                ? manyStudents(800)
                                : insertStudent(QStringLiteral("'1001','N1','K1','M1',''"));
    if (setup == Setup::MissingFolder || volume) {
        // A volume's database lies in the twin folder, so that nothing the
        // engine holds open keeps the volume from going read-only.
        m_install->createDatabase(m_install->databaseX86(), student);
        db_open();
    }
    if (setup != Setup::MissingFolder) {
        if (!volume)
            install(setup == Setup::QueryFails ? QStringLiteral("drop table list;") : student);
        QFile old(listCsv());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old roster\r\n");
    }
    ShellRecorder shell;
    switch (setup) {
    case Setup::ReadOnlyFile:
        QVERIFY(QFile::setPermissions(listCsv(),
                                      QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        break;
    case Setup::FileIsFolder:
        QVERIFY(QFile::remove(listCsv()));
        QVERIFY(QDir().mkpath(listCsv()));
        break;
    case Setup::DiskFull:
        if (!QFileInfo::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full on this machine");
        QVERIFY(QFile::remove(listCsv()));
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), listCsv()));
        break;
    case Setup::FullVolume:
        QVERIFY(fillVolume(m_install->installFolder(), freeBytes));
        break;
    case Setup::ReadOnlyVolume:
        QVERIFY(volume->remountReadOnly(m_install->installFolder()));
        break;
    case Setup::EditorMissing:
        shell.failNext();
        break;
    default:
        break;
    }

    try {
        exportRoster(RosterLayout::Check);
        QFAIL("the export reported success");
    } catch (const platform::Error& e) {
        QCOMPARE(e.number(), expectedError);
        if (setup != Setup::QueryFails && setup != Setup::EditorMissing)
            QVERIFY2(e.description().contains(listCsvWindowsPath), qPrintable(e.description()));
        // The operator is told why in Japanese, as the runtime numbers it,
        // never in the system's English.
        if (volume)
            QVERIFY2(e.description().contains(
                         platform::fileFailure(setup == Setup::FullVolume ? ENOSPC : EROFS).reason),
                     qPrintable(e.description()));
    }
    db_reset();

    if (setup != Setup::FileIsFolder && setup != Setup::DiskFull)
        QCOMPARE(TempInstall::readAll(listCsv()), fileAfter);
    if (setup == Setup::MissingFolder)
        QVERIFY(!QFileInfo::exists(listCsv()));
    QCOMPARE(shell.starts().size(), editorTried ? 1 : 0);
}

// The flush order of an export, as the fault shim sees it in a process of its
// own (main's "--export").
void TestRosterExport::writtenWholeBeforeItIsPlaced()
{
    install(insertStudent(QStringLiteral("'1001','N1','K1','M1',''")));
    db_reset();

    const TracedRun run = runTraced(QCoreApplication::applicationFilePath(),
                                    {QStringLiteral("--export")}, m_install->installFolder());

    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QCOMPARE(flushOrderFault(run.ops, QStringLiteral("list.csv")), QString());
    QCOMPARE(TempInstall::readAll(listCsv()), QByteArray("\"1001\",\"N1\",\"K1\",\"M1\",\"\"\r\n"));
}

namespace {

// "--export": the check layout exported once, with nothing started after it;
// exit 0 when it was written.
int exportOnce(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    platform::ScopedSeams seams;
    seams.setProgramStart([](const QString&, int) { return qint64(1); });
    try {
        db_open();
        exportRoster(RosterLayout::Check);
        return 0;
    } catch (const platform::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--export") == 0)
        return exportOnce(argc, argv);
    QCoreApplication app(argc, argv);
    TestRosterExport test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_roster_export.moc"
