#include "notepad/NotepadText.h"

#include "platform/ShiftJis.h"

namespace notepad {

DecodedText decodeFile(QByteArrayView bytes)
{
    DecodedText result;
    result.text = platform::fromShiftJis(bytes, &result.complete);
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

} // namespace notepad
