#include "Command.h"

#include "Connection.h"
#include "Error.h"
#include "JetSelect.h"
#include "SqliteHandles.h"

namespace platform {

int Command::execute(int)
{
    const QString what = QStringLiteral("次の文を実行できません: %1").arg(m_text);
    if (!m_connection)
        throw Error(Error::ObjectClosed,
                    QStringLiteral("コマンドに接続が設定されていません。\n%1").arg(what));
    if (const JetDatabase* jet = m_connection->jet(what)) {
        executeJetStatement(*jet, m_text);
        return 0;
    }
    sqlite3* db = m_connection->handle(what);
    const QByteArray sql = m_text.toUtf8();
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &raw, &tail);
    detail::Statement statement(raw);
    if (rc != SQLITE_OK)
        throwEngineError(db, rc, what);
    if (!statement)
        throw Error(Error::Generic, QStringLiteral("文が空です。"));
    if (tail && !QByteArray(tail).trimmed().isEmpty())
        throw Error(Error::Generic,
                    QStringLiteral("%1\n文の後ろに余分な文字があります。").arg(what));
    // A statement that returns rows runs to its end as well; the rows are dropped.
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        throwEngineError(db, rc, what);
    return sqlite3_changes(db);
}

} // namespace platform
