#pragma once

#include "engine/DatabaseFiles.h"

#include <QList>
#include <QString>
#include <initializer_list>
#include <memory>

namespace engine {
class Connection;
}

// The steps the backup and the restore share: temporary files that do not
// outlive the run, the rename that puts a finished file in place, and the
// engine's view of a database it may copy.
namespace backup {

QString folderOf(const QString& hostPath);

// Removes the temporary files named, each with the companions the engine may
// have left beside it, when it goes, whatever ended the run.
class PartialFiles
{
public:
    explicit PartialFiles(std::initializer_list<QString> paths) : m_paths(paths)
    {
        for (const QString& p : m_paths)
            engine::removeDatabaseFiles(p);
    }
    ~PartialFiles()
    {
        for (const QString& p : m_paths)
            engine::removeDatabaseFiles(p);
    }
    PartialFiles(const PartialFiles&) = delete;
    PartialFiles& operator=(const PartialFiles&) = delete;

private:
    QList<QString> m_paths;
};

// Gives a finished, flushed temporary file its final name and makes the new
// entry of the folder durable, so that a pulled stick or a power cut finds
// the old file or the new one.
void putInPlace(const QString& partial, const QString& final);

// Opens a database the way the product shares it; null when the engine
// cannot read the file. A file another program holds locked past the wait is
// no damaged file: its bytes may be mid-write, and the program still has it
// open, so the error goes on rather than the bytes being copied or the file
// replaced under it.
std::unique_ptr<engine::Connection> openShared(const QString& hostPath);

} // namespace backup
