// The support request's boxes before anything is sent, from the settings
// window: the installation notice and the two confirmations. No server is
// needed: declined, the request never calls the mail library.

#include "app/StartUp.h"
#include "common/GuiTestBase.h"
#include "mail/Bsmtp.h"

#include <QTest>

namespace {

const QString crlf = QStringLiteral("\r\n");

} // namespace

class TestSupportBoxes : public GuiTestBase
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void boxesBeforeTheSend_data();
    void boxesBeforeTheSend();
};

void TestSupportBoxes::cleanup()
{
    bsmtp::setTestTransport(std::nullopt);
    GuiTestBase::cleanup();
}

void TestSupportBoxes::boxesBeforeTheSend_data()
{
    QTest::addColumn<bool>("x86Only");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QStringList>("prompts");
    QTest::addColumn<QList<int>>("styles");
    QTest::addColumn<QStringList>("titles");

    const QString firstTitle = QStringLiteral("Tavenroサポート窓口への調査依頼");
    const QString notice =
        QStringLiteral("Tavenroのインストールが正しくできていないようです\uFF61 ") + crlf + crlf +
        QStringLiteral("下の (x86)の場合の調査依頼をクリックしてください。");
    const QString first = QStringLiteral("いまから調査依頼をします。\u3000\u3000\u3000") + crlf +
                          QStringLiteral("よろしいですか？\u3000\u3000");
    const QString last = crlf +
                         QStringLiteral("\u3000Tavenroサポート窓口へ調査の依頼ができます。\u3000") +
                         crlf + crlf +
                         QStringLiteral("\u3000窓口担当者と電話で受付完了の確認がとれましたら[はい]"
                                        "を押してください。\u3000") +
                         crlf + crlf;

    QTest::newRow("installed only under (x86): the notice")
        << true << QList<int>{platform::vbYes, platform::vbYes} << QStringList{notice}
        << QList<int>{0} << QStringList{QStringLiteral("各種設定")};
    QTest::newRow("no to the first confirmation")
        << false << QList<int>{platform::vbNo} << QStringList{first} << QList<int>{52}
        << QStringList{firstTitle};
    QTest::newRow("yes, then no to the final confirmation")
        << false << QList<int>{platform::vbYes, platform::vbNo} << QStringList{first, last}
        << QList<int>{52, 36} << QStringList{firstTitle, QStringLiteral("調査依頼")};
}

void TestSupportBoxes::boxesBeforeTheSend()
{
    QFETCH(bool, x86Only);
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, prompts);
    QFETCH(QList<int>, styles);
    QFETCH(QStringList, titles);

    install().createDatabase(x86Only ? install().databaseX86() : install().database());
    // Every call of the mail library would be counted here.
    int calls = 0;
    bsmtp::TestTransport transport;
    transport.onCall = [&calls] { ++calls; };
    bsmtp::setTestTransport(transport);
    startUp();
    MessageBoxRecorder boxes(answers, platform::vbYes);
    QVERIFY(clickLabel(QStringLiteral("Label15")));

    QStringList shownPrompts, shownTitles;
    QList<int> shownStyles;
    for (const auto& box : boxes.boxes()) {
        shownPrompts << box.prompt;
        shownStyles << box.style;
        shownTitles << box.title;
    }
    QCOMPARE(shownPrompts, prompts);
    QCOMPARE(shownStyles, styles);
    QCOMPARE(shownTitles, titles);
    // Not even the mailbox status was asked.
    QCOMPARE(calls, 0);
}

QTEST_MAIN(TestSupportBoxes)
#include "tst_support_boxes.moc"
