#pragma once

// The base of every test class that drives the tool's windows.
//
// Each test function starts from init() with:
// - install(): a throw-away Windows installation (TempInstall), with its
//   drive c: as the current directory, as the tool is run;
// - the three seams standing in: boxes() records every message box and
//   declines it, starts() records started programs instead of starting
//   them, programEnds() records the statuses the run ended with;
// - windows(): the run's owner of the windows, empty until startUp() or a
//   window is asked for.
// cleanup() destroys the windows, closes the database, forgets the end of
// the run, puts the seams, the engine's busy wait and the current directory
// back, and removes the installation. initTestCase() prepares the
// application as main does (fonts, Qt's Japanese texts, the drawn box).
//
// A new test class:
//
//     #include "common/GuiTestBase.h"
//
//     class TestThing : public GuiTestBase
//     {
//         Q_OBJECT
//     private Q_SLOTS:
//         void init(); // only when the class sets up more
//         void someCase();
//     };
//
//     void TestThing::init()
//     {
//         GuiTestBase::init();
//         if (QTest::currentTestFailed())
//             return;
//         install().addDrive(QLatin1Char('e'));
//     }
//
//     void TestThing::someCase()
//     {
//         install().createDatabase(install().database());
//         startUp();
//         MessageBoxRecorder answers({platform::vbYes}); // this step's boxes
//         QVERIFY(clickButton("Command6"));
//         QCOMPARE(answers.boxes().size(), 2);
//     }
//
// Qt Test finds initTestCase(), init() and cleanup() by name: the base's run
// unless the derived class declares its own, which then calls the base's
// (init first, cleanup last). A test's own MessageBoxRecorder, ShellRecorder
// or ProgramEndRecorder stands in front of the base's for its life.
//
// The helpers below fail the current test with a message naming what is
// missing, and return false or null; the test asserts on what they return
// (QVERIFY(clickButton(...)), QVERIFY(window)) and so stops there. None
// dereferences what it did not find.

#include "common/SeamRecorders.h"
#include "common/TempInstall.h"
#include "common/TestPlace.h"

#include <QObject>
#include <QString>
#include <memory>

class DriveList;
class QWidget;
class ProgramWindows;
class bar_read_frm;
class export_frm;

class GuiTestBase : public QObject
{
    Q_OBJECT

public:
    GuiTestBase();
    ~GuiTestBase() override;

    // Delivers every event already posted (deferred deletions included), so
    // that a check after it sees whatever the last step set going, without
    // waiting any time: the way to show that nothing happened.
    static void settle();

protected Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

protected:
    TempInstall& install() { return *m_install; }
    MessageBoxRecorder& boxes() { return *m_boxes; }
    ShellRecorder& starts() { return *m_starts; }
    const QList<int>& programEnds() const { return m_ends->statuses(); }
    // Destroying the owner destroys every window it holds.
    void destroyWindows();

    // The settings window and the launcher of the run; null, and the test
    // failed, when they are not open (not started, or the start-up ended).
    export_frm* settings(TestPlace where = TestPlace::here());
    bar_read_frm* launcher(TestPlace where = TestPlace::here());

    // A child of a window by its objectName (design name); null, and the
    // test failed, when there is none of that kind.
    template <typename T>
    T* child(const QObject* window, const QString& name, TestPlace where = TestPlace::here())
    {
        T* found = window ? window->findChild<T*>(name) : nullptr;
        if (!found)
            failMissing(T::staticMetaObject.className(), name, window, where);
        return found;
    }

    // Clicks an enabled push button of the settings window, or of window.
    bool clickButton(const QString& name, TestPlace where = TestPlace::here());
    bool clickButton(QWidget* window, const QString& name, TestPlace where = TestPlace::here());
    // Clicks a clickable label of the settings window.
    bool clickLabel(const QString& name, TestPlace where = TestPlace::here());
    // Triggers an enabled entry of the launcher's menus.
    bool triggerAction(const QString& name, TestPlace where = TestPlace::here());
    // Chooses drive ("e:") in the settings window's drive list ("Drive1").
    bool chooseDrive(const QString& list, const QString& drive,
                     TestPlace where = TestPlace::here());

    // Fails the current test at where with message; returns false.
    static bool fail(const QString& message, TestPlace where);

private:
    static void failMissing(const char* kind, const QString& name, const QObject* window,
                            TestPlace where);

    std::unique_ptr<TempInstall> m_install;
    std::unique_ptr<ProgramEndRecorder> m_ends;
    std::unique_ptr<ShellRecorder> m_starts;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    std::unique_ptr<ProgramWindows> m_windows;
    QString m_previousDir;
    int m_previousBusyTimeout = 0;
};
