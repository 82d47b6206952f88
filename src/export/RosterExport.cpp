#include "export/RosterExport.h"

#include "db/db.h"
#include "export/RosterExportSteps.h"
#include "export/RosterWriter.h"
#include "platform/Error.h"
#include "platform/ProgramStart.h"
#include "platform/WinPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr int rosterLastRow = 800;

// A file whose write permission bits are all clear is what the Windows
// read-only attribute looks like here. It is refused even when the operating
// system would let this user (root, say) write it, as Windows would refuse.
// The "user" flag is left out: it reports access for the running user, not
// the file's marking.
bool isMarkedReadOnly(const QFileInfo& info)
{
    constexpr auto writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return info.exists() && info.isFile() && !(info.permissions() & writeBits);
}

// Creates the file or empties it, so that nothing of an earlier export is left
// whatever happens next.
void openForOutput(QFile& file, const QString& windowsPath)
{
    const QString host = platform::hostPath(windowsPath);
    const QFileInfo info(host);
    if (!info.dir().exists())
        throw platform::Error(
            platform::Error::PathNotFound,
            QStringLiteral("パスが見つかりません。\n%1 を作成できません。").arg(windowsPath));
    if (isMarkedReadOnly(info))
        throw platform::Error(
            platform::Error::PermissionDenied,
            QStringLiteral("書き込みできません。\n%1 は読み取り専用です。").arg(windowsPath));
    file.setFileName(host);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw platform::Error(platform::Error::PermissionDenied,
                              QStringLiteral("書き込みできません。\n%1 を開けません。\n%2")
                                  .arg(windowsPath, file.errorString()));
}

} // namespace

QString rosterFilePath()
{
    return installBase + productFolder + QStringLiteral("\\list.csv");
}

QString rosterStatement()
{
    return QStringLiteral(
        "select [barcode],[名前],[kana],[email],[備考] from list order by [barcode]");
}

void exportRosterWithRowBound(RosterLayout layout, int lastRow)
{
    const QString path = rosterFilePath();
    QFile file;
    openForOutput(file, path);

    // The file is empty from here on: a query that fails leaves it so, and no
    // earlier roster can be taken for the current one.
    db_sql = rosterStatement();
    result_table table(0, 5, 0, lastRow);
    int rowCount = 0;
    db_select(db_sql, table, roster::columnCount, rowCount);

    RosterWriter writer(file, layout, path);
    writer.writeRows(table, rowCount);
    writer.close();

    // Notepad is named without a folder and the path goes unquoted: Notepad
    // takes the rest of its command line as one file name.
    platform::shell(QStringLiteral("notepad.exe ") + path, platform::vbNormalFocus);
}

void exportRoster(RosterLayout layout)
{
    exportRosterWithRowBound(layout, rosterLastRow);
}
