#pragma once

#include <QByteArray>
#include <QChar>
#include <QList>
#include <QString>

// How the editor turns a file's bytes into text and edited text back into
// bytes: Windows code page 932, CR LF line ends.
//
// Only CR LF ends a line. A lone CR or a lone LF inside a line (a remark the
// export wrote as it stands) is a character of that line: it is shown as a
// mark of its own, so the operator sees the record is one line, and saved as
// the byte it was, so typing elsewhere never turns it into a line end. The
// marks are outside code page 932, so no file can hold them as characters.
//
// A line the operator did not touch is written back as the bytes it was read
// from: code page 932 has characters with two codes (the NEC and IBM
// extensions) and bytes that are no character at all, and encoding the text
// again would change them. Only the lines that were edited are written afresh.
namespace notepad {

inline constexpr QChar loneCrMark = QChar(0x21A9); // ↩
inline constexpr QChar loneLfMark = QChar(0x21B5); // ↵

// A file as lines, as the editor read it.
struct DecodedText
{
    // Each line's bytes, without its CR LF; a file ending in CR LF has an
    // empty last line, as the text has.
    QList<QByteArray> lineBytes;
    // Each line as shown: lone CRs and LFs as their marks.
    QStringList lines;
    // Per line: false when some of its bytes were not code page 932; they
    // show as substitutes and cannot be written back from the text.
    QList<bool> lineComplete;

    // The text shown, lines joined by "\n".
    QString text() const { return lines.join(QLatin1Char('\n')); }
    bool complete() const { return !lineComplete.contains(false); }
};

DecodedText decodeFile(QByteArrayView bytes);

// What a save of the edited text writes.
struct EncodedText
{
    QByteArray bytes;
    // The lines written afresh, as the file will hold them but still in
    // Unicode: what may lose characters the code page cannot hold.
    QString rewritten;
    // A line with bytes outside the code page was edited, so those bytes are
    // lost.
    bool dropsUnreadable = false;
};

// Code page 932 with CR LF after every line but the last, the marks back to
// the lone CR and LF they stand for. Lines that read as the same line of
// source (in the same place counted from the start or from the end) keep
// source's bytes; the others are written as Windows writes them: a character
// the code page cannot hold becomes a close match or "?".
EncodedText encodeForSave(QStringView text, const DecodedText& source = {});

} // namespace notepad
