// The registry of the seams: the shipped behaviour when nobody stands in, and
// what comes back when overrides end, in either order.

#include "platform/MessageBox.h"
#include "platform/ProgramStart.h"
#include "platform/Seams.h"

#include <QTest>
#include <memory>

class TestSeams : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void withoutHandlerEveryBoxIsDeclined_data();
    void withoutHandlerEveryBoxIsDeclined();
    void overridesEndInEitherOrder_data();
    void overridesEndInEitherOrder();
    void handlerEndingItsOwnOverrideFinishes();
};

void TestSeams::withoutHandlerEveryBoxIsDeclined_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("answer");
    QTest::newRow("OK only: OK") << int(platform::vbOKOnly) << int(platform::vbOK);
    QTest::newRow("OK, cancel: cancel") << int(platform::vbOKCancel) << int(platform::vbCancel);
    QTest::newRow("abort, retry, ignore: abort")
        << int(platform::vbAbortRetryIgnore) << int(platform::vbAbort);
    QTest::newRow("yes, no, cancel: cancel")
        << int(platform::vbYesNoCancel) << int(platform::vbCancel);
    QTest::newRow("yes, no with a question: no")
        << int(platform::vbYesNo | platform::vbQuestion) << int(platform::vbNo);
    QTest::newRow("retry, cancel: cancel")
        << int(platform::vbRetryCancel) << int(platform::vbCancel);
}

void TestSeams::withoutHandlerEveryBoxIsDeclined()
{
    QFETCH(int, style);
    QFETCH(int, answer);
    QVERIFY(!platform::seams().messageBox);
    QCOMPARE(platform::msgBox(QStringLiteral("削除しますか？"), style), answer);
}

void TestSeams::overridesEndInEitherOrder_data()
{
    QTest::addColumn<bool>("innerFirst");
    QTest::newRow("inner ends first") << true;
    QTest::newRow("outer ends first") << false;
}

void TestSeams::overridesEndInEitherOrder()
{
    QFETCH(bool, innerFirst);
    QList<int> ends;
    auto outer = std::make_unique<platform::ScopedSeams>();
    outer->setMessageBox([](const QString&, int, const QString&) { return int(platform::vbYes); });
    auto inner = std::make_unique<platform::ScopedSeams>();
    inner->setProgramStart([](const QString&, int) { return qint64(77); })
        .setProgramEnd([&ends](int status) { ends << status; });

    QCOMPARE(platform::msgBox(QStringLiteral("?"), platform::vbYesNo), int(platform::vbYes));
    QCOMPARE(platform::shell(QStringLiteral("notepad.exe a.txt"), platform::vbNormalFocus), 77);

    // Each override takes back only what it put in.
    (innerFirst ? inner : outer).reset();
    QCOMPARE(bool(platform::seams().messageBox), innerFirst);
    QCOMPARE(bool(platform::seams().programStart), !innerFirst);
    QCOMPARE(bool(platform::seams().programEnd), !innerFirst);
    if (!innerFirst) {
        platform::seams().programEnd(3);
        QCOMPARE(ends, QList<int>{3});
    }
    (innerFirst ? outer : inner).reset();
    QVERIFY(!platform::seams().messageBox);
    QVERIFY(!platform::seams().programStart);
    QVERIFY(!platform::seams().programEnd);
}

void TestSeams::handlerEndingItsOwnOverrideFinishes()
{
    // A drawn box runs a modal loop, and anything may run in it, the end of
    // the override that installed the box included.
    auto scope = std::make_unique<platform::ScopedSeams>();
    const QString kept =
        QStringLiteral("captured state that must outlive the override").repeated(8);
    QString seen;
    scope->setMessageBox([&scope, &seen, kept](const QString&, int, const QString&) {
        scope.reset();
        seen = kept;
        return int(platform::vbOK);
    });
    QCOMPARE(platform::msgBox(QStringLiteral("!")), int(platform::vbOK));
    QCOMPARE(seen, kept);
    QVERIFY(!platform::seams().messageBox);
}

QTEST_GUILESS_MAIN(TestSeams)
#include "tst_seams.moc"
