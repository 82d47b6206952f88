#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstring>
#include <string_view>

namespace shiftjis {

// Text in Windows code page 932, byte for byte as Windows' own default
// conversion writes it, so a file written here and one written there agree:
// - a character the code page holds as Windows maps it: ～ 81 60, ① 87 40, and
//   of the NEC and IBM twins the IBM code, 髙 FB FC;
// - 84 characters it lacks as a close match, its "best fit": é as e, ¥ as 5C,
//   ゔ as ヴ 83 94 (the table is data/cp932/bestfit.tsv);
// - anything else as "?", one per UTF-16 unit: 😀 becomes "??". That includes
//   ‖ (U+2016), − (U+2212) and 〜 (U+301C), which other converters map.
QByteArray toShiftJis(QStringView text);

// A long Shift-JIS text built from many short pieces, such as the cells of a
// large file. The code page is stateless: the pieces' bytes one after the
// other are the bytes of the whole text.
class ShiftJisBuilder
{
public:
    // The bytes toShiftJis writes for QString::fromUtf8(utf8): for text read
    // from the engine, mostly without making the QString at all.
    void appendUtf8(QByteArrayView utf8);
    void append(QStringView text);
    // Characters 01 to 7F, which the code page writes as themselves: the
    // punctuation between pieces, without a conversion.
    void appendAscii(std::string_view ascii)
    {
        std::memcpy(room(qsizetype(ascii.size())), ascii.data(), ascii.size());
        m_size += qsizetype(ascii.size());
    }
    // The bytes so far; the builder is empty afterwards.
    QByteArray take();

private:
    // Room for at least length more bytes, at the end of what is written.
    char* room(qsizetype length)
    {
        if (m_bytes.size() - m_size < length)
            grow(length);
        return m_bytes.data() + m_size;
    }
    void grow(qsizetype length);

    QByteArray m_bytes;
    qsizetype m_size = 0;
};

// Bytes of code page 932 as text. complete, when given, is set to whether every
// byte belonged to a character of the code page; the others read as
// substitutes and cannot be written back from the text.
QString fromShiftJis(QByteArrayView bytes, bool* complete = nullptr);

// The characters of text that toShiftJis writes as something else (a close
// match or "?"), each once, in the order they first appear; a surrogate pair
// is one character.
QStringList charactersShiftJisReplaces(QStringView text);

} // namespace shiftjis
