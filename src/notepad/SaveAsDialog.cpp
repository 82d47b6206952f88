#include "notepad/SaveAsDialog.h"

#include "platform/Drives.h"
#include "platform/WinPath.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

SaveAsDialog::SaveAsDialog(QWidget* parent, const QString& proposedPath)
    : QFileDialog(parent, QStringLiteral("名前を付けて保存"))
{
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    const QString allFiles = QStringLiteral("すべてのファイル (*)");
    setNameFilters({QStringLiteral("テキスト文書 (*.txt)"), allFiles});
    selectNameFilter(allFiles);

    QList<QUrl> places = sidebarUrls();
    for (const QUrl& drive : driveUrls()) {
        if (!places.contains(drive))
            places.append(drive);
    }
    setSidebarUrls(places);

    if (!proposedPath.isEmpty()) {
        const QFileInfo proposed(proposedPath);
        setDirectory(proposed.absolutePath());
        selectFile(proposed.fileName());
    }
}

QList<QUrl> SaveAsDialog::driveUrls()
{
    QList<QUrl> urls;
    for (const platform::Drive& drive : platform::listDrives()) {
        // A letter goes through the drive folder so that the side bar names it
        // "e:"; a mounted volume is its own mount point.
        const QString folder =
            drive.text.startsWith(QLatin1Char('/'))
                ? drive.text
                : QDir::cleanPath(platform::hostPath(drive.text + QLatin1Char('\\')));
        urls.append(QUrl::fromLocalFile(folder));
    }
    return urls;
}
