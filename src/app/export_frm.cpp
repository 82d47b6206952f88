#include "app/export_frm.h"

#include "app/AppIcons.h"
#include "app/ClickableLabel.h"
#include "app/DesignLook.h"
#include "app/DriveList.h"
#include "app/ErrorReport.h"
#include "app/MessageBoxDialog.h"
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
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStringView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

enum class Kind
{
    Label,
    Clickable,
    Button,
    Drive
};
enum class Face
{
    Regular9,
    Bold9,
    Bold11,
    Regular11
};
enum class Ink
{
    Default,
    Red,
    DarkBlue,
    Highlight,
    ActiveCaption
};

// One control as designed: name (and index within its array, -1 outside
// one), kind, caption, left, top, width and height in twips, face, text
// colour and place in the tab order.
struct ControlDesign
{
    const char* name;
    int index;
    Kind kind;
    QStringView caption;
    int left, top, width, height;
    Face face;
    Ink ink;
    int tabIndex;
};

// Section by section, each from top to bottom.
constexpr ControlDesign controlDesigns[] = {
    {"Label3", -1, Kind::Label, u"１．生徒情報の変換", 840, 480, 2055, 255, Face::Bold9,
     Ink::Default, 12},
    {"Command1", -1, Kind::Button, u"[1]\u3000現在の生徒情報を確認する", 840, 960, 3135, 855,
     Face::Regular9, Ink::Default, 0},
    {"Label4", 0, Kind::Label, u"\"バーコード\",\"名前\",\"かな\",\"アドレス\",\"備考\"", 840, 2040,
     4815, 255, Face::Regular11, Ink::Default, 2},
    {"Label1", 2, Kind::Label,
     u"①［メモ帳］出力された５項目が、上記の順番になっていることを確認します。", 960, 2400, 5775,
     255, Face::Regular9, Ink::Highlight, 5},
    {"Label1", 3, Kind::Label, u"②上記の順番になっていたら、［メモ帳］を閉じます。", 960, 2760,
     4215, 255, Face::Regular9, Ink::Highlight, 7},
    {"Label1", 4, Kind::Label, u"③［2.変換する］をクリックします。", 960, 3120, 3975, 255,
     Face::Regular9, Ink::Highlight, 8},
    {"Label15", -1, Kind::Clickable, u"AU onenet対策", 5280, 3720, 1335, 255, Face::Regular9,
     Ink::Default, 34},
    {"Command2", -1, Kind::Button,
     u"[2]\u3000変換する\u3000\u3000\u3000\u3000\u3000\u3000\u3000\u3000\u3000\u3000", 840, 4080,
     3015, 735, Face::Regular9, Ink::Default, 26},
    {"Command8", -1, Kind::Button, u"※<アドレス>形式で出力", 4560, 4080, 2655, 735, Face::Regular9,
     Ink::Default, 33},
    {"Label1", 0, Kind::Label, u"変換が成功すると、備考のあとに\u3000,0,1 が追加されます。", 840,
     5040, 4575, 255, Face::Regular9, Ink::Highlight, 1},
    {"Label4", 1, Kind::Label, u"\"バーコード\",\"名前\",\"かな\",\"アドレス\",\"備考\",0,1", 840,
     5400, 5415, 255, Face::Regular11, Ink::Default, 3},
    {"Label1", 1, Kind::Label, u"①［メモ帳］で、上記のとおり追加されたことを確認したら、", 840,
     6000, 4575, 255, Face::Regular9, Ink::Highlight, 4},
    {"Label1", 6, Kind::Label, u"②［ファイル］→［名前を付けて保存］→ＵＳＢメモリに保存します。",
     840, 6360, 5295, 255, Face::Regular9, Ink::Highlight, 10},
    {"Label1", 5, Kind::Label, u"③［メモ帳］を閉じます。（変換完了です。）", 840, 6720, 4335, 255,
     Face::Regular9, Ink::Highlight, 9},
    {"Label2", -1, Kind::Label, u"Tavenro\u3000v2.06", 840, 7440, 1815, 255, Face::Regular9,
     Ink::Default, 11},
    {"Command7", -1, Kind::Button, u"終\u3000了", 5400, 7680, 1815, 768, Face::Regular9,
     Ink::Default, 6},
    {"Label5", -1, Kind::Label, u"２．生徒情報の一括削除", 8040, 480, 2415, 255, Face::Bold9,
     Ink::Default, 13},
    {"Command3", -1, Kind::Button, u"生徒情報の削除", 8160, 960, 3015, 735, Face::Regular9,
     Ink::Default, 22},
    {"Label1", 7, Kind::Label, u"削除すると復元できません。", 8280, 2040, 2295, 255, Face::Regular9,
     Ink::Highlight, 14},
    {"Label16", -1, Kind::Label, u"３．退室忘れの生徒を退室にする", 12000, 480, 2775, 255,
     Face::Bold9, Ink::Default, 31},
    {"Command6", -1, Kind::Button, u"全員を退室にする", 12000, 960, 2655, 735, Face::Regular9,
     Ink::Default, 30},
    {"Label14", -1, Kind::Label, u"４．バックアップ", 8040, 3480, 1695, 255, Face::Bold9,
     Ink::Default, 25},
    {"Label9", -1, Kind::Label, u"①\u3000PC→USBメモリへバックアップをします。", 8040, 4080, 4935,
     255, Face::Bold11, Ink::Default, 19},
    {"Label11", -1, Kind::Label, u"保存するUSBメモリのドライブを指定してください ", 8280, 4560,
     4095, 255, Face::Bold9, Ink::Default, 21},
    {"Command4", -1, Kind::Button, u"USBに保存", 12480, 4800, 1935, 615, Face::Regular9,
     Ink::Default, 15},
    {"Drive1", -1, Kind::Drive, u"", 8280, 5040, 3015, 300, Face::Regular9, Ink::Default, 28},
    {"Label12", -1, Kind::Label, u"", 8280, 5520, 2775, 255, Face::Regular9, Ink::Red, 23},
    {"Label18", -1, Kind::Clickable, u"※(x86)の場合の保存", 8280, 5880, 1935, 255, Face::Bold9,
     Ink::DarkBlue, 32},
    {"Label8", -1, Kind::Label,
     u"(注意)\u3000「DB」というファイル名で保存されます。ファイル名は変更しないでください。", 8280,
     6120, 6495, 255, Face::Regular9, Ink::ActiveCaption, 16},
    {"Label6", -1, Kind::Label, u"②\u3000USBメモリ→PCへ上書きします。", 8040, 6840, 4335, 255,
     Face::Bold11, Ink::Default, 18},
    {"Label10", -1, Kind::Label, u"保存しているUSBメモリのドライブを指定してください ", 8160, 7320,
     4575, 255, Face::Bold9, Ink::Default, 20},
    {"Command5", -1, Kind::Button, u"ＰＣに保存", 12480, 7680, 1935, 615, Face::Regular9,
     Ink::Default, 27},
    {"Drive2", -1, Kind::Drive, u"", 8280, 7920, 3015, 300, Face::Regular9, Ink::Default, 29},
    {"Label13", -1, Kind::Label, u"", 8280, 8400, 3255, 255, Face::Regular9, Ink::Red, 24},
    {"Label7", -1, Kind::Label,
     u"(注意)\u3000同じTavenroのバージョンのファイルでないと作動しません。", 8280, 8880, 5775, 255,
     Face::Regular9, Ink::ActiveCaption, 17},
};

// The two dividing lines, from one point to the other in twips.
struct LineDesign
{
    const char* name;
    int x1, y1, x2, y2;
};
constexpr LineDesign lineDesigns[] = {
    {"Line1", 7560, 0, 7560, 10560},
    {"Line2", 7560, 2880, 15240, 2880},
};

constexpr int clientWidth = 15240;
constexpr int clientHeight = 11010;

QFont fontOf(Face face)
{
    switch (face) {
    case Face::Bold9:
        return designFont(9, true);
    case Face::Bold11:
        return designFont(11.25, true);
    case Face::Regular11:
        return designFont(11.25, false);
    case Face::Regular9:
        break;
    }
    return designFont();
}

void paintText(QWidget* widget, Ink ink)
{
    QColor colour;
    switch (ink) {
    case Ink::Default:
        return;
    case Ink::Red:
        colour = designRed();
        break;
    case Ink::DarkBlue:
        colour = designDarkBlue();
        break;
    case Ink::Highlight:
        colour = highlightColour();
        break;
    case Ink::ActiveCaption:
        colour = activeCaptionColour();
        break;
    }
    QPalette palette = widget->palette();
    palette.setColor(widget->foregroundRole(), colour);
    widget->setPalette(palette);
}

QWidget* createControl(const ControlDesign& design, QWidget* parent)
{
    QWidget* widget = nullptr;
    switch (design.kind) {
    case Kind::Label:
    case Kind::Clickable: {
        QLabel* label =
            design.kind == Kind::Clickable ? new ClickableLabel(parent) : new QLabel(parent);
        // Captions are shown as written: "<アドレス>" is text, not markup.
        label->setTextFormat(Qt::PlainText);
        // Designed labels put their text at the top left of their box.
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setText(design.caption.toString());
        widget = label;
        break;
    }
    case Kind::Button: {
        auto* button = new QPushButton(design.caption.toString(), parent);
        // No button answers Enter or Escape on the window's behalf: the
        // keyboard reaches a button only through the focus, where Enter and
        // Space press it, as on Windows. (Outside a dialog, auto-default only
        // lets Enter press the focused button.)
        button->setAutoDefault(true);
        button->setDefault(false);
        widget = button;
        break;
    }
    case Kind::Drive:
        widget = new DriveList(parent);
        break;
    }
    widget->setObjectName(QString::fromLatin1(design.name));
    if (design.index >= 0)
        widget->setProperty("Index", design.index);
    widget->setGeometry(rectFromTwips(design.left, design.top, design.width, design.height));
    if (design.face != Face::Regular9)
        widget->setFont(fontOf(design.face));
    paintText(widget, design.ink);
    return widget;
}

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
    for (const LineDesign& line : lineDesigns) {
        auto* widget = new QWidget(this);
        widget->setObjectName(QString::fromLatin1(line.name));
        widget->setGeometry(pixelsFromTwips(line.x1), pixelsFromTwips(line.y1),
                            std::max(1, pixelsFromTwips(line.x2 - line.x1)),
                            std::max(1, pixelsFromTwips(line.y2 - line.y1)));
        widget->setAttribute(Qt::WA_TransparentForMouseEvents);
        widget->setAutoFillBackground(true);
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, highlightColour());
        widget->setPalette(palette);
    }

    for (const ControlDesign& design : controlDesigns) {
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
    for (const ControlDesign& design : controlDesigns) {
        if (design.kind == Kind::Button || design.kind == Kind::Drive)
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

namespace {

const QString copiedToDrive = QStringLiteral("ＵＳＢメモリにコピーしました。");

// The support mail's progress window: what has left, then how long the
// server's answer has been awaited, and 中止. It holds every other window of
// the tool while the mail calls run on their own thread, and closes only
// when they have returned.
class MailProgressWindow : public QDialog
{
public:
    MailProgressWindow(bsmtp::SendWatch& watch, const std::atomic<bool>& finished)
        : QDialog(QApplication::activeWindow()), m_watch(watch), m_finished(finished)
    {
        setObjectName(QStringLiteral("MailProgress"));
        setWindowTitle(QStringLiteral("調査依頼"));
        setWindowModality(Qt::ApplicationModal);
        setWindowFlag(Qt::WindowContextHelpButtonHint, false);
        m_status = new QLabel(this);
        m_status->setObjectName(QStringLiteral("status"));
        m_bar = new QProgressBar(this);
        m_bar->setObjectName(QStringLiteral("progress"));
        m_bar->setRange(0, 1000);
        m_bar->setTextVisible(false);
        m_detail = new QLabel(this);
        m_detail->setObjectName(QStringLiteral("detail"));
        m_stop = new QPushButton(QStringLiteral("中止"), this);
        m_stop->setObjectName(QStringLiteral("stop"));
        m_stop->setAutoDefault(false);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(m_status);
        layout->addWidget(m_bar);
        layout->addWidget(m_detail);
        layout->addWidget(m_stop, 0, Qt::AlignRight);
        connect(m_stop, &QPushButton::clicked, this, [this] { stop(); });
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] { refresh(); });
        timer->start(100);
        refresh();
        setMinimumWidth(pixelsFromTwips(5400));
    }

    // Escape and the close box stop the send, as 中止 does; the window stays
    // until the calls have returned.
    void reject() override { stop(); }

private:
    void stop()
    {
        m_watch.stop = true;
        m_stop->setEnabled(false);
    }

    void refresh()
    {
        if (m_finished) {
            done(Accepted);
            return;
        }
        const qint64 total = m_watch.total;
        const qint64 sent = m_watch.sent;
        if (m_watch.phase == bsmtp::SendWatch::AwaitingReply) {
            if (!m_waiting.isValid())
                m_waiting.start();
            m_status->setText(QStringLiteral("サーバーの応答を待っています"));
            m_bar->setRange(0, 0);
            m_detail->setText(QStringLiteral("%1 秒").arg(m_waiting.elapsed() / 1000));
            return;
        }
        m_status->setText(QStringLiteral("調査依頼を送信しています…"));
        m_bar->setValue(total > 0 ? int(sent * 1000 / total) : 0);
        m_detail->setText(QStringLiteral("%L1 / %L2 バイト").arg(sent).arg(total > 0 ? total : 0));
    }

    bsmtp::SendWatch& m_watch;
    const std::atomic<bool>& m_finished;
    QLabel* m_status;
    QProgressBar* m_bar;
    QLabel* m_detail;
    QPushButton* m_stop;
    QElapsedTimer m_waiting;
};

// Runs the mail calls on a thread of their own behind the progress window.
void showMailProgress(const std::function<void()>& work, bsmtp::SendWatch& watch)
{
    std::atomic<bool> finished{false};
    std::exception_ptr failure;
    MailProgressWindow window(watch, finished);
    std::thread sender([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
    });
    window.exec();
    sender.join();
    // What the calls threw reaches the handler's guard as if they had run here.
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace

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
    const QString crlf = QStringLiteral("\r\n");
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
