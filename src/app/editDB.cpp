#include "app/editDB.h"

#include "app/AppIcons.h"
#include "app/DesignLook.h"
#include "app/ErrorReport.h"
#include "app/ProgramWindows.h"
#include "db/db.h"
#include "viewer/Adodc.h"
#include "viewer/SnapshotModel.h"

#include <QCloseEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <algorithm>

namespace {

constexpr int clientWidth = 15240;
constexpr int clientHeight = 10290;

// The focus step's widths: date, name and remarks of the history.
struct ColumnWidth
{
    int column;
    int twips;
};
constexpr ColumnWidth designedWidths[] = {{0, 2300}, {3, 4200}, {4, 4170}};

QRect gridDesign()
{
    return rectFromTwips(240, 240, 14775, 9255);
}
QRect buttonDesign()
{
    return rectFromTwips(13440, 9840, 1455, 495);
}

} // namespace

QString editDB::rosterByKanaStatement()
{
    return QStringLiteral("select * from list order by kana");
}

QString editDB::historyStatement()
{
    return QStringLiteral(
        "select [date],[time],[状況],[名前],[備考2] from log order by [date],[time] DESC");
}

editDB::editDB(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("editDB"));
    setWindowTitle(QStringLiteral("参照画面"));
    setWindowIcon(launcherIcon());
    setFont(designFont());
    createControls();
    resize(pixelsFromTwips(clientWidth), pixelsFromTwips(clientHeight));
}

void editDB::createControls()
{
    m_adodc1 = new Adodc(this);

    m_dataGrid1 = new QTableView(this);
    m_dataGrid1->setObjectName(QStringLiteral("DataGrid1"));
    m_dataGrid1->setGeometry(gridDesign());
    m_dataGrid1->setFont(designFont());
    m_dataGrid1->horizontalHeader()->setFont(designFont());
    m_dataGrid1->verticalHeader()->setFont(designFont());
    m_dataGrid1->setModel(m_adodc1->model());
    m_dataGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_dataGrid1->setWordWrap(false);
    // Tab leaves the grid for the button, as between any two controls.
    m_dataGrid1->setTabKeyNavigation(false);
    // Rows of one height: a million of them cost the header nothing to lay out.
    QHeaderView* rows = m_dataGrid1->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(m_dataGrid1->fontMetrics().height() + 6);
    m_dataGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_dataGrid1->installEventFilter(this);

    m_command1 = new QPushButton(QStringLiteral("閉じる"), this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setGeometry(buttonDesign());
    m_command1->setAutoDefault(true);
    m_command1->setDefault(false);
    connect(m_command1, &QPushButton::clicked, this, [this] { guarded([this] { close(); }); });

    setTabOrder(m_dataGrid1, m_command1);
    m_dataGrid1->setFocus();
}

void editDB::load()
{
    db_sql = rosterByKanaStatement();
    m_adodc1->setRecordSource(db_sql);
    m_adodc1->refresh();
}

void editDB::setColumnWidthTwips(int column, int twips)
{
    m_dataGrid1->setColumnWidth(column, pixelsFromTwips(twips));
}

int editDB::columnWidthTwips(int column) const
{
    return m_dataGrid1->columnWidth(column) * twipsPerPixel;
}

void editDB::setDesignedWidths()
{
    for (const ColumnWidth& width : designedWidths)
        setColumnWidthTwips(width.column, width.twips);
}

bool editDB::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_dataGrid1 && event->type() == QEvent::FocusIn)
        guarded([this] { setDesignedWidths(); });
    return QWidget::eventFilter(watched, event);
}

void editDB::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int dx = width() - pixelsFromTwips(clientWidth);
    const int dy = height() - pixelsFromTwips(clientHeight);
    const QRect grid = gridDesign();
    m_dataGrid1->setGeometry(grid.x(), grid.y(), std::max(1, grid.width() + dx),
                             std::max(1, grid.height() + dy));
    m_command1->setGeometry(buttonDesign().translated(dx, dy));
}

void editDB::closeEvent(QCloseEvent* event)
{
    // Closing unloads the window and ends its data control's connection.
    event->accept();
    if (ProgramWindows::exists())
        ProgramWindows::current().unload(this);
}
