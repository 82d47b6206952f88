// The settings window against its design: every control's name, kind,
// caption, place, face and colour, the lines, the tab order and the drive
// lists.

#include "app/ClickableLabel.h"
#include "app/DesignLook.h"
#include "app/DriveList.h"
#include "app/ProgramEnd.h"
#include "app/ProgramWindows.h"
#include "app/export_frm.h"
#include "common/GuiTestBase.h"
#include "platform/Drives.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

namespace {

enum class Kind
{
    Label,
    Clickable,
    Button,
    Drive
};
enum class Colour
{
    Default,
    Red,
    DarkBlue,
    Highlight,
    ActiveCaption
};

struct Twips
{
    int left, top, width, height;
};

int px(int twips)
{
    return qRound(twips / 15.0);
}

QString family()
{
    return QStringLiteral("ＭＳ Ｐゴシック");
}

// "Label1(3)" names the member of the array Label1 whose index is 3.
QWidget* control(const QWidget& window, const QString& designName)
{
    const qsizetype paren = designName.indexOf(QLatin1Char('('));
    if (paren < 0)
        return window.findChild<QWidget*>(designName, Qt::FindDirectChildrenOnly);
    const QString name = designName.left(paren);
    const int index = designName.mid(paren + 1).chopped(1).toInt();
    QWidget* found = nullptr;
    const auto members = window.findChildren<QWidget*>(name, Qt::FindDirectChildrenOnly);
    for (QWidget* member : members) {
        if (member->property("Index").toInt() == index)
            found = found ? nullptr : member; // two members with one index: none
    }
    return found;
}

// The design name of the widget with the focus; empty when none has it.
QString focusName()
{
    const QWidget* focus = QApplication::focusWidget();
    return focus ? focus->objectName() : QString();
}

QColor expectedColour(Colour colour, const QWidget* widget)
{
    switch (colour) {
    case Colour::Red:
        return QColor(255, 0, 0);
    case Colour::DarkBlue:
        return QColor(0, 0, 192);
    case Colour::Highlight:
        return QApplication::palette().color(QPalette::Highlight);
    case Colour::ActiveCaption:
#ifdef Q_OS_WIN
        return activeCaptionColour();
#else
        return QColor(153, 180, 209);
#endif
    case Colour::Default:
        break;
    }
    return QApplication::palette(widget).color(widget->foregroundRole());
}

} // namespace

Q_DECLARE_METATYPE(Kind)
Q_DECLARE_METATYPE(Colour)
Q_DECLARE_METATYPE(Twips)

class TestExportFrm : public GuiTestBase
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void control_data();
    void control();
    void onlyDesignedControls();
    void line_data();
    void line();
    void labelArraysReachableByIndex();
    void window();
    void resizingKeepsTheLayout();
    void tabOrder();
    void escapeStartsNothing();
    void clickableLabelTakesNoFocus_data();
    void clickableLabelTakesNoFocus();
    void drivesStartOnCurrentDrive_data();
    void drivesStartOnCurrentDrive();
    void driveChangeClearsOnlyItsLabel_data();
    void driveChangeClearsOnlyItsLabel();
    void designFaceIsJapanese();

private:
    // The settings window alone, owned by the run's owner of the windows.
    export_frm* m_window = nullptr;
};

void TestExportFrm::init()
{
    GuiTestBase::init();
    if (QTest::currentTestFailed())
        return;
    install().addDrive(QLatin1Char('e'));
    install().addDrive(QLatin1Char('f'));
    m_window = ProgramWindows::current().get<export_frm>();
}

void TestExportFrm::control_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<Twips>("twips");
    QTest::addColumn<double>("pointSize");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<Colour>("colour");
    auto row = [](const char* name, Kind kind, const char16_t* caption, Twips twips,
                  double pointSize, bool bold, Colour colour) {
        QTest::newRow(name) << kind << QString::fromUtf16(caption) << twips << pointSize << bold
                            << colour;
    };
    row("Label3", Kind::Label, u"１．生徒情報の変換", {840, 480, 2055, 255}, 9, true,
        Colour::Default);
    row("Command1", Kind::Button, u"[1]\u3000現在の生徒情報を確認する", {840, 960, 3135, 855}, 9,
        false, Colour::Default);
    row("Label4(0)", Kind::Label, u"\"バーコード\",\"名前\",\"かな\",\"アドレス\",\"備考\"",
        {840, 2040, 4815, 255}, 11.25, false, Colour::Default);
    row("Label1(2)", Kind::Label,
        u"①［メモ帳］出力された５項目が、上記の順番になっていることを確認します。",
        {960, 2400, 5775, 255}, 9, false, Colour::Highlight);
    row("Label1(3)", Kind::Label, u"②上記の順番になっていたら、［メモ帳］を閉じます。",
        {960, 2760, 4215, 255}, 9, false, Colour::Highlight);
    row("Label1(4)", Kind::Label, u"③［2.変換する］をクリックします。", {960, 3120, 3975, 255}, 9,
        false, Colour::Highlight);
    row("Label15", Kind::Clickable, u"AU onenet対策", {5280, 3720, 1335, 255}, 9, false,
        Colour::Default);
    row("Command2", Kind::Button,
        u"[2]\u3000変換する\u3000\u3000\u3000\u3000\u3000\u3000\u3000\u3000\u3000\u3000",
        {840, 4080, 3015, 735}, 9, false, Colour::Default);
    row("Command8", Kind::Button, u"※<アドレス>形式で出力", {4560, 4080, 2655, 735}, 9, false,
        Colour::Default);
    row("Label1(0)", Kind::Label, u"変換が成功すると、備考のあとに\u3000,0,1 が追加されます。",
        {840, 5040, 4575, 255}, 9, false, Colour::Highlight);
    row("Label4(1)", Kind::Label, u"\"バーコード\",\"名前\",\"かな\",\"アドレス\",\"備考\",0,1",
        {840, 5400, 5415, 255}, 11.25, false, Colour::Default);
    row("Label1(1)", Kind::Label, u"①［メモ帳］で、上記のとおり追加されたことを確認したら、",
        {840, 6000, 4575, 255}, 9, false, Colour::Highlight);
    row("Label1(6)", Kind::Label, u"②［ファイル］→［名前を付けて保存］→ＵＳＢメモリに保存します。",
        {840, 6360, 5295, 255}, 9, false, Colour::Highlight);
    row("Label1(5)", Kind::Label, u"③［メモ帳］を閉じます。（変換完了です。）",
        {840, 6720, 4335, 255}, 9, false, Colour::Highlight);
    row("Label2", Kind::Label, u"Tavenro\u3000v2.06", {840, 7440, 1815, 255}, 9, false,
        Colour::Default);
    row("Command7", Kind::Button, u"終\u3000了", {5400, 7680, 1815, 768}, 9, false,
        Colour::Default);
    row("Label5", Kind::Label, u"２．生徒情報の一括削除", {8040, 480, 2415, 255}, 9, true,
        Colour::Default);
    row("Command3", Kind::Button, u"生徒情報の削除", {8160, 960, 3015, 735}, 9, false,
        Colour::Default);
    row("Label1(7)", Kind::Label, u"削除すると復元できません。", {8280, 2040, 2295, 255}, 9, false,
        Colour::Highlight);
    row("Label16", Kind::Label, u"３．退室忘れの生徒を退室にする", {12000, 480, 2775, 255}, 9, true,
        Colour::Default);
    row("Command6", Kind::Button, u"全員を退室にする", {12000, 960, 2655, 735}, 9, false,
        Colour::Default);
    row("Label14", Kind::Label, u"４．バックアップ", {8040, 3480, 1695, 255}, 9, true,
        Colour::Default);
    row("Label9", Kind::Label, u"①\u3000PC→USBメモリへバックアップをします。",
        {8040, 4080, 4935, 255}, 11.25, true, Colour::Default);
    row("Label11", Kind::Label, u"保存するUSBメモリのドライブを指定してください ",
        {8280, 4560, 4095, 255}, 9, true, Colour::Default);
    row("Command4", Kind::Button, u"USBに保存", {12480, 4800, 1935, 615}, 9, false,
        Colour::Default);
    row("Drive1", Kind::Drive, u"", {8280, 5040, 3015, 300}, 9, false, Colour::Default);
    row("Label12", Kind::Label, u"", {8280, 5520, 2775, 255}, 9, false, Colour::Red);
    row("Label18", Kind::Clickable, u"※(x86)の場合の保存", {8280, 5880, 1935, 255}, 9, true,
        Colour::DarkBlue);
    row("Label8", Kind::Label,
        u"(注意)\u3000「DB」というファイル名で保存されます。ファイル名は変更しないでください。",
        {8280, 6120, 6495, 255}, 9, false, Colour::ActiveCaption);
    row("Label6", Kind::Label, u"②\u3000USBメモリ→PCへ上書きします。", {8040, 6840, 4335, 255},
        11.25, true, Colour::Default);
    row("Label10", Kind::Label, u"保存しているUSBメモリのドライブを指定してください ",
        {8160, 7320, 4575, 255}, 9, true, Colour::Default);
    row("Command5", Kind::Button, u"ＰＣに保存", {12480, 7680, 1935, 615}, 9, false,
        Colour::Default);
    row("Drive2", Kind::Drive, u"", {8280, 7920, 3015, 300}, 9, false, Colour::Default);
    row("Label13", Kind::Label, u"", {8280, 8400, 3255, 255}, 9, false, Colour::Red);
    row("Label7", Kind::Label,
        u"(注意)\u3000同じTavenroのバージョンのファイルでないと作動しません。",
        {8280, 8880, 5775, 255}, 9, false, Colour::ActiveCaption);
}

void TestExportFrm::control()
{
    QFETCH(Kind, kind);
    QFETCH(QString, caption);
    QFETCH(Twips, twips);
    QFETCH(double, pointSize);
    QFETCH(bool, bold);
    QFETCH(Colour, colour);

    QWidget* widget = ::control(*m_window, QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY2(widget, "no such control, or its index is not unique");

    switch (kind) {
    case Kind::Button: {
        auto* button = qobject_cast<QPushButton*>(widget);
        QVERIFY(button);
        QCOMPARE(button->text(), caption);
        QVERIFY(!button->isDefault());
        QVERIFY(button->autoDefault()); // Enter presses the focused button only
        QVERIFY(button->focusPolicy() & Qt::TabFocus);
        break;
    }
    case Kind::Label:
    case Kind::Clickable: {
        auto* label = qobject_cast<QLabel*>(widget);
        QVERIFY(label);
        QCOMPARE(qobject_cast<ClickableLabel*>(widget) != nullptr, kind == Kind::Clickable);
        QCOMPARE(label->text(), caption);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
        break;
    }
    case Kind::Drive:
        QVERIFY(qobject_cast<DriveList*>(widget));
        QVERIFY(widget->focusPolicy() & Qt::TabFocus);
        break;
    }

    QCOMPARE(widget->geometry(),
             QRect(px(twips.left), px(twips.top), px(twips.width), px(twips.height)));
    QCOMPARE(widget->font().family(), family());
    QCOMPARE(widget->font().pointSizeF(), pointSize);
    QCOMPARE(widget->font().bold(), bold);
    QCOMPARE(widget->palette().color(widget->foregroundRole()), expectedColour(colour, widget));
    QVERIFY(widget->isEnabled());
    QVERIFY(!widget->isHidden());
}

void TestExportFrm::onlyDesignedControls()
{
    QSet<QString> designed = {QStringLiteral("Line1"), QStringLiteral("Line2")};
    for (const char* name :
         {"Label3", "Command1", "Label4",   "Label1",   "Label15", "Command2", "Command8",
          "Label2", "Command7", "Label5",   "Command3", "Label16", "Command6", "Label14",
          "Label9", "Label11",  "Command4", "Drive1",   "Label12", "Label18",  "Label8",
          "Label6", "Label10",  "Command5", "Drive2",   "Label13", "Label7"})
        designed << QString::fromLatin1(name);
    const auto children = m_window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    int count = 0;
    for (const QWidget* child : children) {
        if (child->isWindow())
            continue;
        QVERIFY2(designed.contains(child->objectName()), qPrintable(child->objectName()));
        ++count;
    }
    // 25 single controls, 8 + 2 array members, 2 lines.
    QCOMPARE(count, 25 + 8 + 2 + 2);
}

void TestExportFrm::line_data()
{
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::newRow("Line1") << QPoint(7560, 0) << QPoint(7560, 10560);
    QTest::newRow("Line2") << QPoint(7560, 2880) << QPoint(15240, 2880);
}

void TestExportFrm::line()
{
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QWidget* line = ::control(*m_window, QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(line);
    // A one-pixel line from the first point up to, not including, the last.
    const QRect expected(QPoint(px(from.x()), px(from.y())),
                         QSize(qMax(1, px(to.x() - from.x())), qMax(1, px(to.y() - from.y()))));
    QCOMPARE(line->geometry(), expected);
    QVERIFY(line->autoFillBackground());
    QCOMPARE(line->palette().color(QPalette::Window),
             QApplication::palette().color(QPalette::Highlight));
    QVERIFY(line->testAttribute(Qt::WA_TransparentForMouseEvents));
}

void TestExportFrm::labelArraysReachableByIndex()
{
    for (int i = 0; i < 8; ++i)
        QCOMPARE(m_window->label1(i), ::control(*m_window, QStringLiteral("Label1(%1)").arg(i)));
    for (int i = 0; i < 2; ++i)
        QCOMPARE(m_window->label4(i), ::control(*m_window, QStringLiteral("Label4(%1)").arg(i)));
    QCOMPARE(m_window->label12(), ::control(*m_window, QStringLiteral("Label12")));
    QCOMPARE(m_window->label13(), ::control(*m_window, QStringLiteral("Label13")));
    QCOMPARE(m_window->drive1(), ::control(*m_window, QStringLiteral("Drive1")));
    QCOMPARE(m_window->drive2(), ::control(*m_window, QStringLiteral("Drive2")));
}

void TestExportFrm::window()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QCOMPARE(m_window->objectName(), QStringLiteral("export_frm"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tavenro (各種設定)"));
    QCOMPARE(m_window->size(), QSize(1016, 734));
    QCOMPARE(m_window->font().family(), family());
    QCOMPARE(m_window->font().pointSizeF(), 9.0);
    QVERIFY(!m_window->font().bold());
    const QIcon icon = m_window->windowIcon();
    QVERIFY(!icon.isNull());
    QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
    QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
    const Qt::WindowFlags flags = m_window->windowFlags();
    QVERIFY(!(flags & Qt::MSWindowsFixedSizeDialogHint));
    QVERIFY(m_window->minimumSize().width() < 1016 && m_window->maximumSize().width() > 1016);
}

void TestExportFrm::resizingKeepsTheLayout()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QHash<QWidget*, QRect> before;
    for (QWidget* child : m_window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        before.insert(child, child->geometry());
    for (QSize size : {QSize(400, 300), QSize(1600, 1000)}) {
        m_window->resize(size);
        QTRY_COMPARE(m_window->size(), size);
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(it.key()->geometry(), it.value());
    }
}

void TestExportFrm::tabOrder()
{
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QCOMPARE(focusName(), QStringLiteral("Command1"));
    QStringList visited;
    for (int i = 0; i < 10; ++i) {
        QWidget* focus = QApplication::focusWidget();
        QVERIFY2(focus, qPrintable(visited.join(QLatin1Char(' '))));
        QTest::keyClick(focus, Qt::Key_Tab);
        visited << focusName();
    }
    // Round the window once: back to the first stop.
    QCOMPARE(visited, QStringList({"Command7", "Command4", "Command3", "Command2", "Command5",
                                   "Drive1", "Drive2", "Command6", "Command8", "Command1"}));
}

void TestExportFrm::escapeStartsNothing()
{
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    for (const char* name : {"Command1", "Command7", "Drive1"}) {
        QWidget* widget = ::control(*m_window, QString::fromLatin1(name));
        QVERIFY2(widget, name);
        widget->setFocus();
        QCOMPARE(QApplication::focusWidget(), widget);
        QTest::keyClick(widget, Qt::Key_Escape);
    }
    settle();
    QVERIFY(boxes().boxes().isEmpty());
    QVERIFY(starts().starts().isEmpty());
    QVERIFY(!programEnded());
    QVERIFY(programEnds().isEmpty());
    QVERIFY(m_window->isVisible());
}

void TestExportFrm::clickableLabelTakesNoFocus_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("Label15, support request") << QStringLiteral("Label15");
    QTest::newRow("Label18, (x86) backup") << QStringLiteral("Label18");
}

void TestExportFrm::clickableLabelTakesNoFocus()
{
    QFETCH(QString, name);
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    auto* label = qobject_cast<ClickableLabel*>(::control(*m_window, name));
    QVERIFY(label);
    QSignalSpy clicks(label, &ClickableLabel::clicked);
    QTest::mouseClick(label, Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
    QTest::mouseClick(label, Qt::RightButton);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(focusName(), QStringLiteral("Command1"));
}

void TestExportFrm::drivesStartOnCurrentDrive_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("drive");
    QTest::newRow("started on c:") << QStringLiteral("drive_c") << QStringLiteral("c:");
    QTest::newRow("started on e:") << QStringLiteral("drive_e") << QStringLiteral("e:");
}

void TestExportFrm::drivesStartOnCurrentDrive()
{
    QFETCH(QString, folder);
    QFETCH(QString, drive);
    QVERIFY(QDir::setCurrent(install().prefix() + QLatin1Char('/') + folder));
    export_frm window;
    for (DriveList* list : {window.drive1(), window.drive2()}) {
        QCOMPARE(list->drive(), drive);
        // Every drive of the machine is there to choose, each reported bare.
        QStringList offered;
        for (int i = 0; i < list->count(); ++i)
            offered << list->itemData(i).toString();
        for (const platform::Drive& d : platform::listDrives())
            QVERIFY2(offered.contains(d.text), qPrintable(d.text));
    }
    QVERIFY(window.label12()->text().isEmpty());
    QVERIFY(window.label13()->text().isEmpty());
}

void TestExportFrm::driveChangeClearsOnlyItsLabel_data()
{
    QTest::addColumn<int>("changed");
    QTest::newRow("Drive1 clears Label12") << 1;
    QTest::newRow("Drive2 clears Label13") << 2;
}

void TestExportFrm::driveChangeClearsOnlyItsLabel()
{
    QFETCH(int, changed);
    m_window->label12()->setText(QStringLiteral("保存しました。"));
    m_window->label13()->setText(QStringLiteral("上書きしました。"));
    DriveList* list = changed == 1 ? m_window->drive1() : m_window->drive2();
    const int other = list->findData(QStringLiteral("e:"));
    QVERIFY(other >= 0 && other != list->currentIndex());
    list->setCurrentIndex(other);
    QCOMPARE(list->drive(), QStringLiteral("e:"));
    QCOMPARE(m_window->label12()->text(),
             changed == 1 ? QString() : QStringLiteral("保存しました。"));
    QCOMPARE(m_window->label13()->text(),
             changed == 2 ? QString() : QStringLiteral("上書きしました。"));
    QVERIFY(!programEnded());
}

void TestExportFrm::designFaceIsJapanese()
{
    bool anyJapanese = false;
    const auto families = QFontDatabase::families(QFontDatabase::Japanese);
    for (const QString& f : families)
        anyJapanese = anyJapanese || !QFontDatabase::isPrivateFamily(f);
    if (!anyJapanese)
        QSKIP("no Japanese font installed");
    const QString resolved = QFontInfo(m_window->label1(0)->font()).family();
    QVERIFY2(QFontDatabase::writingSystems(resolved).contains(QFontDatabase::Japanese),
             qPrintable(resolved));
    if (QFontDatabase::hasFamily(QStringLiteral("IPAPGothic")))
        QCOMPARE(resolved, QStringLiteral("IPAPGothic"));
}

QTEST_MAIN(TestExportFrm)
#include "tst_export_frm.moc"
