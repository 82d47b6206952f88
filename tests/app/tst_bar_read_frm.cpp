// The launcher against its design: caption, client area, icon and the menu
// bar entry by entry, and the access key that two entries share.

#include "app/bar_read_frm.h"
#include "common/GuiTestBase.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <memory>

class TestBarReadFrm : public GuiTestBase
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void window();
    void menuEntry_data();
    void menuEntry();
    void onlyTheDesignedEntries();
    void sharedAccessKeyMovesWithoutChoosing();

private:
    // The 表示 menu; null, and the test failed, when there is none.
    QMenu* viewMenu(TestPlace where = TestPlace::here())
    {
        return child<QMenu>(m_window.get(), QStringLiteral("view"), where);
    }
    // The launcher as designed, without its start-up step.
    std::unique_ptr<bar_read_frm> m_window;
};

void TestBarReadFrm::init()
{
    GuiTestBase::init();
    if (QTest::currentTestFailed())
        return;
    m_window = std::make_unique<bar_read_frm>();
}

void TestBarReadFrm::cleanup()
{
    m_window.reset();
    GuiTestBase::cleanup();
}

void TestBarReadFrm::window()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCOMPARE(m_window->objectName(), QStringLiteral("bar_read_frm"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tavenro (認証画面)"));
    // The client area lies below the menu bar, which stays inside the window.
    QVERIFY(!m_window->menuBar()->isNativeMenuBar());
    QVERIFY(m_window->centralWidget());
    QCOMPARE(m_window->centralWidget()->size(), QSize(1016, 666));
    QCOMPARE(m_window->centralWidget()->geometry().top(),
             m_window->menuBar()->geometry().bottom() + 1);
    QVERIFY(m_window->centralWidget()->children().isEmpty());
    QVERIFY(m_window->windowIcon().availableSizes().contains(QSize(32, 32)));
}

void TestBarReadFrm::menuEntry_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("separator");
    auto row = [](const char* name, const char* place, int position, const char16_t* caption,
                  bool separator = false) {
        QTest::newRow(name) << QString::fromLatin1(place) << position << QString::fromUtf16(caption)
                            << separator;
    };
    row("view", "bar", 0, u"表示(&V)");
    row("display_log", "view", 0, u"全員の履歴(&L)");
    row("barcode_read_test", "view", 1, u"生徒別の履歴(&S)");
    row("d52", "view", 2, u"", true);
    row("user_list", "view", 3, u"生徒一覧 -かな順(&L)");
    row("user_list2", "view", 4, u"生徒一覧 -バーコード順(&B)");
    row("d8", "view", 5, u"", true);
    row("today_person", "view", 6, u"本日の状況-かな順 (&K)");
    row("today_person2", "view", 7, u"本日の状況-入室順 (&N)");
    row("estab", "bar", 1, u"設定(&E)");
    row("info2mothermn", "bar", 2, u"メッセージ(&M)");
}

void TestBarReadFrm::menuEntry()
{
    QFETCH(QString, place);
    QFETCH(int, position);
    QFETCH(QString, caption);
    QFETCH(bool, separator);

    QList<QAction*> entries = m_window->menuBar()->actions();
    if (place != QLatin1String("bar")) {
        const QMenu* menu = viewMenu();
        QVERIFY(menu);
        entries = menu->actions();
    }
    QVERIFY(position < entries.size());
    QAction* entry = entries.at(position);
    QCOMPARE(entry->objectName(), QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(entry->isSeparator(), separator);
    if (!separator)
        QCOMPARE(entry->text(), caption);
    QVERIFY(entry->isEnabled());
    QVERIFY(entry->isVisible());
    QVERIFY(!entry->isCheckable());
    QVERIFY(entry->shortcut().isEmpty());
    // Only the first title opens a submenu.
    QCOMPARE(entry->menu() != nullptr, entry->objectName() == QLatin1String("view"));
}

void TestBarReadFrm::onlyTheDesignedEntries()
{
    QCOMPARE(m_window->menuBar()->actions().size(), 3);
    const QMenu* menu = viewMenu();
    QVERIFY(menu);
    QCOMPARE(menu->actions().size(), 8);
}

void TestBarReadFrm::sharedAccessKeyMovesWithoutChoosing()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QMenu* menu = viewMenu();
    QVERIFY(menu);
    QList<QAction*> chosen;
    connect(menu, &QMenu::triggered, this, [&](QAction* a) { chosen << a; });
    menu->popup(m_window->mapToGlobal(QPoint(0, 0)));
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    const auto active = [menu] {
        return menu->activeAction() ? menu->activeAction()->objectName() : QString();
    };
    QTest::keyClick(menu, Qt::Key_L);
    QCOMPARE(active(), QStringLiteral("display_log"));
    QTest::keyClick(menu, Qt::Key_L);
    QCOMPARE(active(), QStringLiteral("user_list"));
    QTest::keyClick(menu, Qt::Key_L);
    QCOMPARE(active(), QStringLiteral("display_log"));
    QVERIFY(chosen.isEmpty());
    QVERIFY(menu->isVisible());
    menu->close();
}

QTEST_MAIN(TestBarReadFrm)
#include "tst_bar_read_frm.moc"
