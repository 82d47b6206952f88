#pragma once

#include <QFileDialog>

// The editor's 名前を付けて保存 dialog. Qt's own dialog rather than the desktop's,
// so that its side bar can offer the drives the settings tool knows (the USB
// memory the operator saves the roster to) beside the usual places; any other
// folder can still be browsed to.
//
// A Windows path typed as the name ("E:\list.csv", "e:list.csv",
// "\list.csv", "..\list.csv") names the file Notepad would write: the drive
// letter goes through the same mapping as the tool's other paths. A drive
// without a mapping or a folder that is not there is told to the operator and
// leaves the dialog open; it never falls back to the shown folder. Other
// names are Qt's to take, as the operator browses.
class SaveAsDialog : public QFileDialog
{
    Q_OBJECT
public:
    // Starts in the folder of proposedPath with its file name filled in.
    SaveAsDialog(QWidget* parent, const QString& proposedPath);

    // The host path of the file to write once the dialog was accepted.
    QString targetPath() const;

    // The host folders of the drive list, as the side bar shows them.
    static QList<QUrl> driveUrls();

public Q_SLOTS:
    void accept() override;

private:
    void acceptWindowsPath(const QString& typed);
    void refuse(const QString& typed, const QString& reason);

    // Set when a typed Windows path was accepted, which Qt's own selection
    // does not know.
    QString m_windowsTarget;
};
