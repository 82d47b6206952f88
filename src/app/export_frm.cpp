#include "app/export_frm.h"

#include "app/AppIcons.h"
#include "app/ClickableLabel.h"
#include "app/ControlDesign.h"
#include "app/DesignLook.h"
#include "app/DriveList.h"
#include "app/ErrorReport.h"
#include "app/LockWaitFeedback.h"
#include "app/MailProgressWindow.h"
#include "app/ProgramEnd.h"
#include "backup/DriveBackup.h"
#include "db/db.h"
#include "export/RosterExport.h"
#include "maintenance/RosterMaintenance.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "support/SupportRequest.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <functional>
#include <vector>

namespace {

// The client area, in twips.
constexpr int clientWidth = 15240;
constexpr int clientHeight = 11010;

const QString copiedToDrive = QStringLiteral("ＵＳＢメモリにコピーしました。");

} // namespace

export_frm::export_frm(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("export_frm"));
    setWindowTitle(QStringLiteral("Tavenro (各種設定)"));
    setWindowIcon(settingsIcon());
    setFont(designFont());
    createControls();
    orderTabStops();
    connectHandlers();
    resize(pixelsFromTwips(clientWidth), pixelsFromTwips(clientHeight));
}

void export_frm::createControls()
{
    // The lines first, so that every control lies above them.
    for (const LineDesign& line : settingsLines())
        createLine(line, this);

    for (const ControlDesign& design : settingsControls()) {
        QWidget* widget = createControl(design, this);
        const QLatin1String name(design.name);
        if (name == QLatin1String("Label1"))
            m_label1.at(std::size_t(design.index)) = static_cast<QLabel*>(widget);
        else if (name == QLatin1String("Label4"))
            m_label4.at(std::size_t(design.index)) = static_cast<QLabel*>(widget);
    }
    m_drive1 = findChild<DriveList*>(QStringLiteral("Drive1"));
    m_drive2 = findChild<DriveList*>(QStringLiteral("Drive2"));
    m_label12 = findChild<QLabel*>(QStringLiteral("Label12"));
    m_label13 = findChild<QLabel*>(QStringLiteral("Label13"));
    m_label15 = findChild<ClickableLabel*>(QStringLiteral("Label15"));
    m_label18 = findChild<ClickableLabel*>(QStringLiteral("Label18"));
}

void export_frm::orderTabStops()
{
    std::vector<const ControlDesign*> stops;
    for (const ControlDesign& design : settingsControls()) {
        if (design.kind == ControlDesign::Kind::Button || design.kind == ControlDesign::Kind::Drive)
            stops.push_back(&design);
    }
    std::sort(stops.begin(), stops.end(), [](const ControlDesign* a, const ControlDesign* b) {
        return a->tabIndex < b->tabIndex;
    });
    QWidget* previous = nullptr;
    for (const ControlDesign* design : stops) {
        QWidget* widget = findChild<QWidget*>(QString::fromLatin1(design->name));
        if (previous)
            setTabOrder(previous, widget);
        previous = widget;
    }
    // The window opens with the focus on the first tab stop.
    findChild<QWidget*>(QString::fromLatin1(stops.front()->name))->setFocus();
}

QPushButton* export_frm::button(const char* name) const
{
    return findChild<QPushButton*>(QString::fromLatin1(name));
}

void export_frm::connectHandlers()
{
    // Every operation may wait for the product's lock on the database.
    auto onClick = [this](QPushButton* sender, std::function<void()> handler) {
        connect(sender, &QPushButton::clicked, this, [handler = std::move(handler)] {
            const LockWaitFeedback feedback;
            guarded(handler);
        });
    };
    onClick(button("Command1"), [] { exportRoster(RosterLayout::Check); });
    onClick(button("Command2"), [] { exportRoster(RosterLayout::Convert); });
    onClick(button("Command8"), [] { exportRoster(RosterLayout::ConvertBracketed); });
    onClick(button("Command3"), [] { deleteAllStudents(); });
    onClick(button("Command6"), [] { checkOutAllStudents(); });
    onClick(button("Command4"), [this] { backUpToDrive(); });
    onClick(button("Command5"), [this] { restoreFromDrive(); });
    onClick(button("Command7"), [this] { exitProgram(); });
    connect(m_label18, &ClickableLabel::clicked, this, [this] {
        const LockWaitFeedback feedback;
        guarded([this] { backUpFromX86ToDrive(); });
    });
    connect(m_label15, &ClickableLabel::clicked, this, [this] {
        const LockWaitFeedback feedback;
        guarded([this] { requestSupport(); });
    });
    connect(m_drive1, &DriveList::changed, this,
            [this] { guarded([this] { m_label12->clear(); }); });
    connect(m_drive2, &DriveList::changed, this, [this] {
        guarded([this] {
            m_label13->clear();
            showRestoreReason({});
        });
    });
}

void export_frm::closeEvent(QCloseEvent* event)
{
    // Not while a handler waits for a lock and the window only repaints: the
    // handler still uses the connection the exit would close.
    if (LockWaitFeedback::repainting()) {
        event->ignore();
        return;
    }
    // Closing is never refused: the exit runs and the window goes with the
    // rest of the program.
    guarded([this] { exitProgram(); });
    event->accept();
}

void export_frm::exitProgram()
{
    db_close();
    endProgram(0);
}

void export_frm::backUpToDrive()
{
    if (backUpDatabase(BackupSource::Install, m_drive1->drive()) == BackupOutcome::SourceMissing) {
        // The arrow points at Label18, the (x86) backup just below.
        m_label12->setText(QStringLiteral("↓ここをクリックしてください。"));
        return;
    }
    m_label12->setText(copiedToDrive);
}

void export_frm::backUpFromX86ToDrive()
{
    if (backUpDatabase(BackupSource::InstallX86, m_drive1->drive()) == BackupOutcome::SourceMissing)
        return;
    m_label12->setText(copiedToDrive);
    platform::msgBox(QStringLiteral("【ご注意】\r\n"
                                    "ＵＳＢメモリにコピーはできましたが、\r\n"
                                    "いまインストールが正しくない状態で利用されています。\r\n"
                                    "正しく再インストールする必要があります。"),
                     platform::vbOKOnly);
}

void export_frm::restoreFromDrive()
{
    const RestoreResult result = restoreDatabase(m_drive2->drive());
    switch (result.outcome) {
    case RestoreOutcome::Restored:
        m_label13->setText(QStringLiteral("ＰＣにデータをコピーしました。"));
        showRestoreReason({});
        break;
    case RestoreOutcome::Failed:
        // The label keeps its designed text; why it failed is there for the
        // operator who points at it and for a screen reader.
        m_label13->setText(QStringLiteral("保存できませんでした。"));
        showRestoreReason(result.reason);
        break;
    case RestoreOutcome::NoFileOnDrive:
        break;
    }
}

void export_frm::showRestoreReason(const QString& reason)
{
    m_label13->setToolTip(reason);
    m_label13->setAccessibleDescription(reason);
}

void export_frm::requestSupport()
{
    using platform::crlf;
    // Only the first install folder is looked at, never its "(x86)" twin.
    if (!platform::fileExists(installDatabasePath())) {
        platform::msgBox(
            QStringLiteral("Tavenroのインストールが正しくできていないようです\uFF61 ") + crlf +
            crlf + QStringLiteral("下の (x86)の場合の調査依頼をクリックしてください。"));
        return;
    }
    if (platform::msgBox(QStringLiteral("いまから調査依頼をします。\u3000\u3000\u3000") + crlf +
                             QStringLiteral("よろしいですか？\u3000\u3000"),
                         platform::vbYesNo + platform::vbExclamation,
                         QStringLiteral("Tavenroサポート窓口への調査依頼")) != platform::vbYes)
        return;

    // The snapshot may wait for the product's lock; the mail is shown by its
    // progress window.
    const SupportRequestResult result = send_support_request(
        [](bool busy) {
            if (busy)
                QApplication::setOverrideCursor(Qt::WaitCursor);
            else
                QApplication::restoreOverrideCursor();
        },
        showMailProgress);
    switch (result.outcome) {
    case SupportRequestResult::Outcome::Sent:
        platform::msgBox(QStringLiteral("調査依頼が完了しました。"));
        break;
    case SupportRequestResult::Outcome::Failed:
        // Only a mail the server accepted counts as a request made.
        platform::msgBox(QStringLiteral("調査依頼を送信できませんでした。") + crlf +
                         supportFailureReason(result.failure) + crlf +
                         QStringLiteral("しばらくしてからもう一度お試しください。"));
        break;
    case SupportRequestResult::Outcome::Unconfirmed:
        // The mail left whole but its answer never came: the desk may have it
        // or not, and a second mail would only send the database again.
        platform::msgBox(QStringLiteral("調査依頼が届いたかどうかを確認できませんでした。") + crlf +
                             QStringLiteral("お電話中の窓口担当者に、調査依頼が届いたかを"
                                            "ご確認ください。"),
                         platform::vbExclamation);
        break;
    case SupportRequestResult::Outcome::Declined:
        break;
    }
}
