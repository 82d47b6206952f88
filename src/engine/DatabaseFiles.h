#pragma once

#include <QString>
#include <QStringList>

namespace engine {

// The files that make up a database beside the file itself: what an engine
// keeps next to it while it uses it (a journal, a log). Whoever removes,
// replaces or copies a database file by hand asks here which they are.

// The companions' paths beside hostPath, whether they are there or not.
QStringList companionFiles(const QString& hostPath);

// Removes the file and every companion: a temporary database whose writer
// was killed half-way may have left them, and they must not outlive it.
void removeDatabaseFiles(const QString& hostPath);

// Removes the companions only, once no connection has the file open: left
// beside it, they would be rolled into the next file that takes its name.
void removeCompanionFiles(const QString& hostPath);

// Moves to copy the companions of from that hold part of its content, copy
// being a byte copy of from that they now belong to, and removes the rest.
// Throws platform::Error when one cannot be moved.
void moveCompanionFiles(const QString& from, const QString& copy);

} // namespace engine
