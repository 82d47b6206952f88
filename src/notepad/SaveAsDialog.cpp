#include "notepad/SaveAsDialog.h"

#include "platform/Drives.h"
#include "platform/WinPath.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QUrl>
#include <algorithm>

namespace {

const QString pathMissing = QStringLiteral("パスが存在しません。\nパスを確認してください。");
const QString nameForbidden =
    QStringLiteral("ファイル名に次の文字は使えません。\n\\ / : * ? \" < > |");

// The host folder of a drive of the list: a letter through its mapping, a
// mounted volume as itself.
QString driveFolder(const platform::Drive& drive)
{
    return drive.text.startsWith(QLatin1Char('/'))
               ? drive.text
               : QDir::cleanPath(platform::hostPath(drive.text + QLatin1Char('\\')));
}

bool startsWithDrive(const QString& text)
{
    return text.size() >= 2 && text.at(1) == QLatin1Char(':') && text.at(0).isLetter() &&
           text.at(0).unicode() < 128;
}

// What Windows reads as a path rather than as a name in the shown folder.
bool isWindowsPath(const QString& text)
{
    return startsWithDrive(text) || text.contains(QLatin1Char('\\'));
}

// Characters no Windows file or folder name may hold; the separators are
// taken out before this is asked.
bool hasForbiddenCharacter(const QString& path)
{
    return std::any_of(path.begin(), path.end(), [](QChar c) {
        return c.unicode() < 0x20 || QStringView(u"<>:\"|?*").contains(c);
    });
}

// The parts of rest (either separator) below root, with "." and ".." taken out
// as Windows takes them: ".." at the root stays at the root, so a typed path
// never leaves its drive.
QString underRoot(const QString& root, QString rest)
{
    rest.replace(QLatin1Char('/'), QLatin1Char('\\'));
    QStringList kept;
    for (const QString& part : rest.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("..")) {
            if (!kept.isEmpty())
                kept.removeLast();
        } else if (part != QLatin1String(".")) {
            kept << part;
        }
    }
    return root + QLatin1Char('\\') + kept.join(QLatin1Char('\\'));
}

// The host path that typed, a Windows path, names when the shown folder is
// shownFolder; an empty string, with *why set to what the operator is told,
// when its drive is not there or its name cannot be.
QString hostPathOfTyped(const QString& typed, const QString& shownFolder, QString* why)
{
    if (startsWithDrive(typed)) {
        const QString drive = typed.left(2).toLower();
        if (!QFileInfo(platform::hostPath(drive + QLatin1Char('\\'))).isDir()) {
            *why = QStringLiteral("パスが存在しません。\nドライブ %1 が見つかりません。")
                       .arg(drive.toUpper());
            return {};
        }
        if (hasForbiddenCharacter(typed.mid(2))) {
            *why = nameForbidden;
            return {};
        }
        // "e:list.csv" is taken from the drive's root, as hostPath takes it.
        return platform::hostPath(underRoot(drive, typed.mid(2)));
    }
    if (hasForbiddenCharacter(typed)) {
        *why = nameForbidden;
        return {};
    }
    if (!typed.startsWith(QLatin1Char('\\'))) {
        QString relative = typed;
        relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
        return QDir::cleanPath(shownFolder + QLatin1Char('/') + relative);
    }
    // "\list.csv" is in the root of the shown folder's drive; a share of
    // another computer ("\\pc\share") has no mapping here.
    const QString drive =
        typed.startsWith(QStringLiteral("\\\\")) ? QString() : platform::driveHolding(shownFolder);
    if (drive.isEmpty()) {
        *why = pathMissing;
        return {};
    }
    return platform::hostPath(underRoot(drive, typed));
}

} // namespace

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

QString SaveAsDialog::targetPath() const
{
    return m_windowsTarget.isEmpty() ? selectedFiles().value(0) : m_windowsTarget;
}

QList<QUrl> SaveAsDialog::driveUrls()
{
    QList<QUrl> urls;
    // A letter goes through the drive folder so that the side bar names it
    // "e:"; a mounted volume is its own mount point.
    for (const platform::Drive& drive : platform::listDrives())
        urls.append(QUrl::fromLocalFile(driveFolder(drive)));
    return urls;
}

void SaveAsDialog::accept()
{
    m_windowsTarget.clear();
    auto* nameEdit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QString typed = nameEdit ? nameEdit->text() : QString();
    // Windows' dialog takes one name in quotes as the name itself.
    if (typed.size() > 2 && typed.startsWith(QLatin1Char('"')) &&
        typed.endsWith(QLatin1Char('"')) && typed.count(QLatin1Char('"')) == 2)
        typed = typed.mid(1, typed.size() - 2);
    // Qt would take such a text as one odd name in the shown folder.
    if (isWindowsPath(typed))
        acceptWindowsPath(typed);
    else
        QFileDialog::accept();
}

void SaveAsDialog::acceptWindowsPath(const QString& typed)
{
    QString why;
    const QString host = hostPathOfTyped(typed, directory().absolutePath(), &why);
    if (host.isEmpty()) {
        refuse(typed, why);
        return;
    }
    const QFileInfo target(host);
    if (target.isDir()) {
        // A folder typed as the name is opened, as in Windows' dialog.
        setDirectory(target.absoluteFilePath());
        if (auto* nameEdit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            nameEdit->clear();
        return;
    }
    if (!target.absoluteDir().exists()) {
        refuse(typed, pathMissing);
        return;
    }
    if (target.exists() &&
        QMessageBox::warning(
            this, windowTitle(),
            QFileDialog::tr("%1 already exists.\nDo you want to replace it?").arg(typed),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    m_windowsTarget = target.absoluteFilePath();
    // Not QFileDialog::accept(): it would read the text again as a name in the
    // shown folder.
    done(QDialog::Accepted);
}

void SaveAsDialog::refuse(const QString& typed, const QString& reason)
{
    QMessageBox::warning(this, windowTitle(), typed + QLatin1Char('\n') + reason);
}
