#pragma once

#include <QFileDialog>

class QLineEdit;
class QListWidget;

// The editor's 名前を付けて保存 dialog. Qt's own dialog rather than the desktop's,
// so that its side bar can offer the drives the settings tool knows (the USB
// memory the operator saves the roster to), "e:" with its label, and its
// address bar can name the shown folder as Windows does ("f:\"); any other
// folder can still be browsed to. Its history is the editor's own, kept apart
// from the user's settings for every Qt program (see keepHistoryApart).
//
// A Windows path typed as the name ("E:\list.csv", "e:list.csv",
// "\list.csv", "..\list.csv") names the file Notepad would write: the drive
// letter goes through the same mapping as the tool's other paths. A drive
// without a mapping or a folder that is not there is told to the operator and
// leaves the dialog open; it never falls back to the shown folder. Other
// names are Qt's to take, as the operator browses.
//
// Like Windows' dialog it goes no higher than a drive's root, and never names
// a folder outside every drive by its host path: a name typed there is refused.
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

    // Points this process's user-scope settings at the editor's own folder
    // (tavenro-notepad beside the user's other configuration), once, before
    // Qt's dialog reads them. Returns parent, for use in a constructor's
    // initializer list.
    static QWidget* keepHistoryApart(QWidget* parent = nullptr);

public Q_SLOTS:
    void accept() override;

private:
    void showWindowsPlaces();
    // Whether the dialog may go to hostFolder from where it is: a folder of a
    // drive, not the one above a drive's root. Once it shows a drive, never a
    // folder outside every drive, which Windows has no name for.
    bool mayShow(const QString& hostFolder) const;
    void keepWithinDrives();
    void showFolder(const QString& hostFolder);
    void acceptWindowsPath(const QString& typed);
    void refuse(const QString& typed, const QString& reason);

    // Set when a typed Windows path was accepted, which Qt's own selection
    // does not know.
    QString m_windowsTarget;
    // The drive list and address bar standing in for Qt's side bar and folder
    // box; owned by the dialog.
    QListWidget* m_drives = nullptr;
    QLineEdit* m_address = nullptr;
    // The last folder shown that lies on a drive: where the dialog stays
    // when the operator tries to leave the drives.
    QString m_shownFolder;
};
