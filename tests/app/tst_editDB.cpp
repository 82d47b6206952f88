// The viewer as the operator meets it, opened from the launcher's menu: the
// window as designed, the statements of the first and later openings, the
// order of the history, the focus step's widths, closing and reopening, the
// DB.mdb of the current directory, a writer meanwhile, and failed reads.

#include "app/DesignLook.h"
#include "app/ProgramEnd.h"
#include "app/ProgramWindows.h"
#include "app/StartUp.h"
#include "app/bar_read_frm.h"
#include "app/editDB.h"
#include "app/export_frm.h"
#include "common/GuiTestBase.h"
#include "db/db.h"
#include "engine/Command.h"
#include "engine/Connection.h"
#include "viewer/Adodc.h"
#include "viewer/SnapshotModel.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString roster = QStringLiteral("select * from list order by kana");

const QString dayAndDayBefore =
    QStringLiteral("insert into log values ('2024-04-01','10:00:00','入室','佐藤 花子',NULL),"
                   "('2024-04-01','15:00:00','退室','佐藤 花子','お迎え'),"
                   "('2024-03-31','16:30:00','入室','鈴木 一郎','');");

// The cells of the grid's rows, "|"-joined.
QStringList gridRows(const QTableView* grid)
{
    QStringList rows;
    const QAbstractItemModel* model = grid->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column)
            cells << model->index(row, column).data().toString();
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

QStringList headings(const QTableView* grid)
{
    QStringList names;
    for (int column = 0; column < grid->model()->columnCount(); ++column)
        names << grid->model()->headerData(column, Qt::Horizontal).toString();
    return names;
}

} // namespace

class TestEditDB : public GuiTestBase
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void design();
    void firstOpening();
    void historyRows_data();
    void historyRows();
    void openingWhileShownRereadsOnly();
    void openingAfterClosingLoadsAgain_data();
    void openingAfterClosingLoadsAgain();
    void currentDirectoryDatabase();
    void focusRestoresTheDesignedWidths();
    void failedReadsAreReported_data();
    void failedReadsAreReported();
    void theOwnerTakesEveryWindowWithIt();
    void menuEntryStartsInTheInstallFolder_data();
    void menuEntryStartsInTheInstallFolder();

private:
    // Starts the tool on the install folder's DB.mdb (made from sql) and
    // chooses 全員の履歴; returns the viewer, or null after a failed check.
    editDB* startAndOpen(const QString& sql);
    // 全員の履歴 in the launcher's menu.
    bool chooseDisplayLog() { return triggerAction(QStringLiteral("display_log")); }
};

void TestEditDB::init()
{
    GuiTestBase::init();
    if (QTest::currentTestFailed())
        return;
    // The tool runs with its install folder as the current directory.
    QVERIFY(QDir().mkpath(install().installFolder()));
    QVERIFY(QDir::setCurrent(install().installFolder()));
    engine::Connection::setBusyTimeout(5000);
}

editDB* TestEditDB::startAndOpen(const QString& sql)
{
    install().createDatabase(install().database(), sql);
    startUp();
    if (programEnded()) {
        fail(QStringLiteral("the start-up ended the run"), TestPlace::here());
        return nullptr;
    }
    if (!chooseDisplayLog())
        return nullptr;
    editDB* viewer = ProgramWindows::current().find<editDB>();
    if (!viewer) {
        fail(QStringLiteral("全員の履歴 opened no viewer"), TestPlace::here());
        return nullptr;
    }
    if (!QTest::qWaitForWindowActive(viewer)) {
        fail(QStringLiteral("the viewer did not become active"), TestPlace::here());
        return nullptr;
    }
    return viewer;
}

void TestEditDB::design()
{
    editDB window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.objectName(), QStringLiteral("editDB"));
    QCOMPARE(window.windowTitle(), QStringLiteral("参照画面"));
    QCOMPARE(window.size(), QSize(1016, 686));
    QVERIFY(window.windowIcon().availableSizes().contains(QSize(32, 32)));

    auto* grid = child<QTableView>(&window, QStringLiteral("DataGrid1"));
    auto* close = child<QPushButton>(&window, QStringLiteral("Command1"));
    auto* adodc = child<Adodc>(&window, QStringLiteral("Adodc1"));
    QVERIFY(grid && close && adodc);
    QCOMPARE(grid->geometry(), rectFromTwips(240, 240, 14775, 9255));
    QCOMPARE(close->geometry(), rectFromTwips(13440, 9840, 1455, 495));
    QCOMPARE(close->text(), QStringLiteral("閉じる"));
    for (const QFont& font : {grid->font(), grid->horizontalHeader()->font()}) {
        QCOMPARE(font.family(), QStringLiteral("ＭＳ Ｐゴシック"));
        QCOMPARE(font.pointSizeF(), 9.0);
        QCOMPARE(font.weight(), QFont::Normal);
    }
    // The grid first, then the button; the data control is no widget at all.
    QCOMPARE(window.focusWidget(), grid);
    QVERIFY(!grid->tabKeyNavigation());
    QVERIFY(!adodc->isWidgetType());
    QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);

    // A larger window: the grid grows with it, the button keeps to the lower
    // right; back at the designed size, the designed places exactly.
    window.resize(window.size() + QSize(300, 200));
    QCOMPARE(grid->geometry(), rectFromTwips(240, 240, 14775, 9255).adjusted(0, 0, 300, 200));
    QCOMPARE(close->geometry(), rectFromTwips(13440, 9840, 1455, 495).translated(300, 200));
    window.resize(QSize(1016, 686));
    QCOMPARE(grid->geometry(), rectFromTwips(240, 240, 14775, 9255));
    QCOMPARE(close->geometry(), rectFromTwips(13440, 9840, 1455, 495));
}

void TestEditDB::firstOpening()
{
    editDB* viewer = startAndOpen(dayAndDayBefore);
    QVERIFY(viewer);
    // The load step ran the roster statement; the grid holds the history.
    QCOMPARE(db_sql, roster);
    QCOMPARE(viewer->adodc1()->recordSource(), editDB::historyStatement());
    QCOMPARE(viewer->windowTitle(), QStringLiteral("全員の履歴"));
    QVERIFY(viewer->isWindow() && !viewer->parentWidget());
    QTableView* grid = viewer->dataGrid1();
    QCOMPARE(headings(grid), QStringList({"date", "time", "状況", "名前", "備考2"}));
    QCOMPARE(grid->columnWidth(0), pixelsFromTwips(2300));
    QCOMPARE(grid->columnWidth(3), pixelsFromTwips(4200));
    QCOMPARE(grid->columnWidth(4), pixelsFromTwips(4170));
    QCOMPARE(grid->columnWidth(1), grid->horizontalHeader()->defaultSectionSize());
    // Modeless: the other two windows stay open and usable.
    QVERIFY(!QApplication::activeModalWidget());
    export_frm* other = settings();
    bar_read_frm* first = launcher();
    QVERIFY(other && first);
    QVERIFY(other->isVisible());
    QVERIFY(first->isEnabled());
    QVERIFY(boxes().boxes().isEmpty());
}

void TestEditDB::historyRows_data()
{
    QTest::addColumn<QString>("events");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("one day and the day before")
        << dayAndDayBefore
        << QStringList{"2024/03/31|16:30:00|入室|鈴木 一郎|",
                       "2024/04/01|15:00:00|退室|佐藤 花子|お迎え",
                       "2024/04/01|10:00:00|入室|佐藤 花子|"};
    QTest::newRow("empty log") << QString() << QStringList();
    QTest::newRow("markup and text outside the BMP")
        << "insert into log values ('1899-12-30','08:00:00','<b>入室</b>','𠮷田 😀','a&amp;b');"
        << QStringList{"0:00:00|8:00:00|<b>入室</b>|𠮷田 😀|a&amp;b"};
}

void TestEditDB::historyRows()
{
    QFETCH(QString, events);
    QFETCH(QStringList, rows);
    editDB* viewer = startAndOpen(events);
    QVERIFY(viewer);
    QCOMPARE(headings(viewer->dataGrid1()), QStringList({"date", "time", "状況", "名前", "備考2"}));
    QCOMPARE(gridRows(viewer->dataGrid1()), rows);
}

void TestEditDB::openingWhileShownRereadsOnly()
{
    editDB* viewer = startAndOpen(dayAndDayBefore);
    QVERIFY(viewer);
    db_sql = QStringLiteral("select 1");

    // The product writes while the viewer is open, waiting 50 ms at most.
    engine::Connection::setBusyTimeout(50);
    engine::Connection product;
    product.open(QStringLiteral("Data Source=c:\\Program Files\\Tavenro\\DB.mdb"));
    engine::Command insert;
    insert.setActiveConnection(&product);
    insert.setCommandText(
        QStringLiteral("insert into log values ('2024-04-02','09:00:00','入室','新井 凛',NULL)"));
    QCOMPARE(insert.execute(), 1);
    QCOMPARE(gridRows(viewer->dataGrid1()).size(), 3);

    QVERIFY(chooseDisplayLog());
    QCOMPARE(ProgramWindows::current().find<editDB>(), viewer);
    QCOMPARE(db_sql, QStringLiteral("select 1"));
    QCOMPARE(gridRows(viewer->dataGrid1()).last(),
             QStringLiteral("2024/04/02|9:00:00|入室|新井 凛|"));
    QCOMPARE(insert.execute(), 1);
    QVERIFY(boxes().boxes().isEmpty());
}

void TestEditDB::openingAfterClosingLoadsAgain_data()
{
    QTest::addColumn<bool>("byButton");
    QTest::newRow("閉じる") << true;
    QTest::newRow("close box") << false;
}

void TestEditDB::openingAfterClosingLoadsAgain()
{
    QFETCH(bool, byButton);
    QPointer<editDB> viewer = startAndOpen(dayAndDayBefore);
    QVERIFY(viewer);
    QPointer<Adodc> adodc = viewer->adodc1();
    if (byButton) {
        QVERIFY(clickButton(viewer, QStringLiteral("Command1")));
    } else {
        QVERIFY(viewer->close());
    }
    // Unloaded at once for the next opening, destroyed with its connection
    // as soon as the close is over.
    QVERIFY(!ProgramWindows::current().find<editDB>());
    QTRY_VERIFY(viewer.isNull());
    QVERIFY(adodc.isNull());

    db_sql = QStringLiteral("select 1");
    QVERIFY(chooseDisplayLog());
    editDB* again = ProgramWindows::current().find<editDB>();
    QVERIFY(again);
    QCOMPARE(db_sql, roster);
    QCOMPARE(gridRows(again->dataGrid1()).size(), 3);
    QVERIFY(again->isVisible());
    QVERIFY(!programEnded());
}

void TestEditDB::currentDirectoryDatabase()
{
    const QString elsewhere = install().driveC() + QStringLiteral("/elsewhere");
    install().createDatabase(
        elsewhere + QStringLiteral("/DB.mdb"),
        QStringLiteral(
            "insert into log values ('2020-01-01','12:00:00','入室','別 ファイル',NULL)"));
    QVERIFY(QDir::setCurrent(elsewhere));
    editDB* viewer = startAndOpen(dayAndDayBefore);
    QVERIFY(viewer);
    QCOMPARE(gridRows(viewer->dataGrid1()), QStringList{"2020/01/01|12:00:00|入室|別 ファイル|"});
    QCOMPARE(QFileInfo(viewer->adodc1()->databaseFile()).canonicalFilePath(),
             QFileInfo(elsewhere + QStringLiteral("/DB.mdb")).canonicalFilePath());
    QCOMPARE(QFileInfo(db_connection->filePath()).canonicalFilePath(),
             QFileInfo(install().database()).canonicalFilePath());
}

void TestEditDB::focusRestoresTheDesignedWidths()
{
    editDB* viewer = startAndOpen(dayAndDayBefore);
    QVERIFY(viewer);
    QTableView* grid = viewer->dataGrid1();
    auto* button = child<QPushButton>(viewer, QStringLiteral("Command1"));
    QVERIFY(button);
    QCOMPARE(QApplication::focusWidget(), grid);

    // Widened by hand, as dragging the heading's edge does.
    grid->horizontalHeader()->resizeSection(0, 300);
    grid->horizontalHeader()->resizeSection(1, 222);
    QTest::keyClick(grid, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), button);
    QCOMPARE(grid->columnWidth(0), 300);
    QTest::keyClick(button, Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), grid);
    QCOMPARE(viewer->columnWidthTwips(0), pixelsFromTwips(2300) * twipsPerPixel);
    QCOMPARE(grid->columnWidth(1), 222);
}

void TestEditDB::failedReadsAreReported_data()
{
    QTest::addColumn<QString>("current"); // DB.mdb of the current directory
    QTest::addColumn<QString>("named");
    QTest::addColumn<bool>("loadStepFails");
    QTest::newRow("no DB.mdb") << "none"
                               << "実行時エラー '53'" << true;
    QTest::newRow("unreadable file") << "garbage"
                                     << "DB.mdb" << true;
    QTest::newRow("no table list") << "drop table list;"
                                   << "select * from list order by kana" << true;
    QTest::newRow("no table log") << "drop table log;"
                                  << "from log order by" << false;
}

void TestEditDB::failedReadsAreReported()
{
    QFETCH(QString, current);
    QFETCH(QString, named);
    QFETCH(bool, loadStepFails);
    const QString elsewhere = install().driveC() + QStringLiteral("/elsewhere");
    QVERIFY(QDir().mkpath(elsewhere));
    const QString file = elsewhere + QStringLiteral("/DB.mdb");
    if (current == QLatin1String("garbage")) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    } else if (current != QLatin1String("none")) {
        install().createDatabase(file, current);
    }
    QVERIFY(QDir::setCurrent(elsewhere));
    install().createDatabase(install().database(), dayAndDayBefore);
    startUp();
    QVERIFY(!programEnded());
    db_sql = QStringLiteral("select 1");
    QVERIFY(chooseDisplayLog());

    QVERIFY(programEnded());
    QCOMPARE(boxes().boxes().size(), 1);
    const MessageBoxRecorder::Box box = boxes().boxes().front();
    QCOMPARE(box.style, 16);
    QCOMPARE(box.title, QStringLiteral("各種設定"));
    QVERIFY2(box.prompt.startsWith(QStringLiteral("実行時エラー '")), qPrintable(box.prompt));
    QVERIFY2(box.prompt.contains(named), qPrintable(box.prompt));
    // A failed load step leaves no half-loaded viewer; the history was never
    // asked for.
    QCOMPARE(db_sql, roster);
    editDB* viewer = ProgramWindows::current().find<editDB>();
    QCOMPARE(viewer == nullptr, loadStepFails);
    if (viewer)
        QVERIFY(!viewer->isVisible());
}

void TestEditDB::theOwnerTakesEveryWindowWithIt()
{
    QPointer<editDB> closed = startAndOpen(dayAndDayBefore);
    QVERIFY(closed);
    QVERIFY(closed->close()); // unloaded; its deletion is still due
    QVERIFY(chooseDisplayLog());
    const QList<QPointer<QWidget>> windows{ProgramWindows::current().find<bar_read_frm>(),
                                           ProgramWindows::current().find<export_frm>(),
                                           ProgramWindows::current().find<editDB>(), closed.data()};
    QVERIFY(!windows.contains(nullptr));
    QVERIFY(windows.at(2) != closed);
    destroyWindows();
    for (const QPointer<QWidget>& window : windows)
        QVERIFY(window.isNull());
}

QTEST_MAIN(TestEditDB)
void TestEditDB::menuEntryStartsInTheInstallFolder_data()
{
    QTest::addColumn<bool>("underFirst");
    QTest::addColumn<bool>("underTwin");
    QTest::addColumn<bool>("prefixSet");
    QTest::addColumn<bool>("inTwin");

    // The first install folder exists in every row (empty where it holds no
    // DB.mdb), as it does on a machine where the product lies under (x86).
    QTest::newRow("installed under Program Files") << true << false << true << false;
    QTest::newRow("installed only under (x86)") << false << true << true << true;
    QTest::newRow("both: Program Files") << true << true << true << false;
    QTest::newRow("no WINEPREFIX: ~/.wine") << true << false << false << false;
}

// Started from the menu, as a desktop launcher starts it (the entry's Exec
// from the home folder), the tool runs in the install folder, and the viewer
// shows that folder's history.
void TestEditDB::menuEntryStartsInTheInstallFolder()
{
    QFETCH(bool, underFirst);
    QFETCH(bool, underTwin);
    QFETCH(bool, prefixSet);
    QFETCH(bool, inTwin);

    const QString row =
        QStringLiteral("insert into log values ('2024-05-01','09:00:00','入室','%1',NULL)");
    if (underFirst)
        install().createDatabase(install().database(), row.arg(QStringLiteral("本 フォルダ")));
    if (underTwin)
        install().createDatabase(install().databaseX86(), row.arg(QStringLiteral("x86 フォルダ")));

    // The entry's command is found on PATH beside a stand-in for the tool
    // that tells the folder it was started in.
    QTemporaryDir home, bin;
    QVERIFY(home.isValid() && bin.isValid());
    const QString desktopDir = QStringLiteral(TAVENRO_DESKTOP_DIR);
    QFile entry(desktopDir + QStringLiteral("/tavenro-settings.desktop"));
    QVERIFY(entry.open(QIODevice::ReadOnly));
    QString exec;
    for (const QString& line : QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("Exec=")))
            exec = line.mid(5).trimmed();
    QVERIFY(!exec.isEmpty());
    const QString command = exec.section(QLatin1Char(' '), 0, 0);
    QVERIFY(QFile::copy(desktopDir + QLatin1Char('/') + command, bin.filePath(command)));
    QFile tool(bin.filePath(QStringLiteral("tavenro-settings")));
    QVERIFY(tool.open(QIODevice::WriteOnly));
    tool.write("#!/bin/sh\npwd -P\n");
    tool.close();
    QVERIFY(tool.setPermissions(tool.permissions() | QFile::ExeOwner));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"),
                       bin.path() + QLatin1Char(':') + environment.value(QStringLiteral("PATH")));
    environment.insert(QStringLiteral("HOME"), home.path());
    if (!prefixSet) {
        environment.remove(QStringLiteral("WINEPREFIX"));
        QVERIFY(QFile::link(install().prefix(), home.filePath(QStringLiteral(".wine"))));
    }
    QProcess launcher;
    launcher.setProcessEnvironment(environment);
    launcher.setWorkingDirectory(home.path());
    launcher.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), exec});
    QVERIFY(launcher.waitForFinished(10000));
    QCOMPARE(launcher.exitCode(), 0);
    const QString folder = QString::fromLocal8Bit(launcher.readAllStandardOutput()).trimmed();
    QCOMPARE(folder, QFileInfo(inTwin ? install().installFolderX86() : install().installFolder())
                         .canonicalFilePath());

    QVERIFY(QDir::setCurrent(folder));
    startUp();
    QVERIFY(!programEnded());
    QVERIFY(chooseDisplayLog());
    editDB* viewer = ProgramWindows::current().find<editDB>();
    QVERIFY(viewer);
    QCOMPARE(gridRows(viewer->dataGrid1()),
             QStringList{QStringLiteral("2024/05/01|9:00:00|入室|%1|")
                             .arg(inTwin ? QStringLiteral("x86 フォルダ")
                                         : QStringLiteral("本 フォルダ"))});
    QVERIFY(boxes().boxes().isEmpty());
}

#include "tst_editDB.moc"
