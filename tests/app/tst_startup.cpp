// The run of the tool: the start-up order, a start-up that cannot open the
// database, the exit from the settings window, and closing the launcher.

#include "app/ProgramEnd.h"
#include "app/StartUp.h"
#include "app/bar_read_frm.h"
#include "app/export_frm.h"
#include "common/GuiTestBase.h"
#include "db/db.h"

#include <QApplication>
#include <QScreen>
#include <QTest>

namespace {

// Records, in order, the windows as they are shown and the close events they
// receive.
class WindowEvents : public QObject
{
public:
    WindowEvents() { qApp->installEventFilter(this); }
    ~WindowEvents() override { qApp->removeEventFilter(this); }
    QStringList shown;
    QStringList closed;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->isWindow()) {
            if (event->type() == QEvent::Show)
                shown << widget->objectName();
            else if (event->type() == QEvent::Close)
                closed << widget->objectName();
        }
        return false;
    }
};

bool anyWindowVisible()
{
    const auto windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](QWidget* w) { return w->isVisible(); });
}

} // namespace

class TestStartUp : public GuiTestBase
{
    Q_OBJECT

private Q_SLOTS:
    void settingsWindowFirstThenLauncherActive();
    void missingDatabaseShowsNoWindow();
    void exitEndsTheRun_data();
    void exitEndsTheRun();
    void failingCloseStillEnds_data();
    void failingCloseStillEnds();
    void closingTheLauncherEndsNothing();

private:
    // Leaves the settings window as the operator does; false (the test
    // failed) when there is no window or no exit button.
    bool exit(const QString& how);
};

bool TestStartUp::exit(const QString& how)
{
    export_frm* window = settings();
    if (!window)
        return false;
    if (how == QLatin1String("exit button"))
        return clickButton(window, QStringLiteral("Command7"));
    window->close();
    return true;
}

void TestStartUp::settingsWindowFirstThenLauncherActive()
{
    install().createDatabase(install().database());
    WindowEvents events;
    startUp();
    QVERIFY(!programEnded());
    QCOMPARE(events.shown, QStringList({"export_frm", "bar_read_frm"}));
    bar_read_frm* first = launcher();
    export_frm* second = settings();
    QVERIFY(first && second);
    QVERIFY(QTest::qWaitForWindowActive(first));
    QCOMPARE(QApplication::activeWindow(), first);
    QVERIFY(second->isVisible());
    // Neither lies exactly over the other: cascaded as Windows places new
    // windows, the launcher one step down and to the right.
    QCOMPARE(second->pos(), QGuiApplication::primaryScreen()->availableGeometry().topLeft());
    const QPoint step = first->pos() - second->pos();
    QVERIFY2(step.x() > 0 && step.x() == step.y(),
             qPrintable(QStringLiteral("%1, %2").arg(step.x()).arg(step.y())));
    QVERIFY(second->focusWidget());
    QCOMPARE(second->focusWidget()->objectName(), QStringLiteral("Command1"));
    QVERIFY(db_connection && db_connection->isOpen());
    QVERIFY(boxes().boxes().isEmpty());
}

void TestStartUp::missingDatabaseShowsNoWindow()
{
    // DB.mdb under neither install folder.
    WindowEvents events;
    startUp();
    QVERIFY(programEnded());
    QVERIFY(programEndStatus() != 0);
    QCOMPARE(programEnds(), QList<int>{programEndStatus()});
    QVERIFY(events.shown.isEmpty());
    QVERIFY(!anyWindowVisible());
    QCOMPARE(boxes().boxes().size(), 1);
    const MessageBoxRecorder::Box box = boxes().boxes().front();
    QCOMPARE(box.title, QStringLiteral("各種設定"));
    QCOMPARE(box.style, 16);
    QVERIFY2(box.prompt.startsWith(QStringLiteral("実行時エラー '53':\r\n\r\n")),
             qPrintable(box.prompt));
    QVERIFY2(box.prompt.contains(QStringLiteral("Program Files (x86)")), qPrintable(box.prompt));
}

void TestStartUp::exitEndsTheRun_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("launcherOpen");
    QTest::newRow("exit button, launcher open") << QStringLiteral("exit button") << true;
    QTest::newRow("exit button, launcher closed") << QStringLiteral("exit button") << false;
    QTest::newRow("close box, launcher open") << QStringLiteral("close box") << true;
    QTest::newRow("close box, launcher closed") << QStringLiteral("close box") << false;
}

void TestStartUp::exitEndsTheRun()
{
    QFETCH(QString, how);
    QFETCH(bool, launcherOpen);
    install().createDatabase(install().database());
    startUp();
    bar_read_frm* window = launcher();
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    if (!launcherOpen)
        window->close();

    WindowEvents events;
    QVERIFY(exit(how));
    QVERIFY(programEnded());
    QCOMPARE(programEnds(), QList<int>{0});
    QVERIFY(!db_connection->isOpen());
    QVERIFY(!anyWindowVisible());
    // The launcher went with the program, running nothing of its own.
    QVERIFY(!events.closed.contains(QStringLiteral("bar_read_frm")));
    QVERIFY(boxes().boxes().isEmpty());
}

void TestStartUp::failingCloseStillEnds_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("exit button") << QStringLiteral("exit button");
    QTest::newRow("close box") << QStringLiteral("close box");
}

void TestStartUp::failingCloseStillEnds()
{
    QFETCH(QString, how);
    // A DB.mdb that is no database: the start-up leaves the connection
    // closed without a word, so the exit's close fails.
    install().createDatabase(install().database());
    QFile file(install().database());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray(4096, 'x'));
    file.close();

    startUp();
    QVERIFY(!programEnded());
    QVERIFY(!db_connection->isOpen());
    export_frm* window = settings();
    QVERIFY(window);
    QVERIFY(window->isVisible());

    QVERIFY(exit(how));
    QVERIFY(programEnded());
    QVERIFY(programEndStatus() != 0);
    QCOMPARE(programEnds(), QList<int>{programEndStatus()});
    QVERIFY(!anyWindowVisible());
    QCOMPARE(boxes().boxes().size(), 1);
    QCOMPARE(boxes().boxes().front().style, 16);
    QVERIFY2(boxes().boxes().front().prompt.startsWith(QStringLiteral("実行時エラー '3704':")),
             qPrintable(boxes().boxes().front().prompt));
}

void TestStartUp::closingTheLauncherEndsNothing()
{
    install().createDatabase(install().database());
    startUp();
    bar_read_frm* window = launcher();
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QVERIFY(!QApplication::quitOnLastWindowClosed());
    window->close();
    settle();
    QVERIFY(!programEnded());
    QVERIFY(programEnds().isEmpty());
    // Closed, not unloaded: the same launcher, only hidden.
    QCOMPARE(launcher(), window);
    QVERIFY(!window->isVisible());
    export_frm* other = settings();
    QVERIFY(other);
    QVERIFY(other->isVisible());
    QVERIFY(db_connection->isOpen());
    QVERIFY(boxes().boxes().isEmpty());
}

QTEST_MAIN(TestStartUp)
#include "tst_startup.moc"
