#include "maintenance/RosterMaintenance.h"

#include "db/db.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

namespace {

using platform::crlf;

} // namespace

void checkOutAllStudents()
{
    const QString title = QStringLiteral("退室処理");
    // The installed database is what the product works on; an installation
    // that only has the "(x86)" folder is not one this repair is meant for.
    if (!platform::fileExists(installDatabasePath())) {
        platform::msgBox(
            QStringLiteral("【ご注意】") + crlf +
                QStringLiteral("インストールが正しくなかったため、修復ができません。") + crlf +
                QStringLiteral("正しく再インストールする必要があります。"),
            platform::vbCancelTryContinue, title);
        return;
    }
    const int answer =
        platform::msgBox(QStringLiteral("前回、退室時に認証を忘れた生徒を退室にします。　") + crlf +
                             QStringLiteral("よろしいですか？　　"),
                         platform::vbYesNo + platform::vbExclamation, title);
    if (answer != platform::vbYes)
        return;

    // One transaction: a failure half-way must not leave students checked out
    // whose in-room time was kept, or the other way round.
    db_transaction([] {
        // The in-room time goes first: the next statement erases the marks
        // that select its rows.
        db_sql = QStringLiteral("update list set [在室時間]= NULL where [状況]= '") +
                 QStringLiteral("入室") + QStringLiteral("' ");
        db_execute(db_sql);
        db_sql = QStringLiteral("update list set [状況]= '空き'");
        db_execute(db_sql);
        db_sql = QStringLiteral("update list set [time]= NULL");
        db_execute(db_sql);
        db_sql = QStringLiteral("update list set [time2]= NULL");
        db_execute(db_sql);
    });

    platform::msgBox(QStringLiteral("全ての生徒が退室したことになりました。　　"),
                     platform::vbCancelTryContinue, title);
}

void deleteAllStudents()
{
    const QString title = QStringLiteral("全登録生徒の一括削除");
    const int answer =
        platform::msgBox(QStringLiteral("全ての登録生徒を一括削除します。　　") + crlf +
                             QStringLiteral("復活できませんがよろしいですか？　　"),
                         platform::vbYesNo + platform::vbExclamation, title);
    if (answer != platform::vbYes)
        return;

    db_sql = QStringLiteral("delete from list");
    db_execute(db_sql);

    platform::msgBox(QStringLiteral("全ての登録生徒を一括削除しました。　　"),
                     platform::vbCancelTryContinue, title);
}
