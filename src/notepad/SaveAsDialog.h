#pragma once

#include <QFileDialog>

// The editor's 名前を付けて保存 dialog. Qt's own dialog rather than the desktop's,
// so that its side bar can offer the drives the settings tool knows (the USB
// memory the operator saves the roster to) beside the usual places; any other
// folder can still be browsed to.
class SaveAsDialog : public QFileDialog
{
    Q_OBJECT
public:
    // Starts in the folder of proposedPath with its file name filled in.
    SaveAsDialog(QWidget* parent, const QString& proposedPath);

    // The host folders of the drive list, as the side bar shows them.
    static QList<QUrl> driveUrls();
};
