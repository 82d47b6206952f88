#include "notepad/NotepadText.h"

#include "platform/ShiftJis.h"

namespace notepad {

DecodedText decodeFile(QByteArrayView bytes)
{
    DecodedText result;
    const QString decoded = platform::fromShiftJis(bytes, &result.complete);
    result.text.reserve(decoded.size());
    for (qsizetype i = 0; i < decoded.size(); ++i) {
        const QChar c = decoded.at(i);
        if (c == QLatin1Char('\r') && i + 1 < decoded.size() &&
            decoded.at(i + 1) == QLatin1Char('\n')) {
            result.text += QLatin1Char('\n');
            ++i;
        } else if (c == QLatin1Char('\r')) {
            result.text += loneCrMark;
        } else if (c == QLatin1Char('\n')) {
            result.text += loneLfMark;
        } else {
            result.text += c;
        }
    }
    return result;
}

QString textForSave(QStringView text)
{
    QString saved;
    saved.reserve(text.size() + text.count(QLatin1Char('\n')));
    for (const QChar c : text) {
        if (c == QLatin1Char('\n'))
            saved += QStringLiteral("\r\n");
        else if (c == loneCrMark)
            saved += QLatin1Char('\r');
        else if (c == loneLfMark)
            saved += QLatin1Char('\n');
        else
            saved += c;
    }
    return saved;
}

QByteArray encodeForSave(QStringView text)
{
    return platform::toShiftJis(textForSave(text));
}

} // namespace notepad
