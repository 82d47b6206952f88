#include "engine/Connection.h"

#include "engine/ConnectionString.h"
#include "engine/Database.h"
#include "platform/Error.h"
#include "platform/WinPath.h"

#include <QFileInfo>

namespace engine {

using platform::Error;

Connection::Connection() = default;

Connection::~Connection() = default;

void Connection::setMode(int mode)
{
    if (isOpen())
        throw Error(Error::ObjectOpen,
                    QStringLiteral("接続が開いている間はモードを変更できません。"));
    m_mode = mode;
}

void Connection::open(const QString& connectionString, const QString&, const QString&, int)
{
    if (isOpen())
        throw Error(Error::ObjectOpen,
                    QStringLiteral("接続はすでに開いています: %1").arg(m_connectionString));

    const auto properties = detail::parseConnectionString(connectionString);
    const QString source = properties.value(QStringLiteral("data source"));
    if (source.isEmpty())
        throw Error(Error::Generic, QStringLiteral("接続文字列にデータソース（Data Source）が"
                                                   "ありません: %1")
                                        .arg(connectionString));

    const QString path = QFileInfo(platform::hostPath(source)).absoluteFilePath();
    const QString what = QStringLiteral("データベース %1 を開けません。").arg(source);
    if (!QFileInfo(path).isFile())
        throw Error(Error::FileNotFound,
                    QStringLiteral("%1\nファイルが見つかりません: %2").arg(what, path));

    // The engine takes an empty file for an empty database; the product's
    // database is never empty, so such a file is damaged.
    if (QFileInfo(path).size() == 0)
        throw Error(Error::Engine,
                    QStringLiteral("%1\nfile is not a database (empty file)").arg(what));

    const bool readOnly = (m_mode & 3) == ModeRead ||
                          properties.value(QStringLiteral("mode"))
                                  .compare(QStringLiteral("Read"), Qt::CaseInsensitive) == 0;
    // Read-only with writes denied to others: nobody changes the file
    // while it is open, so the engine may take it as immutable. It then
    // takes no lock and leaves nothing beside the file; a read-only open
    // of a file in WAL mode would otherwise leave its -wal and -shm
    // behind (on a stick, for one).
    OpenOptions options;
    options.readOnly = readOnly;
    options.immutable = readOnly && (m_mode & ModeShareDenyWrite) != 0;
    m_database = openDatabase(path, options, what);
    m_connectionString = connectionString;
    m_filePath = path;
}

void Connection::close()
{
    if (!isOpen())
        throw Error(
            Error::ObjectClosed,
            QStringLiteral("データベースの接続が開いていないため、閉じることができません。"));
    m_database.reset();
}

Database& Connection::database(const QString& forWhat) const
{
    if (!m_database)
        throw Error(Error::ObjectClosed,
                    QStringLiteral("データベースの接続が開いていません。\n%1").arg(forWhat));
    return *m_database;
}

DatabaseFormat Connection::format() const
{
    return database(QStringLiteral("データベースの形式を読み取れません。")).format();
}

void Connection::beginTrans()
{
    database(QStringLiteral("トランザクションを開始できません。")).beginTrans();
}

void Connection::commitTrans()
{
    database(QStringLiteral("トランザクションを確定できません。")).commitTrans();
}

void Connection::rollbackTrans()
{
    database(QStringLiteral("トランザクションを取り消せません。")).rollbackTrans();
}

void Connection::snapshotTo(const QString& hostPath)
{
    database(QStringLiteral("データベースの写しを作れません: %1").arg(hostPath))
        .snapshotTo(hostPath);
}

void Connection::replaceFrom(const QString& hostPath)
{
    database(QStringLiteral("データベースを %1 の内容で置き換えられません。").arg(hostPath))
        .replaceFrom(hostPath);
}

bool Connection::canReplaceFrom(const QString& hostPath) const
{
    return m_database && m_database->canReplaceFrom(hostPath);
}

std::optional<QStringList> Connection::columnsOf(const QString& table)
{
    return database(QStringLiteral("表 %1 の列を読み取れません。").arg(table)).columnsOf(table);
}

std::optional<QString> Connection::integrityProblem(const QStringList& tables)
{
    return database(QStringLiteral("データベースを確かめられません。")).integrityProblem(tables);
}

qint64 Connection::contentBytes()
{
    return database(QStringLiteral("データベースの大きさを読み取れません。")).contentBytes();
}

} // namespace engine
