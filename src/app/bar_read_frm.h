#pragma once

#include <QMainWindow>

// The launcher, the program's start-up window: at start-up it opens the
// database and the settings window; for the rest of the run it carries the
// menu bar from which the history viewer opens. Closing it closes only it.
class bar_read_frm : public QMainWindow
{
    Q_OBJECT
public:
    // The one launcher of the run, created on first use.
    static bar_read_frm* instance();
    // Destroys it without any close code: at the end of the run, and between
    // tests.
    static void release();

    explicit bar_read_frm(QWidget* parent = nullptr);

    // The start-up step, run before the launcher is first shown: opens
    // db_connection, then shows the settings window. Throws what db_open
    // throws, before any window is shown.
    void load();

private:
    void createMenus();
    void showHistoryViewer();
};
