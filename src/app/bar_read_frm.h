#pragma once

#include <QMainWindow>

// The launcher, the program's start-up window: at start-up it opens the
// database and the settings window; for the rest of the run it carries the
// menu bar from which the history viewer opens. Closing it closes only it.
class bar_read_frm : public QMainWindow
{
    Q_OBJECT
public:
    explicit bar_read_frm(QWidget* parent = nullptr);

    // The start-up step, run before the launcher is first shown: opens
    // db_connection, then shows the settings window. Throws what db_open
    // throws, before any window is shown.
    void load();

    // display_log: loads the viewer if needed, reads the whole history into it
    // and shows it beside the other windows. Throws what the reads throw.
    void showHistoryViewer();

private:
    void createMenus();
};
