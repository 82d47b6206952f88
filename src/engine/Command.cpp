#include "engine/Command.h"

#include "engine/Connection.h"
#include "engine/Database.h"
#include "platform/Error.h"

namespace engine {

using platform::Error;

int Command::execute(int)
{
    const QString what = QStringLiteral("次の文を実行できません: %1").arg(m_text);
    if (!m_connection)
        throw Error(Error::ObjectClosed,
                    QStringLiteral("コマンドに接続が設定されていません。\n%1").arg(what));
    return m_connection->database(what).execute(m_text);
}

} // namespace engine
