#pragma once

#include <QString>

namespace engine {

class Connection;

// Runs one statement that returns no rows (UPDATE, DELETE) on a connection.
class Command
{
public:
    // The connection is referred to, not owned; it must outlive the command.
    void setActiveConnection(Connection* connection) { m_connection = connection; }
    Connection* activeConnection() const { return m_connection; }
    void setCommandText(const QString& text) { m_text = text; }
    const QString& commandText() const { return m_text; }

    // Runs the command text to its end. One statement only: a text holding
    // several is refused, so a value pasted into a statement cannot add one.
    // Returns the number of rows changed. Throws naming the statement.
    int execute(int options = -1);

private:
    Connection* m_connection = nullptr;
    QString m_text;
};

} // namespace engine
