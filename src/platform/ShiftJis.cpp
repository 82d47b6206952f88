#include "ShiftJis.h"

#include <QSet>
#include <algorithm>

#ifdef Q_OS_WIN
#include "Error.h"

#include <limits>
#include <qt_windows.h>
#else
#include "BestFitTable.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <optional>
#endif

namespace platform {

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
            throw Error(Error::Generic, QStringLiteral("Shift-JIS に変換できません。"));
        const qsizetype start = bytes.size();
        bytes.resize(start + size);
        WideCharToMultiByte(codePage, 0, wide, length, bytes.data() + start, size, nullptr,
                            nullptr);
    }
    return bytes;
}

QString fromShiftJis(QByteArrayView bytes, bool* complete)
{
    if (bytes.size() > std::numeric_limits<int>::max())
        throw Error(Error::Generic, QStringLiteral("Shift-JIS のテキストが大きすぎます。"));
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
    // Nearly every text the tool writes is all Japanese and ASCII: one pass.
    if (std::optional<QByteArray> bytes = encodeExactly(text))
        return *std::move(bytes);

    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        const bestfit::Entry* fit = bestFit(unit);
        if (!fit && !QChar::isSurrogate(unit))
            continue;
        appendRun(bytes, text.sliced(runStart, i - runStart));
        if (fit)
            bytes.append(reinterpret_cast<const char*>(fit->bytes), fit->length);
        else
            bytes.append('?');
        runStart = i + 1;
    }
    appendRun(bytes, text.sliced(runStart));
    return bytes;
}

QString fromShiftJis(QByteArrayView bytes, bool* complete)
{
    QStringDecoder decoder(codePage);
    QString text = decoder.decode(bytes);
    if (complete)
        *complete = !decoder.hasError();
    return text;
}

#endif

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

} // namespace platform
