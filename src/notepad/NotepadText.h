#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

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

// Code page 932 with CR LF after every line; a character the code page cannot
// hold becomes "?".
QByteArray encodeForSave(QStringView text);

// The characters of text that would become "?" when saved, each once, in the
// order they first appear.
QStringList unencodableCharacters(QStringView text);

} // namespace notepad
