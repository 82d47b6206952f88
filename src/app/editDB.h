#pragma once

#include <QWidget>

class Adodc;
class QPushButton;
class QTableView;

// The viewer: one statement's result as a read-only grid, read through the
// window's own data control Adodc1 from DB.mdb of the current directory.
// The launcher fills it with the whole attendance history. Closing it
// unloads it; the next opening loads it afresh.
class editDB : public QWidget
{
    Q_OBJECT
public:
    // The roster by kana, run by the load step, and the history: the days
    // from the oldest, within a day the latest event first.
    static QString rosterByKanaStatement();
    static QString historyStatement();

    explicit editDB(QWidget* parent = nullptr);

    // The load step, run once each time the window is loaded: puts the roster
    // statement into db_sql and refreshes Adodc1 with it. Throws what the
    // refresh throws.
    void load();

    Adodc* adodc1() const { return m_adodc1; }
    QTableView* dataGrid1() const { return m_dataGrid1; }

    // Widths of the grid's columns by position from 0, in twips.
    void setColumnWidthTwips(int column, int twips);
    int columnWidthTwips(int column) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // The grid and the button keep their distances to the window's edges:
    // at the designed size their designed places, in a larger window the grid
    // grows with it and the button stays at the lower right.
    void resizeEvent(QResizeEvent* event) override;

private:
    void createControls();
    // The focus step, at every focus gain of the grid.
    void setDesignedWidths();

    Adodc* m_adodc1 = nullptr;
    QTableView* m_dataGrid1 = nullptr;
    QPushButton* m_command1 = nullptr;
};
