// The run of the tool: the start-up order, a start-up that cannot open the
// database, the exit from the settings window, and closing the launcher.

#include "Seams.h"
#include "TempInstall.h"
#include "app/ProgramEnd.h"
#include "app/StartUp.h"
#include "app/Windows.h"
#include "app/bar_read_frm.h"
#include "app/export_frm.h"
#include "db/db.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <memory>

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

class TestStartUp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void settingsWindowFirstThenLauncherActive();
    void missingDatabaseShowsNoWindow();
    void exitEndsTheRun_data();
    void exitEndsTheRun();
    void failingCloseStillEnds_data();
    void failingCloseStillEnds();
    void closingTheLauncherEndsNothing();

private:
    void exit(const QString& how);

    std::unique_ptr<TempInstall> m_install;
    std::unique_ptr<Windows> m_windows;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    EventLoopEnd m_previousEnd;
    QList<int> m_ends;
};

void TestStartUp::initTestCase()
{
    prepareApplication(*qApp);
}

void TestStartUp::init()
{
    m_install = std::make_unique<TempInstall>();
    m_windows = std::make_unique<Windows>();
    m_boxes = std::make_unique<MessageBoxRecorder>();
    m_ends.clear();
    m_previousEnd = setEventLoopEnd([this](int status) { m_ends << status; });
}

void TestStartUp::cleanup()
{
    m_windows.reset();
    db_reset();
    setEventLoopEnd(std::move(m_previousEnd));
    resetProgramEnd();
    m_boxes.reset();
    m_install.reset();
}

void TestStartUp::exit(const QString& how)
{
    export_frm* settings = Windows::current().get<export_frm>();
    if (how == QLatin1String("exit button"))
        QTest::mouseClick(settings->findChild<QPushButton*>(QStringLiteral("Command7")),
                          Qt::LeftButton);
    else
        settings->close();
}

void TestStartUp::settingsWindowFirstThenLauncherActive()
{
    m_install->createDatabase(m_install->database());
    WindowEvents events;
    startUp();
    QVERIFY(!programEnded());
    QCOMPARE(events.shown, QStringList({"export_frm", "bar_read_frm"}));
    QVERIFY(QTest::qWaitForWindowActive(Windows::current().get<bar_read_frm>()));
    QCOMPARE(QApplication::activeWindow(), Windows::current().get<bar_read_frm>());
    QVERIFY(Windows::current().get<export_frm>()->isVisible());
    QCOMPARE(Windows::current().get<export_frm>()->focusWidget()->objectName(),
             QStringLiteral("Command1"));
    QVERIFY(db_connection && db_connection->isOpen());
    QVERIFY(m_boxes->boxes().isEmpty());
}

void TestStartUp::missingDatabaseShowsNoWindow()
{
    // DB.mdb under neither install folder.
    WindowEvents events;
    startUp();
    QVERIFY(programEnded());
    QVERIFY(programEndStatus() != 0);
    QCOMPARE(m_ends, QList<int>{programEndStatus()});
    QVERIFY(events.shown.isEmpty());
    QVERIFY(!anyWindowVisible());
    QCOMPARE(m_boxes->boxes().size(), 1);
    const MessageBoxRecorder::Box box = m_boxes->boxes().front();
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
    m_install->createDatabase(m_install->database());
    startUp();
    QVERIFY(QTest::qWaitForWindowActive(Windows::current().get<bar_read_frm>()));
    if (!launcherOpen)
        Windows::current().get<bar_read_frm>()->close();

    WindowEvents events;
    exit(how);
    QVERIFY(programEnded());
    QCOMPARE(m_ends, QList<int>{0});
    QVERIFY(!db_connection->isOpen());
    QVERIFY(!anyWindowVisible());
    // The launcher went with the program, running nothing of its own.
    QVERIFY(!events.closed.contains(QStringLiteral("bar_read_frm")));
    QVERIFY(m_boxes->boxes().isEmpty());
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
    m_install->createDatabase(m_install->database());
    QFile file(m_install->database());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray(4096, 'x'));
    file.close();

    startUp();
    QVERIFY(!programEnded());
    QVERIFY(!db_connection->isOpen());
    QVERIFY(Windows::current().get<export_frm>()->isVisible());

    exit(how);
    QVERIFY(programEnded());
    QVERIFY(programEndStatus() != 0);
    QCOMPARE(m_ends, QList<int>{programEndStatus()});
    QVERIFY(!anyWindowVisible());
    QCOMPARE(m_boxes->boxes().size(), 1);
    QCOMPARE(m_boxes->boxes().front().style, 16);
    QVERIFY2(m_boxes->boxes().front().prompt.startsWith(QStringLiteral("実行時エラー '3704':")),
             qPrintable(m_boxes->boxes().front().prompt));
}

void TestStartUp::closingTheLauncherEndsNothing()
{
    m_install->createDatabase(m_install->database());
    startUp();
    QVERIFY(QTest::qWaitForWindowActive(Windows::current().get<bar_read_frm>()));
    QVERIFY(!QApplication::quitOnLastWindowClosed());
    Windows::current().get<bar_read_frm>()->close();
    QTest::qWait(20);
    QVERIFY(!programEnded());
    QVERIFY(m_ends.isEmpty());
    QVERIFY(!Windows::current().get<bar_read_frm>()->isVisible());
    QVERIFY(Windows::current().get<export_frm>()->isVisible());
    QVERIFY(db_connection->isOpen());
    QVERIFY(m_boxes->boxes().isEmpty());
}

QTEST_MAIN(TestStartUp)
#include "tst_startup.moc"
