#include "export/RosterExport.h"

#include "db/db.h"
#include "export/RosterExportSteps.h"
#include "export/RosterWriter.h"
#include "platform/Error.h"
#include "platform/FileErrors.h"
#include "platform/FileSystem.h"
#include "platform/ProgramStart.h"
#include "platform/WinPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace {

// The bounds of the designed result table, columns 0 to 5 and rows 0 to 800.
constexpr int rosterLastColumn = 5;
constexpr int rosterLastRow = 800;

// Creates the file or empties it, so that nothing of an earlier export is left
// whatever happens next.
void openForOutput(QFile& file, const QString& windowsPath)
{
    const QString host = platform::hostPath(windowsPath);
    const QFileInfo info(host);
    if (!info.dir().exists())
        throw platform::Error(
            platform::Error::PathNotFound,
            QStringLiteral("パスが見つかりません。\n%1 を作成できません。").arg(windowsPath),
            platform::Error::Cause::NotFound);
    // Refused even where the system would let this user (root, say) write
    // it, as Windows refuses a file marked read-only.
    if (info.isFile() && platform::isReadOnlyFile(host))
        throw platform::Error(
            platform::Error::PermissionDenied,
            QStringLiteral("書き込みできません。\n%1 は読み取り専用です。").arg(windowsPath),
            platform::Error::Cause::WriteProtected);
    file.setFileName(host);
    // Opened to be emptied now; the roster goes in whole once it is read
    // (RosterWriter::close).
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw platform::fileFailure(file).error(
            QStringLiteral("書き込みできません。\n%1 を開けません。").arg(windowsPath));
}

} // namespace

QString rosterFilePath()
{
    return installBase + productFolder + QStringLiteral("\\list.csv");
}

QString rosterColumnsByBarcodeStatement()
{
    return QStringLiteral(
        "select [barcode],[名前],[kana],[email],[備考] from list order by [barcode]");
}

namespace {

class QueryRow : public RosterRow
{
public:
    explicit QueryRow(const db_row& row) : m_row(row) {}
    std::optional<QByteArrayView> text(int column) const override { return m_row.text(column); }
    engine::Value value(int column) const override { return m_row.value(column); }

private:
    const db_row& m_row;
};

} // namespace

void exportRosterWithRowBound(RosterLayout layout, int lastRow)
{
    const QString path = rosterFilePath();
    QFile file;
    openForOutput(file, path);

    // The file is empty from here on: a query that fails leaves it so, and no
    // earlier roster can be taken for the current one. Rows go straight from
    // the engine into the writer, bounded as the result table of rows 0 to
    // lastRow bounds them.
    db_sql = rosterColumnsByBarcodeStatement();
    RosterWriter writer(file, layout, path);
    int rowCount = 0;
    db_select_rows(db_sql, rowCount, [&writer, lastRow](const db_row& row, int number) {
        result_table::checkBounds(0, number, 0, rosterLastColumn, 0, lastRow);
        writer.appendLine(QueryRow(row));
    });
    writer.close();

    // Notepad is named without a folder and the path goes unquoted: Notepad
    // takes the rest of its command line as one file name.
    platform::shell(QStringLiteral("notepad.exe ") + path, platform::vbNormalFocus);
}

void exportRoster(RosterLayout layout)
{
    exportRosterWithRowBound(layout, rosterLastRow);
}
