#include "notepad/NotepadText.h"

#include "platform/ShiftJis.h"

#include <QSet>
#include <QStringDecoder>

namespace notepad {

DecodedText decodeFile(QByteArrayView bytes)
{
    // The platform's decoder does not tell whether it met bytes outside the
    // code page; the editor needs to know before it writes the text back.
    QStringDecoder decoder("windows-31j");
    DecodedText result;
    result.text = decoder.decode(bytes);
    result.complete = !decoder.hasError();
    result.text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    result.text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return result;
}

QByteArray encodeForSave(QStringView text)
{
    QString withCrLf = text.toString();
    withCrLf.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return platform::toShiftJis(withCrLf);
}

QStringList unencodableCharacters(QStringView text)
{
    // Every character the code page lacks becomes exactly one "?", and no
    // double-byte character has "?" as its second byte, so counting question
    // marks tells whether anything is lost without a second pass.
    const QByteArray encoded = platform::toShiftJis(text);
    if (encoded.count('?') == text.count(QLatin1Char('?')))
        return {};

    QStringList lost;
    QSet<char32_t> seen;
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype length = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            length = 2;
        const QStringView character = text.sliced(i, length);
        const char32_t code = length == 2 ? QChar::surrogateToUcs4(character[0], character[1])
                                          : char32_t(character[0].unicode());
        if (!seen.contains(code)) {
            seen.insert(code);
            if (code != U'?' && platform::toShiftJis(character) == "?")
                lost.append(character.toString());
        }
        i += length;
    }
    return lost;
}

} // namespace notepad
