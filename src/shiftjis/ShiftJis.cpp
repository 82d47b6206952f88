#include "shiftjis/ShiftJis.h"

#include <QSet>
#include <algorithm>
#include <cstring>
#include <utility>

#ifdef Q_OS_WIN
#include "platform/Error.h"

#include <limits>
#include <qt_windows.h>
#else
#include "shiftjis/BestFitTable.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <array>
#include <optional>
#endif

namespace shiftjis {

namespace {

#ifdef Q_OS_WIN

constexpr UINT codePage = 932;
// The conversion takes an int length; longer text goes in pieces. A piece may
// end inside a surrogate pair: both halves become "?" either way.
constexpr qsizetype pieceLength = 1 << 24;

#else

// ICU's "windows-31j" is code page 932 with the NEC and IBM extensions and
// Windows' own mappings; glibc's SHIFT_JIS gives different bytes. What ICU
// lacks is Windows' best fit and its one "?" per UTF-16 unit, added here.
constexpr const char* codePage = "windows-31j";

static_assert(std::ranges::is_sorted(bestfit::table, {}, &bestfit::Entry::unit));

const bestfit::Entry* bestFit(char16_t unit)
{
    const auto* entry = std::ranges::lower_bound(bestfit::table, unit, {}, &bestfit::Entry::unit);
    return entry != bestfit::table.end() && entry->unit == unit ? entry : nullptr;
}

// ICU's table is IBM's, which exchanges three control characters of ASCII:
// U+001A as 7F, U+001C as 1A and U+007F as 1C. Windows writes and reads every
// ASCII character as its own byte; these three never go through ICU.
bool isExchangedControl(char16_t unit)
{
    return unit == 0x1A || unit == 0x1C || unit == 0x7F;
}

// ICU's bytes for run when they read back as run. ICU also maps a few
// characters one way only (U+F86F to № 87 82), where Windows writes "?"; the
// read-back tells them apart from the characters the code page holds.
std::optional<QByteArray> encodeExactly(QStringView run)
{
    QStringEncoder encoder(codePage);
    QByteArray bytes = encoder.encode(run);
    if (encoder.hasError())
        return std::nullopt;
    QStringDecoder decoder(codePage);
    const QString back = decoder.decode(bytes);
    if (decoder.hasError() || back != run)
        return std::nullopt;
    return bytes;
}

// ICU's bytes for each character of the BMP that ICU writes and reads back as
// itself. The code page is stateless: the bytes of a text are those of its
// characters one after the other, and they read back character by character.
// So a text made only of these characters is written exactly by looking each
// one up here, without ICU's conversion and the read-back that checks it,
// which together cost the roster export as much as its query.
//
// Found once, in one conversion each way: every character is written followed
// by a line feed, which no two-byte character contains, so the line feeds
// mark where each character's bytes end. Only whole characters of the code
// page are read back, each again followed by a line feed. Anything out of
// step leaves the table empty, and every text takes ICU's way.
class RoundTrips
{
public:
    RoundTrips()
    {
        QString probe;
        probe.reserve(qsizetype{2} * 0x10000);
        for (char32_t unit = 1; unit < 0x10000; ++unit) {
            // U+FFFD is what ICU writes and reads for what the code page
            // lacks (FC FC): it would seem to come back as itself.
            if (unit == u'\n' || unit == 0xFFFD || QChar::isSurrogate(unit))
                continue;
            probe += QChar(unit);
            probe += QLatin1Char('\n');
        }
        QStringEncoder encoder(codePage);
        const QByteArray bytes = encoder.encode(probe);
        QList<QByteArrayView> written;
        for (qsizetype from = 0; from < bytes.size();) {
            const qsizetype end = bytes.indexOf('\n', from);
            if (end < 0)
                return;
            written.append(QByteArrayView(bytes).sliced(from, end - from));
            from = end + 1;
        }
        const qsizetype count = probe.size() / 2;
        if (written.size() != count)
            return;

        QByteArray whole;
        whole.reserve(bytes.size());
        QString expected;
        QList<qsizetype> wholeLengths;
        for (qsizetype i = 0; i < count; ++i) {
            if (!isWholeCharacter(written[i]))
                continue;
            whole += written[i];
            whole += '\n';
            wholeLengths.append(written[i].size());
            expected += probe[2 * i];
        }
        QStringDecoder decoder(codePage);
        const QString back = decoder.decode(whole);
        const QList<QStringView> read = QStringView(back).split(u'\n');
        if (read.size() != expected.size() + 1 || !read.last().isEmpty())
            return;
        qsizetype at = 0;
        for (qsizetype i = 0; i < expected.size(); ++i) {
            const QByteArrayView code = QByteArrayView(whole).sliced(at, wholeLengths[i]);
            at += code.size() + 1;
            if (read[i].size() != 1 || read[i][0] != expected[i])
                continue;
            m_codes[expected[i].unicode()] = code.size() == 1
                                                 ? quint8(code[0])
                                                 : quint16(quint8(code[0]) << 8 | quint8(code[1]));
        }
        // ASCII as Windows writes it (see isExchangedControl).
        for (char16_t unit = 1; unit < 0x80; ++unit)
            m_codes[unit] = unit;
    }

    // The bytes of text, or nothing when a character of it is not in the
    // table.
    std::optional<QByteArray> encode(QStringView text) const
    {
        QByteArray bytes(text.size() * 2, Qt::Uninitialized);
        char* out = bytes.data();
        for (const QChar c : text) {
            const quint16 code = m_codes[c.unicode()];
            if (code == 0)
                return std::nullopt;
            // A lead byte is 81 or above: a code above FF has two bytes.
            if (code > 0xFF)
                *out++ = char(code >> 8);
            *out++ = char(code & 0xFF);
        }
        bytes.truncate(out - bytes.data());
        return bytes;
    }

    // Writes the bytes of UTF-8 text at out, which has room for utf8.size()
    // bytes, and returns their number: no character takes more bytes here
    // than in UTF-8. Returns -1 when the text holds a character not in the
    // table or anything but well-formed UTF-8 of the BMP. What passes here
    // reads as the same UTF-16 units, so it is written as encode() writes it.
    qsizetype writeUtf8(char* out, QByteArrayView utf8) const
    {
        char* const start = out;
        const auto* in = reinterpret_cast<const quint8*>(utf8.data());
        const auto* end = in + utf8.size();
        while (in < end) {
            char32_t unit = *in;
            if (unit < 0x80) {
                ++in;
                if (unit != 0) {
                    *out++ = char(unit);
                    continue;
                }
            } else if (unit >= 0xC2 && unit < 0xE0 && end - in >= 2 && (in[1] & 0xC0) == 0x80) {
                unit = (unit & 0x1F) << 6 | (in[1] & 0x3F);
                in += 2;
            } else if (unit >= 0xE0 && unit < 0xF0 && end - in >= 3 && (in[1] & 0xC0) == 0x80 &&
                       (in[2] & 0xC0) == 0x80) {
                unit = (unit & 0x0F) << 12 | (in[1] & 0x3F) << 6 | (in[2] & 0x3F);
                in += 3;
                if (unit < 0x800 || QChar::isSurrogate(unit))
                    unit = 0;
            } else {
                unit = 0;
            }
            const quint16 code = unit ? m_codes[unit] : 0;
            if (code == 0)
                return -1;
            if (code > 0xFF)
                *out++ = char(code >> 8);
            *out++ = char(code & 0xFF);
        }
        return out - start;
    }

private:
    // One byte below 80 or of the half-width katakana, or a lead byte and a
    // trail byte.
    static bool isWholeCharacter(QByteArrayView bytes)
    {
        auto at = [&bytes](qsizetype i) { return quint8(bytes[i]); };
        if (bytes.size() == 1)
            return at(0) < 0x80 || (at(0) >= 0xA1 && at(0) <= 0xDF);
        if (bytes.size() != 2)
            return false;
        const bool lead = (at(0) >= 0x81 && at(0) <= 0x9F) || (at(0) >= 0xE0 && at(0) <= 0xFC);
        const bool trail = at(1) >= 0x40 && at(1) <= 0xFC && at(1) != 0x7F;
        return lead && trail;
    }

    // A character's one or two bytes (a lead byte in the high half); 0 for
    // one that is not in the table (NUL is left to ICU).
    std::array<quint16, 0x10000> m_codes{};
};

const RoundTrips& roundTrips()
{
    static const RoundTrips table;
    return table;
}

// Halves a run ICU cannot write whole until the characters it cannot write
// stand alone, so a few foreign characters in a long text cost a few
// conversions each rather than one per character of the text.
void appendRun(QByteArray& bytes, QStringView run)
{
    if (run.isEmpty())
        return;
    if (const std::optional<QByteArray> encoded = encodeExactly(run)) {
        bytes.append(*encoded);
        return;
    }
    if (run.size() == 1) {
        bytes.append('?');
        return;
    }
    const qsizetype half = run.size() / 2;
    appendRun(bytes, run.first(half));
    appendRun(bytes, run.sliced(half));
}

#endif

} // namespace

#ifdef Q_OS_WIN

QByteArray toShiftJis(QStringView text)
{
    QByteArray bytes;
    for (qsizetype at = 0; at < text.size(); at += pieceLength) {
        const QStringView piece = text.sliced(at, std::min(pieceLength, text.size() - at));
        const auto* wide = reinterpret_cast<const wchar_t*>(piece.utf16());
        const int length = int(piece.size());
        const int size =
            WideCharToMultiByte(codePage, 0, wide, length, nullptr, 0, nullptr, nullptr);
        if (size <= 0)
            throw platform::Error(platform::Error::Generic,
                                  QStringLiteral("Shift-JIS に変換できません。"));
        const qsizetype start = bytes.size();
        bytes.resize(start + size);
        WideCharToMultiByte(codePage, 0, wide, length, bytes.data() + start, size, nullptr,
                            nullptr);
    }
    return bytes;
}

namespace {

// Every text takes Windows' own conversion.
qsizetype writeShortWay(char*, QByteArrayView)
{
    return -1;
}

} // namespace

QString fromShiftJis(QByteArrayView bytes, bool* complete)
{
    if (bytes.size() > std::numeric_limits<int>::max())
        throw platform::Error(platform::Error::Generic,
                              QStringLiteral("Shift-JIS のテキストが大きすぎます。"));
    const int length = int(bytes.size());
    const int size = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    QString text(size, Qt::Uninitialized);
    MultiByteToWideChar(codePage, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(text.data()),
                        size);
    if (complete)
        *complete = length == 0 || MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                                       length, nullptr, 0) > 0;
    return text;
}

#else

QByteArray toShiftJis(QStringView text)
{
    // Nearly every text the tool writes is all Japanese and ASCII: one pass
    // through the table, else one conversion by ICU with its read-back.
    if (std::optional<QByteArray> bytes = roundTrips().encode(text))
        return *std::move(bytes);
    const bool hasExchangedControl =
        std::ranges::any_of(text, [](QChar c) { return isExchangedControl(c.unicode()); });
    if (!hasExchangedControl) {
        if (std::optional<QByteArray> bytes = encodeExactly(text))
            return *std::move(bytes);
    }

    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        const bestfit::Entry* fit = bestFit(unit);
        const bool control = isExchangedControl(unit);
        if (!fit && !control && !QChar::isSurrogate(unit))
            continue;
        appendRun(bytes, text.sliced(runStart, i - runStart));
        if (fit)
            bytes.append(reinterpret_cast<const char*>(fit->bytes), fit->length);
        else if (control)
            bytes.append(char(unit));
        else
            bytes.append('?');
        runStart = i + 1;
    }
    appendRun(bytes, text.sliced(runStart));
    return bytes;
}

namespace {

qsizetype writeShortWay(char* out, QByteArrayView utf8)
{
    return roundTrips().writeUtf8(out, utf8);
}

} // namespace

QString fromShiftJis(QByteArrayView bytes, bool* complete)
{
    // The exchanged controls are never part of a two-byte character: none is
    // a lead byte, and trail bytes are 40 to 7E and 80 to FC. So the bytes
    // between them are read by ICU piece by piece, each piece on its own.
    QString text;
    bool whole = true;
    qsizetype pieceStart = 0;
    for (qsizetype i = 0; i <= bytes.size(); ++i) {
        const bool end = i == bytes.size();
        if (!end && !isExchangedControl(char16_t(quint8(bytes[i]))))
            continue;
        if (i > pieceStart) {
            QStringDecoder decoder(codePage, QStringDecoder::Flag::Stateless);
            text += decoder.decode(bytes.sliced(pieceStart, i - pieceStart));
            whole = whole && !decoder.hasError();
        }
        if (!end)
            text += QChar(char16_t(quint8(bytes[i])));
        pieceStart = i + 1;
    }
    if (complete)
        *complete = whole;
    return text;
}

#endif

void ShiftJisBuilder::appendUtf8(QByteArrayView utf8)
{
    const qsizetype written = writeShortWay(room(utf8.size()), utf8);
    if (written >= 0)
        m_size += written;
    else
        append(QString::fromUtf8(utf8));
}

void ShiftJisBuilder::append(QStringView text)
{
    const QByteArray bytes = toShiftJis(text);
    std::memcpy(room(bytes.size()), bytes.constData(), std::size_t(bytes.size()));
    m_size += bytes.size();
}

QByteArray ShiftJisBuilder::take()
{
    m_bytes.truncate(m_size);
    m_size = 0;
    return std::exchange(m_bytes, {});
}

void ShiftJisBuilder::grow(qsizetype length)
{
    m_bytes.resize(std::max(m_size + length, 2 * m_bytes.size()));
}

QStringList charactersShiftJisReplaces(QStringView text)
{
    // Every replacement is one character for one UTF-16 unit, so the text
    // reads back unchanged exactly when nothing was replaced.
    if (fromShiftJis(toShiftJis(text)) == text)
        return {};

    QStringList replaced;
    QSet<QString> seen;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype length =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2
                                                                                             : 1;
        const QStringView character = text.sliced(i, length);
        i += length;
        if (seen.contains(character.toString()))
            continue;
        seen.insert(character.toString());
        if (fromShiftJis(toShiftJis(character)) != character)
            replaced.append(character.toString());
    }
    return replaced;
}

} // namespace shiftjis
