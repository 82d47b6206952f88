// The data control and its model: DB.mdb of the current directory, the
// whole result as a model that passes Qt's model checks, columns kept across
// a refresh of the same fields, and refreshes that fail.

#include "TempInstall.h"
#include "platform/Error.h"
#include "viewer/Adodc.h"
#include "viewer/SnapshotModel.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString history = QStringLiteral(
    "select [date],[time],[状況],[名前],[備考2] from log order by [date],[time] DESC");

const QString someEvents =
    QStringLiteral("insert into log values ('2024-04-01','10:00:00','入室','佐藤 花子',NULL),"
                   "('2024-04-01','15:00:00','退室','佐藤 花子','お迎え'),"
                   "('2024-03-31','09:00:00','入室','<i>鈴木</i> 😀',''),"
                   "('1850-01-02','23:00:00','入室',NULL,NULL);");

} // namespace

class TestAdodc : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void readsTheCurrentDirectory();
    void sameFieldsKeepTheColumns();
    void refreshFailures_data();
    void refreshFailures();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_previousDir;
};

void TestAdodc::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_folder->path()));
}

void TestAdodc::cleanup()
{
    QDir::setCurrent(m_previousDir);
    m_folder.reset();
}

void TestAdodc::readsTheCurrentDirectory()
{
    TempInstall install;
    install.createDatabase(m_folder->filePath(QStringLiteral("DB.mdb")), someEvents);
    Adodc adodc;
    QCOMPARE(adodc.objectName(), QStringLiteral("Adodc1"));
    QCOMPARE(adodc.connectionString(),
             QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=DB.mdb;Mode=ReadWrite;"
                            "Persist Security Info=False"));
    QVERIFY(!adodc.isConnected());
    SnapshotModel* model = adodc.model();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    adodc.setRecordSource(history);
    adodc.refresh();
    QCOMPARE(adodc.databaseFile(),
             QFileInfo(m_folder->filePath(QStringLiteral("DB.mdb"))).absoluteFilePath());

    QCOMPARE(model->columnCount(), 5);
    QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("名前"));
    QCOMPARE(model->rowCount(), 4);
    QStringList rows;
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column)
            cells << model->index(row, column).data().toString();
        rows << cells.join(QLatin1Char('|'));
        QVERIFY(!(model->flags(model->index(row, 0)) & Qt::ItemIsEditable));
    }
    QCOMPARE(rows,
             QStringList({"1850/01/02|23:00:00|入室||", "2024/03/31|9:00:00|入室|<i>鈴木</i> 😀|",
                          "2024/04/01|15:00:00|退室|佐藤 花子|お迎え",
                          "2024/04/01|10:00:00|入室|佐藤 花子|"}));
}

void TestAdodc::sameFieldsKeepTheColumns()
{
    TempInstall install;
    const QString file =
        install.createDatabase(m_folder->filePath(QStringLiteral("DB.mdb")), someEvents);
    Adodc adodc;
    SnapshotModel* model = adodc.model();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    adodc.refresh(); // the designed source: the roster, other fields
    QCOMPARE(model->columnCount(), 9);
    QCOMPARE(model->rowCount(), 0);

    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    adodc.setRecordSource(history);
    adodc.refresh();
    QCOMPARE(resets.size(), 1);

    TempInstall::execute(file, QStringLiteral("delete from log where [time] = '15:00:00'"));
    adodc.refresh();
    QCOMPARE(resets.size(), 1);
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(inserted.size(), 1);

    TempInstall::execute(file, QStringLiteral("delete from log"));
    adodc.refresh();
    QCOMPARE(model->rowCount(), 0);
    QCOMPARE(model->columnCount(), 5);
    QCOMPARE(resets.size(), 1);
}

void TestAdodc::refreshFailures_data()
{
    QTest::addColumn<QString>("file"); // what DB.mdb holds: nothing, garbage, or SQL
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("named");
    QTest::newRow("no DB.mdb") << QString() << int(platform::Error::FileNotFound) << "DB.mdb";
    QTest::newRow("not a database") << "garbage" << int(platform::Error::Engine) << "DB.mdb";
    QTest::newRow("no table log") << "drop table log;" << int(platform::Error::Engine) << "log";
}

void TestAdodc::refreshFailures()
{
    QFETCH(QString, file);
    QFETCH(int, number);
    QFETCH(QString, named);
    TempInstall install;
    const QString path = m_folder->filePath(QStringLiteral("DB.mdb"));
    if (file == QLatin1String("garbage")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    } else if (!file.isEmpty()) {
        install.createDatabase(path, file);
    }
    Adodc adodc;
    adodc.setRecordSource(history);
    QSignalSpy refreshed(&adodc, &Adodc::refreshed);
    try {
        adodc.refresh();
        QFAIL("the refresh did not fail");
    } catch (const platform::Error& e) {
        QCOMPARE(e.number(), number);
        QVERIFY2(e.description().contains(named), qPrintable(e.description()));
    }
    QVERIFY(refreshed.isEmpty());
    QCOMPARE(adodc.model()->rowCount(), 0);
}

QTEST_MAIN(TestAdodc)
#include "tst_adodc.moc"
