#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

// How the editor turns a file's bytes into text and edited text back into
// bytes: Windows code page 932, CR LF line ends.
//
// Only CR LF ends a line. A lone CR or a lone LF inside a line (a remark the
// export wrote as it stands) is a character of that line: it is shown as a
// mark of its own, so the operator sees the record is one line, and saved as
// the byte it was, so typing elsewhere never turns it into a line end. The
// marks are outside code page 932, so no file can hold them as characters.
namespace notepad {

inline constexpr QChar loneCrMark = QChar(0x21A9); // ↩
inline constexpr QChar loneLfMark = QChar(0x21B5); // ↵

struct DecodedText
{
    // Every CR LF as "\n", lone CRs and LFs as their marks.
    QString text;
    // False when some bytes were not code page 932; they show as substitutes
    // and cannot be written back from the text.
    bool complete = true;
};

DecodedText decodeFile(QByteArrayView bytes);

// The text as the file will hold it, still in Unicode: CR LF after every line,
// the marks back to the lone CR and LF they stand for.
QString textForSave(QStringView text);

// Code page 932 of textForSave, written as Windows writes it: a character the
// code page cannot hold becomes a close match or "?".
QByteArray encodeForSave(QStringView text);

} // namespace notepad
