// The bundled editor's reading of a file and its save, on arbitrary bytes.

#include "fuzz/FuzzInput.h"
#include "notepad/NotepadText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    const notepad::DecodedText opened = notepad::decodeFile(bytes);
    const QString text = opened.text();
    if (text.contains(QLatin1Char('\r')))
        fuzz::fault("a carriage return survived the reading");
    // Nothing edited: every line is the operator's untouched bytes.
    if (notepad::encodeForSave(text, opened).bytes != bytes)
        fuzz::fault("an unedited save changed the file's bytes");
    // Written afresh, the text is code page 932 and reads back the same.
    const QByteArray saved = notepad::encodeForSave(text).bytes;
    const notepad::DecodedText reopened = notepad::decodeFile(saved);
    if (!reopened.complete())
        fuzz::fault("the save wrote bytes that are no code page 932");
    if (opened.complete() && reopened.text() != text)
        fuzz::fault("a file read whole did not read back the same after its save");
    return 0;
}
