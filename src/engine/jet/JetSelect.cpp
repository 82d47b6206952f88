#include "engine/jet/JetSelect.h"

#include "engine/jet/MdbFile.h"
#include "platform/Error.h"

#include <QCollator>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <numeric>
#include <optional>

namespace engine {

using platform::Error;

namespace {

// Jet on a Japanese system sorts kana in the order of the syllabary and the
// kanji of JIS X 0208 in JIS order, without regard to case or width. ICU's
// "ja" collation does the same (its tailoring carries the JIS kanji order),
// and Debian's Qt runs QCollator on ICU; secondary strength (case-blind)
// leaves case and width out, as Jet's comparison does.
QCollator japaneseCollator()
{
    QCollator collator(QLocale(QLocale::Japanese, QLocale::Japan));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

struct Token
{
    enum Kind
    {
        Word,      // bare name or keyword
        Bracketed, // [name]
        Symbol,    // , * ;
        End,
    };
    Kind kind = End;
    QString text;
};

class Parser
{
public:
    explicit Parser(const QString& statement) : m_statement(statement) {}

    JetSelect parse()
    {
        // The verb alone decides a change: the rest of such a statement is never
        // parsed, since no change is carried out whatever it says.
        const QString verb =
            m_statement.trimmed().section(QRegularExpression(QStringLiteral("\\W")), 0, 0);
        if (changesData(verb))
            throw Error(
                Error::Engine,
                QStringLiteral("このデータベースは Jet 形式のファイルで、読み取り専用で開いて"
                               "います。データを変更する文は実行できません: %1")
                    .arg(m_statement));
        tokenize();
        if (m_tokens.empty())
            refuse(QStringLiteral("文が空です"));
        if (!isKeyword(next(), "select"))
            refuse(QStringLiteral("SELECT 文ではありません"));

        JetSelect select;
        if (peek().kind == Token::Symbol && peek().text == QLatin1String("*")) {
            next();
        } else {
            do {
                select.columns << name(QStringLiteral("列名"));
            } while (symbol(QStringLiteral(",")));
        }
        if (!isKeyword(next(), "from"))
            refuse(QStringLiteral("FROM がありません"));
        select.table = name(QStringLiteral("表名"));

        if (isKeyword(peek(), "order")) {
            next();
            if (!isKeyword(next(), "by"))
                refuse(QStringLiteral("ORDER の後に BY がありません"));
            do {
                JetSelect::SortKey key;
                key.column = name(QStringLiteral("並べ替えの列名"));
                if (isKeyword(peek(), "asc")) {
                    next();
                } else if (isKeyword(peek(), "desc")) {
                    next();
                    key.descending = true;
                }
                select.orderBy.push_back(key);
            } while (symbol(QStringLiteral(",")));
        }
        symbol(QStringLiteral(";"));
        if (peek().kind != Token::End)
            refuse(QStringLiteral("「%1」以降は扱えません").arg(peek().text));
        return select;
    }

private:
    [[noreturn]] void refuse(const QString& reason) const
    {
        throw Error(Error::Engine,
                    QStringLiteral("Jet 形式のデータベースでは、この文は実行できません（%1）: %2")
                        .arg(reason, m_statement));
    }

    static bool changesData(const QString& word)
    {
        for (const char* verb : {"update", "delete", "insert", "create", "alter", "drop"}) {
            if (word.compare(QLatin1String(verb), Qt::CaseInsensitive) == 0)
                return true;
        }
        return false;
    }

    static bool isKeyword(const Token& t, const char* keyword)
    {
        return t.kind == Token::Word &&
               t.text.compare(QLatin1String(keyword), Qt::CaseInsensitive) == 0;
    }

    void tokenize()
    {
        const QString& s = m_statement;
        qsizetype i = 0;
        while (i < s.size()) {
            const QChar c = s.at(i);
            if (c.isSpace()) {
                ++i;
            } else if (c == QLatin1Char('[')) {
                const qsizetype close = s.indexOf(QLatin1Char(']'), i + 1);
                if (close < 0)
                    refuse(QStringLiteral("[ が閉じていません"));
                m_tokens.push_back({Token::Bracketed, s.mid(i + 1, close - i - 1)});
                i = close + 1;
            } else if (c == QLatin1Char(',') || c == QLatin1Char('*') || c == QLatin1Char(';')) {
                m_tokens.push_back({Token::Symbol, QString(c)});
                ++i;
            } else if (c.isLetterOrNumber() || c == QLatin1Char('_') || c.isSurrogate()) {
                const qsizetype begin = i;
                while (i < s.size() && (s.at(i).isLetterOrNumber() || s.at(i) == QLatin1Char('_') ||
                                        s.at(i).isSurrogate()))
                    ++i;
                m_tokens.push_back({Token::Word, s.mid(begin, i - begin)});
            } else {
                refuse(QStringLiteral("「%1」は扱えません").arg(c));
            }
        }
    }

    const Token& peek() const
    {
        static const Token end;
        return m_pos < m_tokens.size() ? m_tokens[m_pos] : end;
    }
    const Token& next()
    {
        const Token& t = peek();
        if (m_pos < m_tokens.size())
            ++m_pos;
        return t;
    }
    bool symbol(const QString& text)
    {
        if (peek().kind == Token::Symbol && peek().text == text) {
            next();
            return true;
        }
        return false;
    }
    QString name(const QString& what)
    {
        const Token& t = next();
        if (t.kind == Token::Bracketed && !t.text.isEmpty())
            return t.text;
        if (t.kind == Token::Word && !isReserved(t.text))
            return t.text;
        refuse(QStringLiteral("%1がありません").arg(what));
    }
    static bool isReserved(const QString& word)
    {
        for (const char* k : {"select", "from", "order", "by", "asc", "desc", "where", "group"}) {
            if (word.compare(QLatin1String(k), Qt::CaseInsensitive) == 0)
                return true;
        }
        return false;
    }

    QString m_statement;
    std::vector<Token> m_tokens;
    size_t m_pos = 0;
};

int columnIndex(const std::vector<jet::TableColumn>& columns, const QString& name)
{
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

template <typename T> int threeWay(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Orders values of one column; texts are compared by the caller's collator.
int compareWith(const QCollator& collator, const Value& a, const Value& b)
{
    const bool aNull = isNull(a) || std::holds_alternative<Empty>(a);
    const bool bNull = isNull(b) || std::holds_alternative<Empty>(b);
    if (aNull || bNull)
        return int(bNull) - int(aNull);
    if (a.index() != b.index())
        return threeWay(a.index(), b.index());
    if (const auto* s = std::get_if<QString>(&a))
        return collator.compare(*s, std::get<QString>(b));
    if (const auto* i = std::get_if<qint64>(&a))
        return threeWay(*i, std::get<qint64>(b));
    if (const auto* d = std::get_if<double>(&a))
        return threeWay(*d, std::get<double>(b));
    if (const auto* t = std::get_if<DateTime>(&a)) {
        const DateTime& u = std::get<DateTime>(b);
        const int byDate = threeWay(t->date, u.date);
        return byDate ? byDate : threeWay(t->time, u.time);
    }
    // Jet stores Yes as -1 and No as 0, so Yes comes first.
    return threeWay(!std::get<bool>(a), !std::get<bool>(b));
}

} // namespace

JetSelect parseJetSelect(const QString& statement)
{
    return Parser(statement).parse();
}

int compareJetValues(const Value& a, const Value& b)
{
    return compareWith(japaneseCollator(), a, b);
}

JetResult runJetSelect(const jet::MdbFile& database, const QString& statement)
{
    const JetSelect select = parseJetSelect(statement);
    if (database.isOpen() && !database.hasTable(select.table))
        throw Error(Error::Engine,
                    QStringLiteral("表 %1 がありません: %2").arg(select.table, statement));
    const std::vector<jet::TableColumn> columns = database.columns(select.table);
    auto resolve = [&](const QString& name) {
        const int at = columnIndex(columns, name);
        if (at < 0)
            throw Error(Error::Engine, QStringLiteral("表 %1 に列 %2 がありません: %3")
                                           .arg(select.table, name, statement));
        return at;
    };

    // Read the selected columns, then any sort column not among them.
    std::vector<int> wanted;
    if (select.columns.isEmpty()) {
        wanted.resize(columns.size());
        std::iota(wanted.begin(), wanted.end(), 0);
    } else {
        for (const QString& name : select.columns)
            wanted.push_back(resolve(name));
    }
    const size_t selected = wanted.size();
    struct Key
    {
        size_t slot; // position in a read row
        bool descending;
        bool text;
    };
    std::vector<Key> keys;
    for (const JetSelect::SortKey& k : select.orderBy) {
        const int at = resolve(k.column);
        auto slot = size_t(std::find(wanted.begin(), wanted.end(), at) - wanted.begin());
        if (slot == wanted.size())
            wanted.push_back(at);
        keys.push_back({slot, k.descending, columns[at].kind == detail::FieldKind::Text});
    }

    std::vector<Value> read = database.readRows(select.table, wanted);
    const size_t width = wanted.size();
    const size_t rows = width ? read.size() / width : 0;

    std::vector<size_t> order(rows);
    std::iota(order.begin(), order.end(), 0);
    if (!keys.empty()) {
        const QCollator collator = japaneseCollator();
        // Sort keys of text columns once per row: comparing them is a byte
        // comparison, far cheaper than collating two strings each time.
        std::vector<std::vector<std::optional<QCollatorSortKey>>> textKeys(keys.size());
        for (size_t k = 0; k < keys.size(); ++k) {
            if (!keys[k].text)
                continue;
            textKeys[k].resize(rows);
            for (size_t r = 0; r < rows; ++r) {
                if (const auto* s = std::get_if<QString>(&read[r * width + keys[k].slot]))
                    textKeys[k][r] = collator.sortKey(*s);
            }
        }
        std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
            for (size_t k = 0; k < keys.size(); ++k) {
                const Value& a = read[x * width + keys[k].slot];
                const Value& b = read[y * width + keys[k].slot];
                int c;
                if (keys[k].text && std::holds_alternative<QString>(a) &&
                    std::holds_alternative<QString>(b))
                    c = textKeys[k][x]->compare(*textKeys[k][y]);
                else
                    c = compareWith(collator, a, b);
                if (c != 0)
                    return keys[k].descending ? c > 0 : c < 0;
            }
            return false;
        });
    }

    JetResult result;
    for (size_t i = 0; i < selected; ++i) {
        result.fieldNames << columns[wanted[i]].name;
        result.kinds.push_back(columns[wanted[i]].kind);
    }
    result.cells.reserve(rows * selected);
    for (size_t r : order) {
        for (size_t i = 0; i < selected; ++i)
            result.cells.push_back(std::move(read[r * width + i]));
    }
    return result;
}

void executeJetStatement(const jet::MdbFile& database, const QString& statement)
{
    runJetSelect(database, statement);
}

} // namespace engine
