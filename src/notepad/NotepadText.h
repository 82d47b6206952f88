#pragma once

#include <QByteArray>
#include <QString>

// How the editor turns a file's bytes into text and edited text back into
// bytes: Windows code page 932, CR LF line ends.
namespace notepad {

struct DecodedText
{
    // Every line end (CR LF, a lone CR, a lone LF) as "\n".
    QString text;
    // False when some bytes were not code page 932; they show as substitutes
    // and cannot be written back from the text.
    bool complete = true;
};

DecodedText decodeFile(QByteArrayView bytes);

// Code page 932 with CR LF after every line, written as Windows writes it: a
// character the code page cannot hold becomes a close match or "?".
QByteArray encodeForSave(QStringView text);

} // namespace notepad
