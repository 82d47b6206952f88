#include "common/TempInstall.h"
#include "common/ThrowsNaming.h"
#include "engine/DatabaseFormat.h"
#include "engine/jet/JetSelect.h"
#include "engine/jet/MdbFile.h"
#include "platform/Error.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <cmath>

using engine::DateTime;
using engine::Null;
using engine::Value;

Q_DECLARE_METATYPE(engine::Value)
Q_DECLARE_METATYPE(engine::DatabaseFormat)

namespace {

const char rosterStatement[] =
    "select [barcode],[名前],[kana],[email],[備考] from list order by [barcode]";
const char historyStatement[] =
    "select [date],[time],[状況],[名前],[備考2] from log order by [date],[time] DESC";

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

Value day(int y, int m, int d)
{
    return DateTime{QDate(y, m, d), QTime(0, 0)};
}
Value clock(int h, int m, int s = 0)
{
    return DateTime{DateTime::zeroDay(), QTime(h, m, s)};
}
Value stamp(int y, int mo, int d, int h, int mi)
{
    return DateTime{QDate(y, mo, d), QTime(h, mi)};
}

QByteArray sha256(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex();
}

QString describeRow(const engine::JetResult& r, qsizetype row)
{
    QStringList cells;
    for (int f = 0; f < r.fieldCount(); ++f)
        cells << engine::describe(r.at(row, f));
    return cells.join(QLatin1String(" | "));
}

// The byte position, in a Jet file, of the row slot (the two-byte offset on
// its data page) of the roster row with this barcode; -1 when not found.
qsizetype slotOfBarcode(const QByteArray& file, const QByteArray& barcode)
{
    const QByteArray stored = QByteArray("\xff\xfe") + barcode; // compressed text
    auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(file.constData() + at); };
    for (qsizetype page = 0; page + 4096 <= file.size(); page += 4096) {
        if (file.at(page) != 1)
            continue;
        const int slots = u16(page + 12);
        for (int i = 0; i < slots; ++i) {
            const int start = u16(page + 14 + 2 * i) & 0x1fff;
            const int end = i == 0 ? 4096 : u16(page + 12 + 2 * i) & 0x1fff;
            if (file.mid(page + start, end - start).contains(stored))
                return page + 14 + 2 * i;
        }
    }
    return -1;
}

} // namespace

class TestJet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void format_data();
    void format();
    void decodeText_data();
    void decodeText();
    void roster_data();
    void roster();
    void rosterByKana();
    void schema();
    void order_data();
    void order();
    void edgeHistory();
    void largeHistory();
    void collation_data();
    void collation();
    void refused_data();
    void refused();
    void fileUnchangedByReadsAndRefusals();
    void openRefuses_data();
    void openRefuses();
    void rowSlots_data();
    void rowSlots();
    void damagedDates_data();
    void damagedDates();

private:
    // A fresh copy of a fixture in the test's folder; empty (and skipped or
    // failed) when it could not be made.
    QString copyFixture(const char* name);
    engine::JetResult run(const QString& file, const QString& statement);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestJet::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestJet::copyFixture(const char* name)
{
    const QString destination = m_dir->filePath(QString::fromLatin1(name));
    const QString fixture = fixturePath(QStringLiteral("jet4/") + QLatin1String(name));
    if (fixture.isEmpty())
        return {};
    if (!QFile::exists(destination) && !QFile::copy(fixture, destination))
        return {};
    QFile::setPermissions(destination, QFile::ReadOwner | QFile::WriteOwner);
    return destination;
}

engine::JetResult TestJet::run(const QString& file, const QString& statement)
{
    engine::jet::MdbFile db;
    db.open(file);
    return engine::runJetSelect(db, statement);
}

#define FIXTURE_OR_SKIP(var, name)                                                                 \
    const QString var = copyFixture(name);                                                         \
    if (var.isEmpty())                                                                             \
        QSKIP("the shared fixtures folder is not beside this checkout");

void TestJet::format_data()
{
    QTest::addColumn<QByteArray>("content"); // "<fixture>" for edge.mdb, "<none>" for no file
    QTest::addColumn<engine::DatabaseFormat>("expected");
    using F = engine::DatabaseFormat;
    QTest::newRow("genuine-jet") << QByteArray("<fixture>") << F::Jet;
    QTest::newRow("sqlite") << QByteArray("SQLite format 3\0rest", 20) << F::Sqlite;
    QTest::newRow("jet-signature-at-0") << QByteArray("Standard Jet DB\0\0\0\0", 19) << F::Other;
    QTest::newRow("jet-header-only") << QByteArray("\0\1\0\0Standard Jet DB", 19) << F::Jet;
    QTest::newRow("ace") << QByteArray("\0\1\0\0Standard ACE DB\0", 20) << F::Other;
    QTest::newRow("empty") << QByteArray() << F::Other;
    QTest::newRow("missing") << QByteArray("<none>") << F::Unreadable;
}

void TestJet::format()
{
    QFETCH(QByteArray, content);
    QFETCH(engine::DatabaseFormat, expected);
    QString path = m_dir->filePath(QStringLiteral("DB.mdb"));
    if (content == "<fixture>") {
        FIXTURE_OR_SKIP(edge, "edge.mdb");
        path = edge;
    } else if (content != "<none>") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QCOMPARE(engine::detectDatabaseFormat(path), expected);
    QCOMPARE(engine::detectDatabaseFormat(m_dir->path()), engine::DatabaseFormat::Unreadable);
}

void TestJet::decodeText_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("utf16") << QByteArray("N\0001\0", 4) << QStringLiteral("N1");
    QTest::newRow("surrogate-pair") << QByteArray("\x42\xd8\xb7\xdf\x30\x75", 6) << text("𠮷田");
    QTest::newRow("compressed") << QByteArray("\xff\xfeK1", 4) << QStringLiteral("K1");
    QTest::newRow("compressed-then-wide-then-compressed")
        << QByteArray("\xff\xfe"
                      "A\0\x2c\x67\x42\xd8\xb7\xdf\0B",
                      12)
        << text("A本𠮷B");
    QTest::newRow("compressed-odd-tail") << QByteArray("\xff\xfe"
                                                       "A\0\x2c",
                                                       5)
                                         << text("A");
    QTest::newRow("compressed-empty") << QByteArray("\xff\xfe") << QString();
    QTest::newRow("utf16-odd-tail") << QByteArray("A\0B", 3) << QStringLiteral("A");
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestJet::decodeText()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, expected);
    QCOMPARE(engine::detail::decodeJetText(stored.constData(), stored.size()), expected);
}

void TestJet::roster_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QList<Value>>("expected"); // barcode, 名前, kana, email, 備考

    const QString memo = text("メモ: ") + QString(3000, QChar(0x3042));
    QTest::newRow("1001-empty-memo")
        << 0 << QList<Value>{text("1001"), text("N1"), text("K1"), text("M1"), QString()};
    QTest::newRow("1002-jis-variants-null-mail")
        << 1
        << QList<Value>{text("1002"), text("髙橋 ①郎"), text("たかはし いちろう"), Null{},
                        text("～在籍中～")};
    QTest::newRow("1003-plain") << 2
                                << QList<Value>{text("1003"), text("佐藤 花子"),
                                                text("さとう はなこ"), text("hanako@example.jp"),
                                                text("二年生")};
    QTest::newRow("1004-quote-comma-space")
        << 3
        << QList<Value>{text("1004"), text("O\"Neil, Jr"), text("おにーる"), text(" "),
                        text("quote\"and,comma")};
    QTest::newRow("1005-long-memo")
        << 4
        << QList<Value>{text("1005"), text("鈴木 一郎"), text("すずき いちろう"),
                        text("<ichiro@example.jp>"), memo};
    QTest::newRow("1006-outside-bmp-null-memo")
        << 5
        << QList<Value>{text("1006"), text("𠮷田 葵"), text("よしだ あおい"), QString(), Null{}};
}

void TestJet::roster()
{
    QFETCH(int, row);
    QFETCH(QList<Value>, expected);
    FIXTURE_OR_SKIP(edge, "edge.mdb");
    const engine::JetResult r = run(edge, text(rosterStatement));
    QCOMPARE(r.fieldNames, QStringList({"barcode", text("名前"), "kana", "email", text("備考")}));
    QCOMPARE(r.rowCount(), 6);
    for (int f = 0; f < 5; ++f) {
        // Compare kinds too: NULL must not come out as empty text, nor the reverse.
        QCOMPARE(engine::describe(r.at(row, f)), engine::describe(expected[f]));
        QVERIFY(r.at(row, f) == expected[f]);
    }
}

void TestJet::rosterByKana()
{
    FIXTURE_OR_SKIP(edge, "edge.mdb");
    const engine::JetResult r = run(edge, QStringLiteral("select * from list order by kana"));
    QCOMPARE(r.fieldNames, QStringList({"barcode", text("名前"), "kana", "email", text("備考"),
                                        text("状況"), text("在室時間"), "time", "time2"}));
    QStringList barcodes;
    for (qsizetype i = 0; i < r.rowCount(); ++i)
        barcodes << std::get<QString>(r.at(i, 0));
    // Latin first, then the syllabary: K1, お, さ, す, た, よ.
    QCOMPARE(barcodes, QStringList({"1001", "1004", "1003", "1005", "1002", "1006"}));
    // 1003 and 1002 carry every date column; the others have NULL where unset.
    QCOMPARE(describeRow(r, 2).section(QLatin1String(" | "), 5),
             text("Text(入室) | Date(2024-04-01 09:15:00) | Date(1899-12-30 09:15:00) | Null"));
    QVERIFY(r.at(4, 6) == stamp(2024, 4, 1, 10, 2));
    QVERIFY(r.at(4, 7) == clock(10, 2));
    QVERIFY(r.at(4, 8) == clock(10, 30));
    QVERIFY(r.at(1, 6) == stamp(2024, 3, 31, 8, 0));
    QVERIFY(engine::isNull(r.at(1, 7)));
    QVERIFY(engine::isNull(r.at(0, 6)));
    QCOMPARE(r.kinds[6], engine::detail::FieldKind::DateTime);
    QCOMPARE(r.kinds[4], engine::detail::FieldKind::Text);
}

void TestJet::schema()
{
    FIXTURE_OR_SKIP(edge, "edge.mdb");
    engine::jet::MdbFile db;
    db.open(edge);
    QCOMPARE(db.tableNames(), QStringList({"list", "log"}));
    QVERIFY(db.hasTable(QStringLiteral("LOG")));
    QVERIFY(!db.hasTable(QStringLiteral("MSysObjects")));
    QStringList names;
    for (const engine::jet::TableColumn& c : db.columns(QStringLiteral("log")))
        names << c.name;
    QCOMPARE(names, QStringList({"date", "time", text("状況"), text("名前"), text("備考2")}));
    QVERIFY(throwsNaming([&] { db.columns(QStringLiteral("nosuch")); }, {"nosuch", edge}));
}

void TestJet::order_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QStringList>("barcodes");
    // Stored order: 1003, 1001, 1002, 1004, 1005, 1006.
    QTest::newRow("nulls-first-then-empty-then-text")
        << "select [barcode] from list order by [email]"
        << QStringList{"1002", "1006", "1004", "1005", "1003", "1001"};
    QTest::newRow("descending-puts-nulls-last")
        << "select [barcode] from list order by [email] desc"
        << QStringList{"1001", "1003", "1005", "1004", "1006", "1002"};
    // 空 < 退 < 入 in JIS order; ties keep the stored order.
    QTest::newRow("kanji-in-jis-order-ties-stable")
        << "select [barcode] from list order by [状況]"
        << QStringList{"1001", "1005", "1006", "1004", "1003", "1002"};
    QTest::newRow("sort-column-not-selected-two-keys")
        << "SELECT barcode FROM list ORDER BY [状況] DESC, [barcode] DESC;"
        << QStringList{"1003", "1002", "1004", "1006", "1005", "1001"};
    QTest::newRow("no-order-is-stored-order")
        << "select [barcode] from [LIST]"
        << QStringList{"1003", "1001", "1002", "1004", "1005", "1006"};
    QTest::newRow("dates-nulls-first")
        << "select [barcode] from list order by [在室時間] asc"
        << QStringList{"1001", "1005", "1006", "1004", "1003", "1002"};
}

void TestJet::order()
{
    QFETCH(QString, statement);
    QFETCH(QStringList, barcodes);
    FIXTURE_OR_SKIP(edge, "edge.mdb");
    const engine::JetResult r = run(edge, statement);
    QCOMPARE(r.fieldCount(), 1);
    QStringList got;
    for (qsizetype i = 0; i < r.rowCount(); ++i)
        got << std::get<QString>(r.at(i, 0));
    QCOMPARE(got, barcodes);
}

void TestJet::edgeHistory()
{
    FIXTURE_OR_SKIP(edge, "edge.mdb");
    const engine::JetResult r = run(edge, text(historyStatement));
    QCOMPARE(r.rowCount(), 4);
    const QList<QList<Value>> expected = {
        {day(2024, 3, 31), clock(9, 0), text("入室"), text("髙橋 ①郎"), QString()},
        {day(2024, 4, 1), clock(15, 0), text("退室"), text("佐藤 花子"), text("帰宅")},
        {day(2024, 4, 1), clock(10, 0), text("入室"), text("佐藤 花子"), Null{}},
        {day(2024, 4, 2), clock(8, 0), text("入室"), text("鈴木 一郎"), text("遅刻")},
    };
    for (int row = 0; row < 4; ++row) {
        for (int f = 0; f < 5; ++f)
            QCOMPARE(engine::describe(r.at(row, f)), engine::describe(expected[row][f]));
    }
}

void TestJet::largeHistory()
{
    FIXTURE_OR_SKIP(history, "history.mdb");
    const engine::JetResult r = run(history, text(historyStatement));
    // 13,702 students' days, each an entry and an exit: mdb-export and the
    // npm reader mdb-reader count the same 27,404 rows.
    QCOMPARE(r.rowCount(), 27404);
    int entries = 0, exits = 0, pickups = 0;
    for (qsizetype i = 0; i < r.rowCount(); ++i) {
        const auto& d = std::get<DateTime>(r.at(i, 0));
        const auto& t = std::get<DateTime>(r.at(i, 1));
        QCOMPARE(d.time, QTime(0, 0));
        QCOMPARE(t.date, DateTime::zeroDay());
        QVERIFY(t.time >= QTime(14, 0));
        if (i > 0) {
            const auto& pd = std::get<DateTime>(r.at(i - 1, 0));
            const auto& pt = std::get<DateTime>(r.at(i - 1, 1));
            if (!(pd.date < d.date || (pd.date == d.date && pt.time >= t.time)))
                QFAIL(qPrintable(QStringLiteral("out of order at row %1: %2 after %3")
                                     .arg(i)
                                     .arg(describeRow(r, i), describeRow(r, i - 1))));
        }
        const QString& status = std::get<QString>(r.at(i, 2));
        entries += status == text("入室");
        exits += status == text("退室");
        pickups += !engine::isNull(r.at(i, 4));
    }
    QCOMPARE(entries, 13702);
    QCOMPARE(exits, 13702);
    QCOMPARE(pickups, 664);
    QCOMPARE(describeRow(r, 0),
             text("Date(2023-04-01 00:00:00) | Date(1899-12-30 21:15:43) | Text(退室) | "
                  "Text(木村 陽菜) | Null"));
    QCOMPARE(describeRow(r, r.rowCount() - 1).section(QLatin1String(" | "), 0, 0),
             QStringLiteral("Date(2024-05-04 00:00:00)"));

    // Thousands of rows tie on the status (退 before 入 in JIS order): each
    // keeps its stored place among its equals, as in Jet.
    const QString columns = QStringLiteral("select [date],[time],[名前],[状況] from log");
    const engine::JetResult stored = run(history, columns);
    const engine::JetResult byStatus = run(history, columns + QStringLiteral(" order by [状況]"));
    QStringList expected, got;
    for (const char* status : {"退室", "入室"}) {
        for (qsizetype i = 0; i < stored.rowCount(); ++i) {
            if (std::get<QString>(stored.at(i, 3)) == text(status))
                expected << describeRow(stored, i);
        }
    }
    for (qsizetype i = 0; i < byStatus.rowCount(); ++i)
        got << describeRow(byStatus, i);
    QCOMPARE(got, expected);
}

void TestJet::collation_data()
{
    QTest::addColumn<Value>("lower");
    QTest::addColumn<Value>("higher");
    QTest::addColumn<bool>("equal");
    // Code-point order would put 哀 (U+54C0) before 阿 (U+963F); JIS order is 阿, 哀.
    QTest::newRow("jis-kanji-order") << Value(text("阿")) << Value(text("哀")) << false;
    QTest::newRow("latin-before-kana") << Value(text("K1")) << Value(text("おにーる")) << false;
    QTest::newRow("syllabary-order") << Value(text("さとう")) << Value(text("すずき")) << false;
    QTest::newRow("case-blind") << Value(text("abc")) << Value(text("ABC")) << true;
    QTest::newRow("text-is-not-numeric") << Value(text("1003")) << Value(text("200")) << false;
    QTest::newRow("null-before-empty") << Value(Null{}) << Value(QString()) << false;
    QTest::newRow("empty-before-space") << Value(QString()) << Value(text(" ")) << false;
    QTest::newRow("null-before-date") << Value(Null{}) << clock(0, 0) << false;
    QTest::newRow("yes-before-no") << Value(true) << Value(false) << false;
}

void TestJet::collation()
{
    QFETCH(Value, lower);
    QFETCH(Value, higher);
    QFETCH(bool, equal);
    if (equal) {
        QCOMPARE(engine::compareJetValues(lower, higher), 0);
        return;
    }
    QVERIFY(engine::compareJetValues(lower, higher) < 0);
    QVERIFY(engine::compareJetValues(higher, lower) > 0);
}

void TestJet::refused_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("reason");
    const QString readOnly = text("読み取り専用");
    const QString shape = text("実行できません");
    QTest::newRow("checkout-present")
        << text("update list set [在室時間]= NULL where [状況]= '入室' ") << readOnly;
    QTest::newRow("checkout-status") << text("update list set [状況]= '空き'") << readOnly;
    QTest::newRow("checkout-time") << text("update list set [time]= NULL") << readOnly;
    QTest::newRow("delete-roster") << text("delete from list") << readOnly;
    QTest::newRow("insert") << text("INSERT INTO log VALUES (1)") << readOnly;
    QTest::newRow("where-clause") << text("select * from [list] where 0") << shape;
    QTest::newRow("count") << text("select count(*) from list") << shape;
    QTest::newRow("two-tables") << text("select * from list, log") << shape;
    QTest::newRow("pragma") << text("PRAGMA quick_check") << shape;
    QTest::newRow("order-by-missing-key") << text("select * from list order by") << shape;
    QTest::newRow("unclosed-bracket") << text("select [barcode from list") << shape;
    QTest::newRow("missing-table") << text("select * from nosuch") << text("nosuch");
    QTest::newRow("missing-column") << text("select [barcode],[氏名] from list") << text("氏名");
    QTest::newRow("missing-sort-column")
        << text("select * from log order by [日付]") << text("日付");
}

void TestJet::refused()
{
    QFETCH(QString, statement);
    QFETCH(QString, reason);
    FIXTURE_OR_SKIP(edge, "edge.mdb");
    engine::jet::MdbFile db;
    db.open(edge);
    QVERIFY(throwsNaming([&] { engine::executeJetStatement(db, statement); }, {statement, reason}));
}

void TestJet::fileUnchangedByReadsAndRefusals()
{
    FIXTURE_OR_SKIP(edge, "edge.mdb");
    FIXTURE_OR_SKIP(history, "history.mdb");
    const QByteArray edgeBefore = sha256(edge);
    QCOMPARE(edgeBefore,
             QByteArray("2b9332286de83d9cbc5f62473803bdbc2ebcb4138a2f545403eaf7df13f172fe"));
    QCOMPARE(sha256(history),
             QByteArray("ecd068889199b4f6280a3c70c36f98963a44026eb1ad608f39a3d8a2eae66323"));
    const QDateTime modified = QFileInfo(edge).lastModified();
    {
        engine::jet::MdbFile db;
        db.open(edge);
        for (const char* statement : {rosterStatement, historyStatement, "delete from list",
                                      "update list set [状況]= '空き'"}) {
            try {
                engine::executeJetStatement(db, text(statement));
            } catch (const platform::Error&) {
            }
        }
    }
    run(history, text(historyStatement));
    QCOMPARE(sha256(edge), edgeBefore);
    QCOMPARE(QFileInfo(edge).lastModified(), modified);
    QCOMPARE(sha256(history),
             QByteArray("ecd068889199b4f6280a3c70c36f98963a44026eb1ad608f39a3d8a2eae66323"));
}

void TestJet::openRefuses_data()
{
    QTest::addColumn<QByteArray>("content"); // "<none>": no file; "<sqlite>": a real one
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << QByteArray("<none>") << int(platform::Error::FileNotFound)
                             << text("見つからない");
    QTest::newRow("sqlite") << QByteArray("<sqlite>") << int(platform::Error::Engine)
                            << text("Jet 形式のファイルではありません");
    // A Jet 3 (Access 97) header: version byte 0 at offset 0x14.
    QByteArray jet3("\0\1\0\0Standard Jet DB\0", 20);
    jet3.append(QByteArray(4096 * 4 - jet3.size(), '\0'));
    QTest::newRow("jet3-or-truncated") << jet3 << int(platform::Error::Engine) << QString();
    // edge.mdb with its catalog's usage map pointed at a row of a blank page:
    // libmdb walked it without a look and crashed (found by fuzzing).
    QTest::newRow("catalog-usage-map-blank")
        << QByteArray("<blank usage map>") << int(platform::Error::Engine)
        << text("カタログを読めません");
}

void TestJet::openRefuses()
{
    QFETCH(QByteArray, content);
    QFETCH(int, number);
    QFETCH(QString, reason);
    const QString path = m_dir->filePath(QStringLiteral("DB.mdb"));
    if (content == "<sqlite>") {
        TempInstall install;
        install.createDatabase(path);
    } else if (content == "<blank usage map>") {
        COPY_FIXTURE_OR_SKIP(QStringLiteral("jet4/edge.mdb"), path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        constexpr qint64 page = 4096;
        QVERIFY(f.seek(2 * page + 0x37)); // the catalog's usage map: row 0 of page 6
        f.write("\x02", 1);
        QVERIFY(f.seek(6 * page));
        f.write(QByteArray(page, '\0'));
    } else if (content != "<none>") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    engine::jet::MdbFile db;
    try {
        db.open(path);
        QFAIL("opened");
    } catch (const platform::Error& e) {
        QCOMPARE(e.number(), number);
        QVERIFY2(e.description().contains(path), qPrintable(e.description()));
        QVERIFY2(e.description().contains(reason), qPrintable(e.description()));
    }
    QVERIFY(!db.isOpen());
}

void TestJet::rowSlots_data()
{
    // Each change: "flag BARCODE HEX" ors a flag into the row's slot; "point
    // FROM TO" turns FROM's row into a pointer to TO's row (same page).
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<QStringList>("barcodes"); // in stored order; empty: refused
    QTest::newRow("deleted") << QStringList{"flag 1005 8000"}
                             << QStringList{"1003", "1001", "1002", "1004", "1006"};
    QTest::newRow("deleted-both-flags")
        << QStringList{"flag 1003 c000"} << QStringList{"1001", "1002", "1004", "1005", "1006"};
    // A moved row is read where its old slot points, its new copy skipped.
    QTest::newRow("moved") << QStringList{"point 1001 1004", "flag 1001 4000", "flag 1004 8000"}
                           << QStringList{"1003", "1004", "1002", "1005", "1006"};
    QTest::newRow("pointer-loop") << QStringList{"point 1002 1002", "flag 1002 4000"}
                                  << QStringList{};
}

void TestJet::rowSlots()
{
    QFETCH(QStringList, changes);
    QFETCH(QStringList, barcodes);
    FIXTURE_OR_SKIP(edge, "edge.mdb");
    QFile file(edge);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    for (const QString& change : changes) {
        const QStringList w = change.split(QLatin1Char(' '));
        const qsizetype slot = slotOfBarcode(bytes, w[1].toLatin1());
        QVERIFY2(slot > 0, qPrintable(change));
        const quint16 entry = qFromLittleEndian<quint16>(bytes.constData() + slot);
        if (w[0] == QLatin1String("flag")) {
            qToLittleEndian<quint16>(entry | w[2].toUShort(nullptr, 16), bytes.data() + slot);
        } else {
            const qsizetype to = slotOfBarcode(bytes, w[2].toLatin1());
            const quint32 page = quint32(slot / 4096);
            const quint32 row = quint32((to % 4096 - 14) / 2);
            qToLittleEndian<quint32>(page << 8 | row,
                                     bytes.data() + slot / 4096 * 4096 + (entry & 0x1fff));
        }
    }
    QVERIFY(file.seek(0));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();

    const QString statement = QStringLiteral("select [barcode],[名前],[備考] from list");
    if (barcodes.isEmpty()) {
        QVERIFY(throwsNaming([&] { run(edge, statement); }, {text("壊れています")}));
        return;
    }
    const engine::JetResult r = run(edge, statement);
    QStringList got;
    for (qsizetype i = 0; i < r.rowCount(); ++i) {
        got << std::get<QString>(r.at(i, 0));
        if (got.last() == QLatin1String("1004"))
            QCOMPARE(describeRow(r, i),
                     text("Text(1004) | Text(O\"Neil, Jr) | Text(quote\"and,comma)"));
    }
    QCOMPARE(got, barcodes);
}

void TestJet::damagedDates_data()
{
    // The stored 在室時間 of student 1003 (2024-04-01 09:15) replaced.
    QTest::addColumn<double>("stored");
    QTest::addColumn<QDate>("date"); // invalid: the read is refused
    QTest::addColumn<QTime>("time");
    QTest::newRow("last-day-of-9999") << 2958465.5 << QDate(9999, 12, 31) << QTime(12, 0);
    QTest::newRow("first-day-of-100") << -657434.0 << QDate(100, 1, 1) << QTime(0, 0);
    // Found by fuzz_jet: a number beyond any date overflowed the day count.
    QTest::newRow("beyond-year-9999") << 1e300 << QDate() << QTime();
    QTest::newRow("before-year-100") << -657435.0 << QDate() << QTime();
    QTest::newRow("not-a-number") << std::nan("") << QDate() << QTime();
    QTest::newRow("infinite") << -HUGE_VAL << QDate() << QTime();
}

void TestJet::damagedDates()
{
    QFETCH(double, stored);
    QFETCH(QDate, date);
    QFETCH(QTime, time);
    FIXTURE_OR_SKIP(edge, "edge.mdb");
    QFile file(edge);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const double original = 45383.0 + (9 * 3600 + 15 * 60) / 86400.0;
    QByteArray from(sizeof original, Qt::Uninitialized);
    QByteArray to(sizeof stored, Qt::Uninitialized);
    qToLittleEndian(original, from.data());
    qToLittleEndian(stored, to.data());
    QVERIFY(bytes.contains(from));
    bytes.replace(from, to);
    QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
    file.close();

    engine::jet::MdbFile db;
    db.open(edge);
    const std::vector<int> barcodeAndEntered = {0, 6};
    if (!date.isValid()) {
        QVERIFY(throwsNaming([&] { db.readRows(QStringLiteral("list"), barcodeAndEntered); },
                             {edge, text("在室時間"), text("範囲外")}));
        return;
    }
    const std::vector<Value> values = db.readRows(QStringLiteral("list"), barcodeAndEntered);
    QCOMPARE(engine::describe(values.at(1)), engine::describe(DateTime{date, time}));
}

QTEST_GUILESS_MAIN(TestJet)
#include "tst_jet.moc"
