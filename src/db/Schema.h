#pragma once

#include <QString>
#include <QStringList>

// What a database file must hold for the tool to work on it: a sound file of
// the engine with the tables list and log and every column that a statement
// of the tool names.
struct SchemaCheck
{
    // The engine's reason when the file cannot be read as a sound database.
    QString unreadable;
    // "list.kana", "log" (a whole table) and the like, in the tool's order.
    QStringList missing;

    bool ok() const { return unreadable.isEmpty() && missing.isEmpty(); }
    // One line for a message or a log: empty when ok().
    QString describe() const;
};

// Opens the file read-only, runs the engine's quick check and reads the
// column names of both tables. Never changes the file and never throws.
SchemaCheck checkSchema(const QString& hostPath);
