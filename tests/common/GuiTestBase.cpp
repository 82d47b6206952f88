#include "common/GuiTestBase.h"

#include "app/ClickableLabel.h"
#include "app/DriveList.h"
#include "app/ProgramEnd.h"
#include "app/ProgramWindows.h"
#include "app/StartUp.h"
#include "app/bar_read_frm.h"
#include "app/export_frm.h"
#include "db/db.h"
#include "engine/Connection.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTest>

GuiTestBase::GuiTestBase() = default;

GuiTestBase::~GuiTestBase() = default;

void GuiTestBase::settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

void GuiTestBase::initTestCase()
{
    auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    QVERIFY2(application, "a GUI test runs under QApplication (QTEST_MAIN with Qt Widgets)");
    prepareApplication(*application);
}

void GuiTestBase::init()
{
    // Each test starts with no connection and a run that has not ended,
    // whatever the one before left behind.
    db_reset();
    resetProgramEnd();
    m_previousBusyTimeout = engine::Connection::busyTimeout();
    m_ends = std::make_unique<ProgramEndRecorder>();
    m_starts = std::make_unique<ShellRecorder>();
    m_boxes = std::make_unique<MessageBoxRecorder>();
    m_windows = std::make_unique<ProgramWindows>();
    m_install = std::make_unique<TempInstall>();
    QVERIFY(m_install->isValid());
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_install->driveC()));
}

void GuiTestBase::cleanup()
{
    // The windows go while the seams still stand in, so that nothing they
    // do on the way is drawn, started or ends the test process.
    m_windows.reset();
    db_reset();
    resetProgramEnd();
    m_boxes.reset();
    m_starts.reset();
    m_ends.reset();
    if (m_previousBusyTimeout > 0)
        engine::Connection::setBusyTimeout(m_previousBusyTimeout);
    if (!m_previousDir.isEmpty())
        QDir::setCurrent(m_previousDir);
    m_install.reset();
}

void GuiTestBase::destroyWindows()
{
    m_windows.reset();
}

export_frm* GuiTestBase::settings(TestPlace where)
{
    export_frm* window =
        ProgramWindows::exists() ? ProgramWindows::current().find<export_frm>() : nullptr;
    if (!window)
        fail(QStringLiteral("the settings window export_frm is not open"), where);
    return window;
}

bar_read_frm* GuiTestBase::launcher(TestPlace where)
{
    bar_read_frm* window =
        ProgramWindows::exists() ? ProgramWindows::current().find<bar_read_frm>() : nullptr;
    if (!window)
        fail(QStringLiteral("the launcher bar_read_frm is not open"), where);
    return window;
}

bool GuiTestBase::clickButton(const QString& name, TestPlace where)
{
    export_frm* window = settings(where);
    return window && clickButton(window, name, where);
}

bool GuiTestBase::clickButton(QWidget* window, const QString& name, TestPlace where)
{
    auto* button = child<QPushButton>(window, name, where);
    if (!button)
        return false;
    if (!button->isEnabled())
        return fail(QStringLiteral("the button %1 is disabled").arg(name), where);
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

bool GuiTestBase::clickLabel(const QString& name, TestPlace where)
{
    export_frm* window = settings(where);
    auto* label = window ? child<ClickableLabel>(window, name, where) : nullptr;
    if (!label)
        return false;
    QTest::mouseClick(label, Qt::LeftButton);
    return true;
}

bool GuiTestBase::triggerAction(const QString& name, TestPlace where)
{
    bar_read_frm* window = launcher(where);
    auto* action = window ? child<QAction>(window, name, where) : nullptr;
    if (!action)
        return false;
    if (!action->isEnabled())
        return fail(QStringLiteral("the menu entry %1 is disabled").arg(name), where);
    action->trigger();
    return true;
}

bool GuiTestBase::chooseDrive(const QString& list, const QString& drive, TestPlace where)
{
    export_frm* window = settings(where);
    auto* drives = window ? child<DriveList>(window, list, where) : nullptr;
    if (!drives)
        return false;
    const int index = drives->findData(drive);
    if (index < 0)
        return fail(QStringLiteral("%1 offers no drive %2").arg(list, drive), where);
    drives->setCurrentIndex(index);
    if (drives->drive() != drive)
        return fail(
            QStringLiteral("%1 shows %2 after choosing %3").arg(list, drives->drive(), drive),
            where);
    return true;
}

bool GuiTestBase::fail(const QString& message, TestPlace where)
{
    QTest::qFail(qPrintable(message), where.file, where.line);
    return false;
}

void GuiTestBase::failMissing(const char* kind, const QString& name, const QObject* window,
                              TestPlace where)
{
    fail(window ? QStringLiteral("%1 has no %2 named %3")
                      .arg(window->objectName(), QString::fromLatin1(kind), name)
                : QStringLiteral("no window to look for the %1 %2 in")
                      .arg(QString::fromLatin1(kind), name),
         where);
}
