#pragma once

#include "engine/FieldKind.h"
#include "engine/Value.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace engine::jet {

// One column of a Jet table as the tool sees it: its name as stored and the
// kind its values take.
struct TableColumn
{
    QString name;
    detail::FieldKind kind = detail::FieldKind::Text;
};

// A genuine Jet 4.0 (Access 2000–2003) database file, opened read-only
// through libmdb's table and row interface. Nothing here ever writes to the
// file: libmdb opens it for reading only, and there is no operation that
// changes it.
//
// Values come out as the SQLite-backed engine gives them: text as QString
// (decoded here from the stored UTF-16, compressed or not, so characters
// outside the BMP survive), NULL as Null and never as empty text, Memo fields
// whole, Date/Time as DateTime, whole numbers as qint64, others as double,
// Yes/No as bool. Binary and OLE fields come out as hexadecimal text.
//
// Table and column names are matched without regard to case, as Jet does.
// Every failure throws platform::Error naming the file.
class MdbFile
{
public:
    MdbFile();
    ~MdbFile();
    MdbFile(const MdbFile&) = delete;
    MdbFile& operator=(const MdbFile&) = delete;

    // Opens a Jet 4.0 file read-only and reads its catalog. Throws for a
    // missing file, for a file that is not Jet 4.0, or one libmdb cannot read.
    void open(const QString& hostPath);
    void close();
    bool isOpen() const;
    const QString& filePath() const { return m_filePath; }

    // The user tables (system tables left out), in catalog order.
    QStringList tableNames() const;
    bool hasTable(const QString& table) const;
    // The table's columns in their defined order (the order of "select *").
    // Throws when there is no such table.
    std::vector<TableColumn> columns(const QString& table) const;

    // Every row of the table in stored order, each holding the values of the
    // columns at the given positions of columns(), in that order:
    // row r, wanted column c is at [r * wanted.size() + c]. Deleted rows are
    // left out; a row that Jet moved to another page is read where it went.
    std::vector<Value> readRows(const QString& table, const std::vector<int>& wanted) const;

private:
    struct Handle;
    std::unique_ptr<Handle> m_handle;
    QString m_filePath;
    // The file in Windows form, for messages.
    QString m_shownPath;
};

} // namespace engine::jet

namespace engine::detail {

// Text as Jet 4 stores it: UTF-16LE, or "compressed" when it begins with the
// bytes FF FE, after which runs of one-byte characters (high byte zero) and
// runs of UTF-16LE code units alternate, each 00 byte switching between them.
// A trailing odd byte is dropped.
QString decodeJetText(const char* data, qsizetype size);

} // namespace engine::detail
