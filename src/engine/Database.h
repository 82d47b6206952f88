#pragma once

#include "engine/DatabaseFormat.h"
#include "engine/ResultSnapshot.h"
#include "engine/Value.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <span>

namespace engine {

// What an engine offers the facade. Connection, Command, Recordset and
// ResultSnapshot speak to a file only through these two classes; which engine
// stands behind them is decided once, by openDatabase().

// A SELECT being read, first row to last. Positioned on the first row (or
// past the end) once made.
class Cursor
{
public:
    virtual ~Cursor() = default;
    virtual int fieldCount() const = 0;
    virtual QString fieldName(int position) const = 0;
    virtual bool atEnd() const = 0;
    // The field of the current row with its kind; the caller checks the
    // position and that a row is current.
    virtual Value field(int position) const = 0;
    // The UTF-8 bytes of a field that field() gives as text, when the engine
    // holds them so, valid until next().
    virtual std::optional<QByteArrayView> textField(int position) const;
    virtual void next() = 0;
};

// One open file, as one engine reads and writes it. Every failure throws
// platform::Error naming what failed.
class Database
{
public:
    virtual ~Database() = default;

    virtual DatabaseFormat format() const = 0;
    virtual std::unique_ptr<Cursor> select(const QString& statement) = 0;
    // Runs one statement that returns no rows; the number of rows changed.
    virtual int execute(const QString& statement) = 0;
    virtual void beginTrans() = 0;
    virtual void commitTrans() = 0;
    virtual void rollbackTrans() = 0;

    virtual void snapshotTo(const QString& hostPath) = 0;
    // Whether replaceFrom() can pour the file at hostPath into this one in
    // place, every open connection staying valid.
    virtual bool canReplaceFrom(const QString& hostPath) const = 0;
    virtual void replaceFrom(const QString& hostPath) = 0;

    // Reads every row of the statement column-wise into the builder.
    virtual void readSnapshot(const QString& statement, int sorterThreads,
                              ResultSnapshot::Builder& into) = 0;

    // The names of the table's columns in their defined order; nothing when
    // there is no such table (names compared without regard to case).
    virtual std::optional<QStringList> columnsOf(const QString& table) = 0;
    // What is wrong with the file as a whole, in the engine's words; nothing
    // when it is sound. The tables named are those the tool reads.
    virtual std::optional<QString> integrityProblem(const QStringList& tables) = 0;
    // The bytes a copy of the database takes, at least; 0 when the file's
    // size says it.
    virtual qint64 contentBytes() = 0;
};

struct OpenOptions
{
    bool readOnly = false;
    // Read-only, and nobody writes the file meanwhile.
    bool immutable = false;
};

// Opens the file with the engine its signature names; the one place that
// knows every engine. what names the open in errors.
std::unique_ptr<Database> openDatabase(const QString& hostPath, const OpenOptions& options,
                                       const QString& what);

// A file an engine keeps beside a database file while it uses it, named by
// the database file's name and a suffix.
struct CompanionFile
{
    const char* suffix;
    // Whether it holds part of the database that the file alone lacks (a
    // journal that rolls the file back, a log that completes it), rather than
    // what an opener builds again.
    bool holdsContent;
};

// The companions any engine of this program may keep beside a database file,
// in the order they are to be taken.
std::span<const CompanionFile> companionFiles();

// The file's first bytes, fewer when it is shorter, read so as to leave in
// place every lock this process holds on it through an engine; nothing when
// it cannot be read.
std::optional<QByteArray> readFileHead(const QString& hostPath, qsizetype length);

} // namespace engine
