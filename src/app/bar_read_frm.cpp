#include "app/bar_read_frm.h"

#include "app/AppIcons.h"
#include "app/DesignLook.h"
#include "app/ErrorReport.h"
#include "app/ProgramWindows.h"
#include "app/editDB.h"
#include "app/export_frm.h"
#include "db/db.h"
#include "viewer/Adodc.h"

#include <QMenu>
#include <QMenuBar>

namespace {

// The client area below the menu bar, in twips.
constexpr int clientWidth = 15240;
constexpr int clientHeight = 9990;

QAction* addEntry(QWidget* menu, const char* name, const QString& caption)
{
    auto* action = new QAction(caption, menu);
    action->setObjectName(QString::fromLatin1(name));
    menu->addAction(action);
    return action;
}

void addSeparator(QMenu* menu, const char* name)
{
    menu->addSeparator()->setObjectName(QString::fromLatin1(name));
}

} // namespace

bar_read_frm::bar_read_frm(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("bar_read_frm"));
    setWindowTitle(QStringLiteral("Tavenro (認証画面)"));
    setWindowIcon(launcherIcon());
    setFont(designFont());
    // The launcher draws nothing of its own below its menu bar.
    setCentralWidget(new QWidget(this));
    createMenus();
    resize(pixelsFromTwips(clientWidth),
           pixelsFromTwips(clientHeight) + menuBar()->sizeHint().height());
}

void bar_read_frm::createMenus()
{
    QMenuBar* bar = menuBar();
    // The menu bar belongs to the window, as the operator knows it, even on a
    // desktop that would lift it into a global menu.
    bar->setNativeMenuBar(false);

    QMenu* view = bar->addMenu(QStringLiteral("表示(&V)"));
    view->setObjectName(QStringLiteral("view"));
    view->menuAction()->setObjectName(QStringLiteral("view"));
    QAction* displayLog = addEntry(view, "display_log", QStringLiteral("全員の履歴(&L)"));
    addEntry(view, "barcode_read_test", QStringLiteral("生徒別の履歴(&S)"));
    addSeparator(view, "d52");
    addEntry(view, "user_list", QStringLiteral("生徒一覧 -かな順(&L)"));
    addEntry(view, "user_list2", QStringLiteral("生徒一覧 -バーコード順(&B)"));
    addSeparator(view, "d8");
    addEntry(view, "today_person", QStringLiteral("本日の状況-かな順 (&K)"));
    addEntry(view, "today_person2", QStringLiteral("本日の状況-入室順 (&N)"));
    addEntry(bar, "estab", QStringLiteral("設定(&E)"));
    addEntry(bar, "info2mothermn", QStringLiteral("メッセージ(&M)"));

    connect(displayLog, &QAction::triggered, this,
            [this] { guarded([this] { showHistoryViewer(); }); });
}

void bar_read_frm::load()
{
    db_open();
    export_frm* settings = ProgramWindows::current().get<export_frm>();
    ProgramWindows::current().placeForFirstShow(settings);
    settings->show();
    settings->activateWindow();
}

void bar_read_frm::showHistoryViewer()
{
    // Referring to the viewer loads it when it is not loaded: its load step
    // runs the roster statement first. The history statement is the literal;
    // db_sql keeps what it holds.
    editDB* viewer = ProgramWindows::current().get<editDB>();
    viewer->adodc1()->setRecordSource(editDB::historyStatement());
    viewer->adodc1()->refresh();
    viewer->setWindowTitle(QStringLiteral("全員の履歴"));
    // Modeless and without an owner: the launcher and the settings window
    // stay usable.
    ProgramWindows::current().placeForFirstShow(viewer);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}
