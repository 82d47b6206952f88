#include "tools/DemoDatabase.h"

#include "engine/sqlite/SqliteHandles.h"

#include <QDate>
#include <QFile>
#include <array>
#include <memory>
#include <sqlite3.h>
#include <stdexcept>
#include <vector>

namespace demo {

namespace {

const char* const schema = R"sql(
CREATE TABLE list (
    [barcode] VARCHAR(20),
    [名前] VARCHAR(50),
    [kana] VARCHAR(50),
    [email] VARCHAR(100),
    [備考] LONGTEXT,
    [状況] VARCHAR(10),
    [在室時間] DATETIME,
    [time] DATETIME,
    [time2] DATETIME
);
CREATE TABLE log (
    [date] DATETIME,
    [time] DATETIME,
    [状況] VARCHAR(10),
    [名前] VARCHAR(50),
    [備考2] VARCHAR(100)
);
)sql";

struct Name
{
    const char* kanji;
    const char* kana;
    const char* romaji;
};

constexpr std::array<Name, 20> familyNames{{
    {"佐藤", "さとう", "sato"},        {"鈴木", "すずき", "suzuki"},
    {"髙橋", "たかはし", "takahashi"}, {"田中", "たなか", "tanaka"},
    {"伊藤", "いとう", "ito"},         {"渡辺", "わたなべ", "watanabe"},
    {"山本", "やまもと", "yamamoto"},  {"中村", "なかむら", "nakamura"},
    {"小林", "こばやし", "kobayashi"}, {"加藤", "かとう", "kato"},
    {"吉田", "よしだ", "yoshida"},     {"山田", "やまだ", "yamada"},
    {"佐々木", "ささき", "sasaki"},    {"山口", "やまぐち", "yamaguchi"},
    {"松本", "まつもと", "matsumoto"}, {"井上", "いのうえ", "inoue"},
    {"木村", "きむら", "kimura"},      {"林", "はやし", "hayashi"},
    {"斎藤", "さいとう", "saito"},     {"清水", "しみず", "shimizu"},
}};

constexpr std::array<Name, 20> givenNames{{
    {"翔太", "しょうた", "shota"}, {"陽菜", "ひな", "hina"},       {"蓮", "れん", "ren"},
    {"結衣", "ゆい", "yui"},       {"大翔", "ひろと", "hiroto"},   {"葵", "あおい", "aoi"},
    {"悠真", "ゆうま", "yuma"},    {"凛", "りん", "rin"},          {"湊", "みなと", "minato"},
    {"芽依", "めい", "mei"},       {"颯太", "そうた", "sota"},     {"美咲", "みさき", "misaki"},
    {"陸", "りく", "riku"},        {"さくら", "さくら", "sakura"}, {"健太", "けんた", "kenta"},
    {"花子", "はなこ", "hanako"},  {"一郎", "いちろう", "ichiro"}, {"優奈", "ゆうな", "yuna"},
    {"拓海", "たくみ", "takumi"},  {"彩花", "あやか", "ayaka"},
}};

constexpr std::array<const char*, 6> remarks{
    {"兄弟在籍", "送迎バス利用", "中学一年", "小学五年", "アレルギーあり", "火・木のみ"}};

// splitmix64: the same numbers for a seed on every machine and library.
class Random
{
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return int(next() % std::uint64_t(n)); }
    bool chance(int percent) { return below(100) < percent; }

private:
    std::uint64_t m_state;
};

using engine::detail::Statement;

struct Database
{
    engine::detail::SqliteHandle owner;
    sqlite3* db = nullptr;
    explicit Database(const QString& path, int flags)
    {
        const QByteArray file = QFile::encodeName(path);
        int rc = SQLITE_OK;
        owner = engine::detail::openSqliteHandle(file.constData(), flags, &rc);
        db = owner.get();
        if (rc != SQLITE_OK) {
            const std::string reason = db ? sqlite3_errmsg(db) : "out of memory";
            throw std::runtime_error("cannot open " + file.toStdString() + ": " + reason);
        }
        sqlite3_busy_timeout(db, 5000);
    }
    void exec(const QByteArray& sql) const
    {
        char* message = nullptr;
        if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string reason = message ? message : "unknown";
            sqlite3_free(message);
            throw std::runtime_error(reason + " in: " + sql.toStdString());
        }
    }
};

Statement prepare(const Database& d, const char* sql)
{
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(d.db, sql, -1, &s, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string(sqlite3_errmsg(d.db)) + " in: " + sql);
    return Statement(s);
}

void bindText(sqlite3_stmt* s, int index, const QByteArray& text)
{
    sqlite3_bind_text(s, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

void bindOptional(sqlite3_stmt* s, int index, bool present, const QByteArray& text)
{
    if (present)
        bindText(s, index, text);
    else
        sqlite3_bind_null(s, index);
}

void stepDone(const Database& d, sqlite3_stmt* s)
{
    if (sqlite3_step(s) != SQLITE_DONE)
        throw std::runtime_error(sqlite3_errmsg(d.db));
    sqlite3_reset(s);
}

QByteArray clock(int minutes)
{
    return QStringLiteral("%1:%2:00")
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'))
        .toUtf8();
}

struct Visit
{
    int minutes;
    bool enter;
    int student;
};

} // namespace

void createSchema(const QString& path)
{
    QFile::remove(path);
    Database d(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    d.exec(schema);
}

void execute(const QString& path, const QString& sql)
{
    Database d(path, SQLITE_OPEN_READWRITE);
    d.exec(sql.toUtf8());
}

void generate(const QString& path, const Options& options)
{
    createSchema(path);
    Database d(path, SQLITE_OPEN_READWRITE);
    Random random(options.seed);
    d.exec("PRAGMA journal_mode=DELETE; BEGIN");

    struct Student
    {
        QByteArray name, kana;
    };
    std::vector<Student> students;
    const QDate start(options.startYear, options.startMonth, options.startDay);
    {
        Statement insert = prepare(d, "insert into list values (?,?,?,?,?,?,?,?,?)");
        for (int i = 0; i < options.students; ++i) {
            const Name& family = familyNames[random.below(familyNames.size())];
            const Name& given = givenNames[random.below(givenNames.size())];
            const QByteArray name = QByteArray(family.kanji) + ' ' + given.kanji;
            const QByteArray kana = QByteArray(family.kana) + ' ' + given.kana;
            students.push_back({name, kana});
            sqlite3_stmt* s = insert.get();
            bindText(s, 1, QByteArray::number(20000 + i));
            bindText(s, 2, name);
            bindText(s, 3, kana);
            // About one in ten has no address: null, or (now and then) empty.
            const int addressCase = random.below(20);
            if (addressCase == 0)
                bindText(s, 4, QByteArray());
            else
                bindOptional(s, 4, addressCase > 1,
                             QByteArray(given.romaji) + '.' + family.romaji +
                                 QByteArray::number(i) + "@example.jp");
            const int remark = random.below(10);
            bindOptional(s, 5, remark != 0,
                         remark < 4 ? QByteArray() : QByteArray(remarks[remark % remarks.size()]));
            const bool present = random.chance(5);
            bindText(s, 6, present ? "入室" : "空き");
            const int arrival = 14 * 60 + random.below(180);
            const QByteArray day = start.addDays(7).toString(Qt::ISODate).toUtf8();
            bindOptional(s, 7, present, day + ' ' + clock(arrival));
            bindOptional(s, 8, present, clock(arrival));
            bindOptional(s, 9, present && random.chance(30), clock(arrival + 45));
            stepDone(d, s);
        }
    }

    Statement insert = prepare(d, "insert into log values (?,?,?,?,?)");
    qint64 written = 0;
    std::vector<Visit> visits;
    for (QDate day = start; written < options.events && !students.empty(); day = day.addDays(1)) {
        if (day.dayOfWeek() == Qt::Sunday)
            continue;
        visits.clear();
        for (int i = 0; i < int(students.size()); ++i) {
            if (!random.chance(83))
                continue;
            const int arrival = 14 * 60 + random.below(240);
            visits.push_back({arrival, true, i});
            visits.push_back({arrival + 60 + random.below(150), false, i});
        }
        std::stable_sort(visits.begin(), visits.end(),
                         [](const Visit& a, const Visit& b) { return a.minutes < b.minutes; });
        const QByteArray date = day.toString(Qt::ISODate).toUtf8();
        for (const Visit& v : visits) {
            if (written >= options.events)
                break;
            sqlite3_stmt* s = insert.get();
            bindText(s, 1, date);
            bindText(s, 2, clock(v.minutes));
            bindText(s, 3, v.enter ? "入室" : "退室");
            bindText(s, 4, students[v.student].name);
            // Remarks are mostly absent, sometimes empty, now and then a pick-up.
            const int remark = random.below(100);
            bindOptional(s, 5, remark < 10,
                         !v.enter && remark < 3 ? QByteArray("お迎え") : QByteArray());
            stepDone(d, s);
            ++written;
        }
    }
    d.exec("COMMIT");
}

} // namespace demo
