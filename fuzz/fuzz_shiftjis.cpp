// The Shift-JIS writer and reader on arbitrary text and bytes.

#include "fuzz/FuzzInput.h"
#include "shiftjis/ShiftJis.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The bytes as a file read in code page 932.
    bool complete = false;
    const QString read = shiftjis::fromShiftJis(QByteArrayView(data, qsizetype(size)), &complete);
    if (complete && !shiftjis::charactersShiftJisReplaces(read).isEmpty())
        fuzz::fault("text read whole holds characters the writer replaces");

    // The same bytes as UTF-16 text, lone surrogates and all, to be written.
    const QString text = fuzz::asUtf16(data, size);
    const QByteArray written = shiftjis::toShiftJis(text);
    const QStringList replaced = shiftjis::charactersShiftJisReplaces(text);
    bool writtenComplete = false;
    const QString back = shiftjis::fromShiftJis(written, &writtenComplete);
    if (!writtenComplete)
        fuzz::fault("the writer wrote bytes that are no code page 932");
    // One "?" per UTF-16 unit at most, two bytes per character at most.
    if (written.size() > 2 * text.size())
        fuzz::fault("more than two bytes per UTF-16 unit");
    if (replaced.isEmpty() && back != text)
        fuzz::fault("text without replaced characters did not come back");

    // The same bytes as UTF-8 from the engine, ill-formed or not: the short
    // way must write what the long way writes.
    const QByteArrayView utf8(data, qsizetype(size));
    shiftjis::ShiftJisBuilder builder;
    builder.appendUtf8("x");
    builder.appendUtf8(utf8);
    if (builder.take() != "x" + shiftjis::toShiftJis(QString::fromUtf8(utf8)))
        fuzz::fault("UTF-8 written otherwise than its text");
    return 0;
}
