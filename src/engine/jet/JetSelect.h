#pragma once

#include "engine/FieldKind.h"
#include "engine/Value.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace engine {

namespace jet {
class MdbFile;
}

// The result of one SELECT on a Jet file, read whole and sorted: the field
// names and kinds of the select list, and the values row by row.
struct JetResult
{
    QStringList fieldNames;
    std::vector<detail::FieldKind> kinds;
    std::vector<Value> cells; // row-major: row r, field f at r * fieldCount() + f

    int fieldCount() const { return int(fieldNames.size()); }
    qsizetype rowCount() const
    {
        return fieldNames.isEmpty() ? 0 : qsizetype(cells.size()) / fieldNames.size();
    }
    const Value& at(qsizetype row, int field) const
    {
        return cells[size_t(row * fieldCount() + field)];
    }
};

// The statement shapes the tool runs, and nothing more:
//
//   SELECT * | column [, column …] FROM table [ORDER BY column [ASC|DESC] [, …]] [;]
//
// Columns are bracketed ([名前]) or bare (kana); keywords are case-blind.
struct JetSelect
{
    struct SortKey
    {
        QString column;
        bool descending = false;
    };
    QStringList columns; // empty for "*"
    QString table;
    std::vector<SortKey> orderBy;
};

// Parses a statement of the shape above. Throws platform::Error naming the
// statement for anything else; a statement that would change the database
// (UPDATE, DELETE, INSERT, …) gets an error saying that the Jet file is open
// read-only.
JetSelect parseJetSelect(const QString& statement);

// Runs a SELECT of the shape above on the open file. Rows are sorted as Jet
// sorts them: NULL before every value in ascending order (after in
// descending), text by a Japanese collation ignoring case, numbers and dates
// by value; rows that tie keep their stored order. Throws platform::Error
// naming the statement for a statement it refuses, a missing table or column,
// or a file it cannot read.
JetResult runJetSelect(const jet::MdbFile& database, const QString& statement);

// What a command's Execute does on a Jet file: a SELECT runs and its rows are
// dropped; every other statement is refused as runJetSelect refuses it, so an
// UPDATE or DELETE throws the read-only error and the file stays unchanged.
void executeJetStatement(const jet::MdbFile& database, const QString& statement);

// Compares two values of one column in Jet's ascending order (negative, zero,
// positive). Text goes through the Japanese collation.
int compareJetValues(const Value& a, const Value& b);

} // namespace engine
