// The drawn message box (button sets, icons, default and escape buttons, the
// answers) and the standard error report.

#include "app/ErrorReport.h"
#include "app/MessageBoxDialog.h"
#include "app/ProgramEnd.h"
#include "app/StartUp.h"
#include "app/export_frm.h"
#include "common/GuiTestBase.h"
#include "platform/Error.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <new>
#include <optional>
#include <qpa/qwindowsysteminterface.h>
#include <stdexcept>

namespace {

struct SeenBox
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons; // left to right
    QString defaultButton;
};

// Notes what the box shows, then acts on it.
void noteAndAct(SeenBox& seen, QMessageBox* box, const std::function<void(QMessageBox*)>& act)
{
    QVERIFY(QTest::qWaitForWindowExposed(box));
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    auto buttons = box->findChildren<QPushButton*>();
    std::sort(buttons.begin(), buttons.end(), [](QPushButton* a, QPushButton* b) {
        return a->mapToGlobal(QPoint()).x() < b->mapToGlobal(QPoint()).x();
    });
    for (QPushButton* b : buttons) {
        seen.buttons << b->text();
        if (b->isDefault())
            seen.defaultButton = b->text();
    }
    act(box);
}

// Waits for the modal box, notes what it shows, then acts on it.
void whenBoxShows(SeenBox& seen, std::function<void(QMessageBox*)> act)
{
    QTimer::singleShot(0, [&seen, act = std::move(act)] {
        QMessageBox* box = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT(
            (box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())), 5000);
        noteAndAct(seen, box, act);
        // A failed check leaves the box open: close it, so that the test
        // fails rather than waits for its time limit.
        if (box->isVisible())
            box->done(0);
    });
}

// Clicks the box's first button; false when it has none.
bool clickFirstButton(QMessageBox* box)
{
    const auto buttons = box->findChildren<QPushButton*>();
    if (buttons.isEmpty())
        return false;
    buttons.front()->click();
    return true;
}

QPushButton* buttonCaptioned(QMessageBox* box, const QString& caption)
{
    const auto buttons = box->findChildren<QPushButton*>();
    for (QPushButton* b : buttons) {
        if (b->text() == caption)
            return b;
    }
    return nullptr;
}

// A click on widget and a press of Space in its window, queued as the window
// system queues the operator's input: delivered when the event loop next
// takes input, not at once as QTest's own events are.
void queueClick(QWidget* widget)
{
    using Queue = QWindowSystemInterface;
    QWindow* window = widget->window()->windowHandle();
    const QPointF local = widget->mapTo(widget->window(), widget->rect().center());
    const QPointF global = widget->mapToGlobal(widget->rect().center());
    Queue::handleMouseEvent<Queue::AsynchronousDelivery>(window, local, global, Qt::LeftButton,
                                                         Qt::LeftButton, QEvent::MouseButtonPress);
    Queue::handleMouseEvent<Queue::AsynchronousDelivery>(
        window, local, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease);
}

void queueSpace(QWidget* window)
{
    using Queue = QWindowSystemInterface;
    for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
        Queue::handleKeyEvent<Queue::AsynchronousDelivery>(
            window->windowHandle(), type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
}

// Counts the paints of the widgets it filters.
struct PaintCounter : QObject
{
    int paints = 0;
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

class TestMessageBox : public GuiTestBase
{
    Q_OBJECT

private Q_SLOTS:
    void buttonSet_data();
    void buttonSet();
    void escape_data();
    void escape();
    void promptLinesAndTitle();
    void errorReport_data();
    void errorReport();
    void answeredBoxLeavesTheScreenAtOnce();
    void answeredBoxGoesBeforeALockWait_data();
    void answeredBoxGoesBeforeALockWait();
    void inputDuringALockWaitWaitsForItsEnd_data();
    void inputDuringALockWaitWaitsForItsEnd();
};

void TestMessageBox::buttonSet_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QString>("defaultButton");
    QTest::addColumn<QString>("pressed");
    QTest::addColumn<int>("answer");

    const QString ok = QStringLiteral("OK"), cancel = QStringLiteral("キャンセル"),
                  yes = QStringLiteral("はい(&Y)"), no = QStringLiteral("いいえ(&N)"),
                  retry = QStringLiteral("再試行(&R)");
    QTest::newRow("0 OK") << 0 << QStringList{ok} << QMessageBox::NoIcon << ok << ok << 1;
    QTest::newRow("1 OK, cancel") << 1 << QStringList{ok, cancel} << QMessageBox::NoIcon << ok
                                  << cancel << 2;
    QTest::newRow("2 abort, retry, ignore")
        << 2 << QStringList{"中止(&A)", retry, "無視(&I)"} << QMessageBox::NoIcon << "中止(&A)"
        << "無視(&I)" << 5;
    QTest::newRow("3 yes, no, cancel")
        << 3 << QStringList{yes, no, cancel} << QMessageBox::NoIcon << yes << no << 7;
    QTest::newRow("5 retry, cancel")
        << 5 << QStringList{retry, cancel} << QMessageBox::NoIcon << retry << retry << 4;
    QTest::newRow("6 cancel, try again, continue")
        << 6 << QStringList{cancel, "再試行(&T)", "続行(&C)"} << QMessageBox::NoIcon << cancel
        << "続行(&C)" << 11;
    QTest::newRow("16 critical") << 16 << QStringList{ok} << QMessageBox::Critical << ok << ok << 1;
    QTest::newRow("36 yes, no, question")
        << 36 << QStringList{yes, no} << QMessageBox::Question << yes << yes << 6;
    QTest::newRow("52 yes, no, warning")
        << 52 << QStringList{yes, no} << QMessageBox::Warning << yes << yes << 6;
    QTest::newRow("292 second button default")
        << 292 << QStringList{yes, no} << QMessageBox::Question << no << no << 7;
}

void TestMessageBox::buttonSet()
{
    QFETCH(int, style);
    QFETCH(QStringList, captions);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(QString, defaultButton);
    QFETCH(QString, pressed);
    QFETCH(int, answer);

    SeenBox seen;
    whenBoxShows(seen, [pressed](QMessageBox* box) {
        QPushButton* b = buttonCaptioned(box, pressed);
        QVERIFY(b);
        b->click();
    });
    const int result = showMessageBox(QStringLiteral("確認"), style, QStringLiteral("各種設定"));
    QCOMPARE(seen.buttons, captions);
    QCOMPARE(seen.icon, icon);
    QCOMPARE(seen.defaultButton, defaultButton);
    QCOMPARE(result, answer);
}

void TestMessageBox::escape_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("answer");
    QTest::newRow("OK only answers OK") << 0 << 1;
    QTest::newRow("OK, cancel answers cancel") << 1 << 2;
    QTest::newRow("cancel, try again, continue answers cancel") << 6 << 2;
    QTest::newRow("yes, no cannot be escaped") << 36 << 0;
    QTest::newRow("abort, retry, ignore cannot be escaped") << 2 << 0;
}

void TestMessageBox::escape()
{
    QFETCH(int, style);
    QFETCH(int, answer);
    SeenBox seen;
    bool stillOpen = false;
    whenBoxShows(seen, [&stillOpen](QMessageBox* box) {
        QTest::keyClick(box, Qt::Key_Escape);
        GuiTestBase::settle();
        stillOpen = box->isVisible();
        if (stillOpen) {
            box->close(); // the close box is refused too
            GuiTestBase::settle();
            stillOpen = box->isVisible();
            QVERIFY(clickFirstButton(box));
        }
    });
    const int result = showMessageBox(QStringLiteral("確認"), style, QStringLiteral("各種設定"));
    QCOMPARE(stillOpen, answer == 0);
    if (answer != 0)
        QCOMPARE(result, answer);
}

void TestMessageBox::promptLinesAndTitle()
{
    SeenBox seen;
    whenBoxShows(seen, [](QMessageBox* box) { QVERIFY(clickFirstButton(box)); });
    // Through the platform call: a box given no title bears the application's.
    platform::ScopedSeams drawn;
    drawn.setMessageBox(showMessageBox);
    platform::msgBox(QStringLiteral("一行目\r\n二行目　"), platform::vbOKOnly);
    QCOMPARE(seen.title, QStringLiteral("各種設定"));
    QCOMPARE(seen.text, QStringLiteral("一行目\n二行目　"));
}

// The window under an answered box is drawn again before the box's call
// returns, so that work the answer starts cannot leave the box's image on
// the screen.
void TestMessageBox::answeredBoxLeavesTheScreenAtOnce()
{
    QWidget below;
    below.resize(400, 300);
    below.show();
    QVERIFY(QTest::qWaitForWindowExposed(&below));
    PaintCounter counter;
    below.installEventFilter(&counter);
    int paintsAtTheAnswer = -1;
    SeenBox seen;
    whenBoxShows(seen, [&](QMessageBox* box) {
        paintsAtTheAnswer = counter.paints;
        QVERIFY(clickFirstButton(box));
    });
    showMessageBox(QStringLiteral("確認"), platform::vbYesNo, QStringLiteral("各種設定"));
    QVERIFY(paintsAtTheAnswer >= 0);
    QVERIFY(counter.paints > paintsAtTheAnswer);
}

void TestMessageBox::answeredBoxGoesBeforeALockWait_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("全員を退室にする") << "Command6";
    QTest::newRow("生徒情報の削除") << "Command3";
}

// はい, then the product holds its lock: while the operation waits for it, no
// box is left on the screen, the wait cursor shows, and the settings window
// repaints. The lock is let go during the wait, the operation ends well, and
// the box that says so shows the ordinary cursor.
void TestMessageBox::answeredBoxGoesBeforeALockWait()
{
    QFETCH(QString, button);
    install().createDatabase(
        install().database(),
        QStringLiteral("insert into list values ('1001','佐藤 花子','さとう はなこ','','','入室',"
                       "'2024-04-01 09:15:00','09:15:00',NULL);"));
    startUp();
    export_frm* window = settings();
    QVERIFY(window);
    platform::ScopedSeams drawn;
    drawn.setMessageBox(showMessageBox);
    std::optional<HeldWriteLock> lock(std::in_place, install().database());
    QVERIFY(lock->isHeld());

    PaintCounter counter;
    int answered = 0;
    int boxesInWait = -1;
    int cursorInWait = -1;
    int paintsInWait = -1;
    int paintsBefore = -1;
    int cursorAtLastBox = -2;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (QPushButton* yes = buttonCaptioned(box, QStringLiteral("はい(&Y)"))) {
                ++answered;
                window->installEventFilter(&counter);
                yes->click();
            } else {
                // The box that tells the end, after the wait.
                const QCursor* cursor = QApplication::overrideCursor();
                cursorAtLastBox = cursor ? int(cursor->shape()) : -1;
                box->done(0);
            }
            return;
        }
        if (answered == 0 || !lock || !QApplication::overrideCursor())
            return;
        // Inside the wait: what the operator sees now, and a window asked to
        // repaint, which it does before the wait is over.
        if (paintsBefore < 0) {
            boxesInWait = 0;
            for (QWidget* widget : QApplication::topLevelWidgets())
                boxesInWait += qobject_cast<QMessageBox*>(widget) && widget->isVisible();
            cursorInWait = int(QApplication::overrideCursor()->shape());
            paintsBefore = counter.paints;
            window->update();
            return;
        }
        if (counter.paints > paintsBefore) {
            paintsInWait = counter.paints - paintsBefore;
            lock.reset();
        }
    });
    poll.start(10);
    QVERIFY(clickButton(button));
    poll.stop();
    window->removeEventFilter(&counter);

    QVERIFY(!programEnded());
    QVERIFY(answered > 0);
    QCOMPARE(boxesInWait, 0);
    QCOMPARE(cursorInWait, int(Qt::WaitCursor));
    QVERIFY(paintsInWait > 0);
    QVERIFY(!lock);
    QCOMPARE(cursorAtLastBox, -1);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestMessageBox::inputDuringALockWaitWaitsForItsEnd_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("thenAsked");
    QTest::newRow("a click on 生徒情報の削除")
        << "click Command3" << QStringLiteral("全ての登録生徒を一括削除します。");
    QTest::newRow("Space on the button that waits")
        << "Space" << QStringLiteral("前回、退室時に認証を忘れた生徒を退室にします。");
}

// 全員を退室にする waits for the product's lock; a click or a key meanwhile
// starts nothing inside the wait, and is taken once the handler has ended,
// which leaves no wait cursor behind.
void TestMessageBox::inputDuringALockWaitWaitsForItsEnd()
{
    QFETCH(QString, input);
    QFETCH(QString, thenAsked);
    install().createDatabase(install().database());
    startUp();
    export_frm* window = settings();
    QVERIFY(window);
    auto* command3 = child<QPushButton>(window, QStringLiteral("Command3"));
    QVERIFY(command3);
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    std::optional<HeldWriteLock> lock(std::in_place, install().database());
    QVERIFY(lock->isHeld());

    MessageBoxRecorder answers({platform::vbYes});
    int looks = 0;
    qsizetype boxesInWait = -1;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        if (!lock || !QApplication::overrideCursor())
            return;
        // Inside the wait: the input goes in, and a few looks later the
        // lock goes, the input having had every chance to be taken.
        if (looks++ == 0) {
            if (input == QLatin1String("Space"))
                queueSpace(window);
            else
                queueClick(command3);
        } else if (looks > 5) {
            boxesInWait = answers.boxes().size();
            lock.reset();
        }
    });
    poll.start(10);
    QVERIFY(clickButton("Command6"));
    poll.stop();

    QVERIFY(!lock);
    QCOMPARE(boxesInWait, 1); // the confirmation only
    QCOMPARE(answers.boxes().size(), 2);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    // Taken now, as the event loop takes the operator's input once the
    // handler has returned.
    QWindowSystemInterface::sendWindowSystemEvents(QEventLoop::AllEvents);
    QCOMPARE(answers.boxes().size(), 3);
    QVERIFY2(answers.boxes().at(2).prompt.startsWith(thenAsked),
             qPrintable(answers.boxes().at(2).prompt));
    QVERIFY(!programEnded());
}

void TestMessageBox::errorReport_data()
{
    QTest::addColumn<std::function<void()>>("handler");
    QTest::addColumn<QString>("prompt");
    QTest::newRow("platform error") << std::function<void()>([] {
        throw platform::Error(9, QStringLiteral("インデックスが有効範囲にありません。"));
    }) << QStringLiteral("実行時エラー '9':\r\n\r\nインデックスが有効範囲にありません。");
    QTest::newRow("standard exception")
        << std::function<void()>([] { throw std::runtime_error("disk on fire"); })
        << QStringLiteral("実行時エラー '5':\r\n\r\ndisk on fire");
    QTest::newRow("out of memory")
        << std::function<void()>([] { throw std::bad_alloc(); })
        << QStringLiteral("実行時エラー '7':\r\n\r\nメモリが不足しています。");
    QTest::newRow("anything else")
        << std::function<void()>([] { throw 42; })
        << QStringLiteral("実行時エラー '5':\r\n\r\n原因不明のエラーです。");
}

void TestMessageBox::errorReport()
{
    QFETCH(std::function<void()>, handler);
    QFETCH(QString, prompt);
    guarded(handler);
    bool ranAfterEnd = false;
    guarded([&ranAfterEnd] { ranAfterEnd = true; });

    QVERIFY(programEnded());
    const int status = programEndStatus();
    QVERIFY(status != 0);
    QCOMPARE(programEnds(), QList<int>{status});
    QCOMPARE(boxes().boxes().size(), 1);
    QCOMPARE(boxes().boxes().front().prompt, prompt);
    QCOMPARE(boxes().boxes().front().style, 16);
    QCOMPARE(boxes().boxes().front().title, QStringLiteral("各種設定"));
    QVERIFY(!ranAfterEnd);
}

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
