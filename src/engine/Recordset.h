#pragma once

#include "engine/Value.h"

#include <QByteArrayView>
#include <QString>
#include <memory>
#include <optional>

namespace engine {

class Connection;
class Cursor;

// A forward-only, read-only result of one SELECT on a connection, read once
// from the first row to the last.
class Recordset
{
public:
    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // The connection is referred to, not owned; it must outlive the recordset.
    void setActiveConnection(Connection* connection) { m_connection = connection; }
    Connection* activeConnection() const { return m_connection; }
    void setSource(const QString& statement) { m_source = statement; }
    const QString& source() const { return m_source; }

    // Runs the source on the active connection; throws naming the statement.
    // Opening a recordset that is already open fails.
    void open();
    void close();
    bool isOpen() const { return m_cursor != nullptr; }

    // True once the position is past the last row (at once for no rows).
    bool eof() const;
    int fieldCount() const;
    QString fieldName(int position) const;
    // The value at a position of the select list, counted from 0, with its
    // kind; Null for a field without a value. Throws for a missing position.
    Value field(int position) const;
    // The UTF-8 bytes of a field that field() gives as text, when the engine
    // holds them so, valid until moveNext; nothing for any other value and
    // on a Jet file. For reading many rows without a QString per cell.
    std::optional<QByteArrayView> textField(int position) const;
    void moveNext();

private:
    void requireOpen(const char* operation) const;
    void requireField(int position) const;

    Connection* m_connection = nullptr;
    QString m_source;
    std::unique_ptr<Cursor> m_cursor;
};

} // namespace engine
