#include "notepad/SaveAsDialog.h"

#include "platform/Drives.h"
#include "platform/FileErrors.h"
#include "platform/WinPath.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QStyle>
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

// A folder of this machine as the operator knows it: "f:\" for a drive's
// root, "c:\Program Files\Tavenro" below it; nothing for a folder outside
// every drive, which Windows has no name for.
QString windowsFolderOf(const QString& hostFolder)
{
    if (platform::driveHolding(hostFolder).isEmpty())
        return {};
    QString shown = platform::windowsPathOf(QDir(hostFolder).filePath(QStringLiteral("x")));
    shown.chop(2);
    if (shown.endsWith(QLatin1Char(':')))
        shown += QLatin1Char('\\');
    return shown;
}

// True when rest, taken from the folder below (its path under the drive's
// root), has more ".." than there are folders to climb.
bool climbsAboveRoot(const QString& below, QString rest)
{
    rest.replace(QLatin1Char('/'), QLatin1Char('\\'));
    qsizetype depth = below.split(QLatin1Char('\\'), Qt::SkipEmptyParts).size();
    for (const QString& part : rest.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("..") && --depth < 0)
            return true;
        if (part != QLatin1String("..") && part != QLatin1String("."))
            ++depth;
    }
    return false;
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
    // "\list.csv" is in the root of the shown folder's drive; a share of
    // another computer ("\\pc\share") has no mapping here, and a folder
    // outside every drive is none Windows could name.
    const QString drive =
        typed.startsWith(QStringLiteral("\\\\")) ? QString() : platform::driveHolding(shownFolder);
    if (drive.isEmpty()) {
        *why = pathMissing;
        return {};
    }
    if (typed.startsWith(QLatin1Char('\\')))
        return platform::hostPath(underRoot(drive, typed));
    // A name in the shown folder; ".." climbs no higher than the drive's root.
    const QString below = windowsFolderOf(shownFolder).mid(drive.size());
    if (climbsAboveRoot(below, typed))
        return platform::hostPath(underRoot(drive, below + QLatin1Char('\\') + typed));
    QString relative = typed;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(shownFolder + QLatin1Char('/') + relative);
}

// Where a drive list item keeps its drive's text ("e:").
constexpr int driveTextRole = Qt::UserRole + 1;

// True when hostFolder is the root of a drive of the list.
bool isDriveRoot(const QString& hostFolder)
{
    const QString here = QFileInfo(hostFolder).canonicalFilePath();
    for (const platform::Drive& drive : platform::listDrives()) {
        if (!here.isEmpty() && QFileInfo(driveFolder(drive)).canonicalFilePath() == here)
            return true;
    }
    return false;
}

// The drive as the list shows it: "e:", or "USBメモリ (e:)" where the drive is
// a volume of its own with a label. A mounted volume without a letter goes by
// its label, or its folder's name, never by its host path.
QString driveCaption(const platform::Drive& drive, const QString& folder)
{
    const QString root = QFileInfo(folder).canonicalFilePath();
    const QStorageInfo volume(folder);
    const QString label = volume.isValid() && volume.rootPath() == root ? volume.name() : QString();
    if (drive.text.startsWith(QLatin1Char('/')))
        return label.isEmpty() ? QFileInfo(drive.text).fileName() : label;
    return label.isEmpty() ? drive.text : QStringLiteral("%1 (%2)").arg(label, drive.text);
}

} // namespace

QWidget* SaveAsDialog::keepHistoryApart(QWidget* parent)
{
    // Qt's file dialog keeps its history, side bar and last folder in the
    // user's one QtProject.conf, shared by every Qt program; it reads it while
    // it is built and writes it when it goes. The editor's own folder takes
    // the user scope of this process instead, before the first dialog is
    // built, so no other program's folders show here and none of ours there.
    static const bool moved = [] {
        const QString own =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
            QStringLiteral("/tavenro-notepad");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, own);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, own);
        return true;
    }();
    Q_UNUSED(moved)
    return parent;
}

SaveAsDialog::SaveAsDialog(QWidget* parent, const QString& proposedPath)
    : QFileDialog(keepHistoryApart(parent), QStringLiteral("名前を付けて保存"))
{
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    const QString allFiles = QStringLiteral("すべてのファイル (*)");
    setNameFilters({QStringLiteral("テキスト文書 (*.txt)"), allFiles});
    selectNameFilter(allFiles);

    setSidebarUrls(driveUrls());
    showWindowsPlaces();

    if (!proposedPath.isEmpty()) {
        const QFileInfo proposed(proposedPath);
        setDirectory(proposed.absolutePath());
        selectFile(proposed.fileName());
    }
    showFolder(directory().absolutePath());
    connect(this, &QFileDialog::directoryEntered, this, &SaveAsDialog::showFolder);
    // The history's back and forward move without saying so: checked once
    // Qt has finished moving.
    if (auto* model = findChild<QFileSystemModel*>())
        connect(model, &QFileSystemModel::rootPathChanged, this, &SaveAsDialog::keepWithinDrives,
                Qt::QueuedConnection);
}

void SaveAsDialog::showWindowsPlaces()
{
    // Qt's side bar and folder box name host folders; each gets a stand-in
    // that names the drives and folders as Windows does, in its place.
    auto* sidebar = findChild<QListView*>(QStringLiteral("sidebar"));
    auto* splitter = findChild<QSplitter*>(QStringLiteral("splitter"));
    m_drives = new QListWidget(this);
    m_drives->setObjectName(QStringLiteral("driveList"));
    m_drives->setAccessibleName(QStringLiteral("ドライブ"));
    for (const platform::Drive& drive : platform::listDrives()) {
        const QString folder = driveFolder(drive);
        auto* item = new QListWidgetItem(driveCaption(drive, folder), m_drives);
        item->setData(Qt::UserRole, folder);
        item->setData(driveTextRole, drive.text);
        item->setIcon(style()->standardIcon(QStyle::SP_DriveHDIcon));
    }
    connect(m_drives, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        setDirectory(item->data(Qt::UserRole).toString());
        showFolder(directory().absolutePath());
    });
    if (sidebar && splitter) {
        sidebar->hide();
        splitter->insertWidget(0, m_drives);
    }

    auto* lookIn = findChild<QComboBox*>(QStringLiteral("lookInCombo"));
    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("addressBar"));
    m_address->setReadOnly(true);
    m_address->setAccessibleName(QStringLiteral("保存する場所"));
    const auto boxes = findChildren<QBoxLayout*>();
    for (QBoxLayout* box : boxes) {
        const int at = lookIn ? box->indexOf(lookIn) : -1;
        if (at < 0)
            continue;
        box->insertWidget(at, m_address, 1);
        lookIn->hide();
        if (auto* label = findChild<QLabel*>(QStringLiteral("lookInLabel")))
            label->setBuddy(m_address);
        break;
    }
}

bool SaveAsDialog::mayShow(const QString& hostFolder) const
{
    if (platform::driveHolding(hostFolder).isEmpty())
        return m_shownFolder.isEmpty();
    // Above a drive's root Windows shows its drives, never the folder that
    // holds the root on this machine (Wine's dosdevices, say).
    const bool up =
        QDir::cleanPath(m_shownFolder + QStringLiteral("/..")) == QDir::cleanPath(hostFolder);
    return !up || !isDriveRoot(m_shownFolder);
}

void SaveAsDialog::keepWithinDrives()
{
    const QString folder = directory().absolutePath();
    if (mayShow(folder))
        showFolder(folder);
    else
        setDirectory(m_shownFolder);
}

void SaveAsDialog::showFolder(const QString& hostFolder)
{
    if (!mayShow(hostFolder)) {
        // Where the operator tried to climb or browse out of the drives: the
        // dialog stays where it was.
        setDirectory(m_shownFolder);
        return;
    }
    if (!platform::driveHolding(hostFolder).isEmpty())
        m_shownFolder = hostFolder;
    m_address->setText(windowsFolderOf(hostFolder));
    const QString drive = platform::driveHolding(hostFolder);
    for (int row = 0; row < m_drives->count(); ++row) {
        if (m_drives->item(row)->data(driveTextRole).toString() == drive)
            m_drives->setCurrentRow(row);
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
    // Qt would take a Windows path as one odd name in the shown folder. A
    // plain name is taken here too, so that the question before replacing a
    // file names it as Windows does; a pattern, a host path or nothing at all
    // is Qt's to handle.
    const bool qtsOwn = typed.isEmpty() || typed.contains(QLatin1Char('/')) ||
                        typed.contains(QLatin1Char('*')) || typed.contains(QLatin1Char('?'));
    if (isWindowsPath(typed) || !qtsOwn)
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
    // Named as typed where a drive was typed, else as the operator knows the
    // file from the drive list.
    const QString shown = startsWithDrive(typed) ? underRoot(typed.left(2), typed.mid(2))
                                                 : platform::windowsPathOf(target.filePath());
    if (target.exists() &&
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("%1 は既に存在します。\n置き換えますか？").arg(shown),
                             QMessageBox::Yes | QMessageBox::No,
                             QMessageBox::No) != QMessageBox::Yes)
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
