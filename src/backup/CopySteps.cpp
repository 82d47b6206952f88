#include "backup/CopySteps.h"

#include "backup/BackupErrors.h"
#include "engine/Connection.h"
#include "platform/Error.h"
#include "platform/FileErrors.h"
#include "platform/FileSystem.h"

#include <QFileInfo>
#include <cerrno>

namespace backup {

QString folderOf(const QString& hostPath)
{
    return QFileInfo(hostPath).absolutePath();
}

void putInPlace(const QString& partial, const QString& final)
{
    platform::replaceFile(partial, final);
    if (!platform::flushFolder(folderOf(final))) {
        const int error = errno;
        throw failure(
            error,
            QStringLiteral("%1 をディスクに書き込めません。").arg(platform::windowsPathOf(final)));
    }
}

std::unique_ptr<engine::Connection> openShared(const QString& hostPath)
{
    auto connection = std::make_unique<engine::Connection>();
    try {
        connection->setMode(engine::Connection::ModeShareDenyNone);
        connection->open(QStringLiteral("Data Source=") + hostPath);
    } catch (const platform::Error& e) {
        if (e.cause() == platform::Error::Cause::LockTimeout)
            throw;
        return nullptr;
    }
    return connection;
}

} // namespace backup
