#include "export/RosterExport.h"

#include "db/db.h"
#include "export/RosterExportSteps.h"
#include "export/RosterWriter.h"
#include "platform/Error.h"
#include "platform/FileErrors.h"
#include "platform/ProgramStart.h"
#include "platform/WinPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The bounds of the designed result table, columns 0 to 5 and rows 0 to 800.
constexpr int rosterLastColumn = 5;
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
    // Unbuffered, so that a full disk shows at the write that meets it and no
    // buffer is left to be pushed out after the file has been emptied again.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        const platform::FileFailure why = platform::fileFailure(file);
        throw platform::Error(why.number,
                              QStringLiteral("書き込みできません。\n%1 を開けません。\n%2")
                                  .arg(windowsPath, why.reason));
    }
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
