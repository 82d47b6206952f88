#include "ShiftJis.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace platform {

namespace {

// ICU's "windows-31j" is code page 932 with the NEC and IBM extensions and
// Windows' own mappings; glibc's SHIFT_JIS gives different bytes.
constexpr const char* codePage = "windows-31j";

} // namespace

QByteArray toShiftJis(QStringView text)
{
    QStringEncoder encoder(codePage);
    QByteArray bytes = encoder.encode(text);
    if (!encoder.hasError())
        return bytes;

    // Rare path: encode one character at a time and put "?" where the code
    // page has none (ICU would write its own substitute bytes instead).
    bytes.clear();
    bytes.reserve(text.size() * 2);
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype length = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            length = 2;
        QStringEncoder one(codePage);
        const QByteArray encoded = one.encode(text.sliced(i, length));
        if (one.hasError() || encoded.isEmpty())
            bytes.append('?');
        else
            bytes.append(encoded);
        i += length;
    }
    return bytes;
}

QString fromShiftJis(QByteArrayView bytes)
{
    QStringDecoder decoder(codePage);
    return decoder.decode(bytes);
}

} // namespace platform
