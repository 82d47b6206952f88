#include "notepad/NotepadText.h"

#include "shiftjis/ShiftJis.h"

namespace notepad {

namespace {

// One line's text, its lone breaks as marks. Code page 932 never uses CR or LF
// as the second byte of a character, so a line's bytes decode on their own.
QString decodeLine(QByteArrayView bytes, bool* complete)
{
    QString line = shiftjis::fromShiftJis(bytes, complete);
    for (QChar& c : line) {
        if (c == QLatin1Char('\r'))
            c = loneCrMark;
        else if (c == QLatin1Char('\n'))
            c = loneLfMark;
    }
    return line;
}

QString lineForSave(QStringView line)
{
    QString saved = line.toString();
    saved.replace(loneCrMark, QLatin1Char('\r'));
    saved.replace(loneLfMark, QLatin1Char('\n'));
    return saved;
}

} // namespace

DecodedText decodeFile(QByteArrayView bytes)
{
    DecodedText result;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = QByteArrayView(bytes).indexOf(QByteArrayView("\r\n"), start);
        const QByteArrayView line = bytes.sliced(start, (end < 0 ? bytes.size() : end) - start);
        bool complete = true;
        result.lineBytes << line.toByteArray();
        result.lines << decodeLine(line, &complete);
        result.lineComplete << complete;
        if (end < 0)
            break;
        start = end + 2;
    }
    return result;
}

EncodedText encodeForSave(QStringView text, const DecodedText& source)
{
    const QList<QStringView> lines = text.split(QLatin1Char('\n'));
    const qsizetype old = source.lines.size();
    // The lines kept at the start and at the end; where as many lines are
    // between them as there were, each of those is kept too when it reads as
    // the line it replaces (a line edited in place).
    qsizetype head = 0;
    while (head < lines.size() && head < old && lines[head] == source.lines[head])
        ++head;
    qsizetype tail = 0;
    while (tail < lines.size() - head && tail < old - head &&
           lines[lines.size() - 1 - tail] == source.lines[old - 1 - tail])
        ++tail;
    const bool inPlace = lines.size() == old;

    EncodedText result;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            result.bytes += "\r\n";
        const bool kept =
            i < head || i >= lines.size() - tail || (inPlace && lines[i] == source.lines[i]);
        if (kept) {
            const qsizetype from = i < head || inPlace ? i : old - (lines.size() - i);
            result.bytes += source.lineBytes[from];
            continue;
        }
        const QString saved = lineForSave(lines[i]);
        result.bytes += shiftjis::toShiftJis(saved);
        result.rewritten += saved + QStringLiteral("\r\n");
    }
    // The source lines that nothing kept: edited or taken away.
    for (qsizetype i = head; i < old - tail; ++i) {
        const bool keptInPlace = inPlace && lines[i] == source.lines[i];
        if (!keptInPlace && !source.lineComplete[i])
            result.dropsUnreadable = true;
    }
    return result;
}

} // namespace notepad
