// The data control and its model under Qt's model checks: DB.mdb of the
// current directory, cells as text, and refreshes that keep the columns when
// the fields stay the same.

#include "common/TempInstall.h"
#include "viewer/Adodc.h"
#include "viewer/SnapshotModel.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QSignalSpy>
#include <QtTest>

class TestAdodc : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refreshesUnderTheModelTester();
};

void TestAdodc::refreshesUnderTheModelTester()
{
    QTemporaryDir folder;
    const QString previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder.path()));
    const auto restore = qScopeGuard([&] { QDir::setCurrent(previousDir); });
    TempInstall install;
    const QString file = install.createDatabase(
        folder.filePath(QStringLiteral("DB.mdb")),
        QStringLiteral("insert into log values ('2024-04-01','10:00:00','入室','佐藤 花子',NULL),"
                       "('2024-04-01','15:00:00','退室','佐藤 花子','お迎え'),"
                       "('1850-01-02','23:00:00','入室',NULL,NULL);"));

    Adodc adodc;
    SnapshotModel* model = adodc.model();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);

    adodc.refresh(); // the designed source: the roster, empty
    QVERIFY(adodc.isConnected());
    QCOMPARE(model->columnCount(), 9);
    QCOMPARE(model->rowCount(), 0);

    adodc.setRecordSource(QStringLiteral(
        "select [date],[time],[状況],[名前],[備考2] from log order by [date],[time] DESC"));
    adodc.refresh();
    QCOMPARE(resets.size(), 2);
    QCOMPARE(model->headerData(4, Qt::Horizontal).toString(), QStringLiteral("備考2"));
    QCOMPARE(model->headerData(2, Qt::Vertical).toInt(), 3);
    QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("1850/01/02"));
    QCOMPARE(model->index(1, 4).data().toString(), QStringLiteral("お迎え"));
    QVERIFY(!(model->flags(model->index(1, 4)) & Qt::ItemIsEditable));

    // The same fields again: rows go and come, the columns stay.
    TempInstall::execute(file, QStringLiteral("delete from log where [time] = '15:00:00'"));
    adodc.refresh();
    QCOMPARE(resets.size(), 2);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(model->rowCount(), 2);

    TempInstall::execute(file, QStringLiteral("delete from log"));
    adodc.refresh();
    QCOMPARE(resets.size(), 2);
    QCOMPARE(model->rowCount(), 0);
    QCOMPARE(model->columnCount(), 5);
}

QTEST_MAIN(TestAdodc)
#include "tst_adodc.moc"
