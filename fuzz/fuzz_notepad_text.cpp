// The bundled editor's reading of a file and its save, on arbitrary bytes.

#include "FuzzInput.h"
#include "notepad/NotepadText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const notepad::DecodedText opened = notepad::decodeFile(QByteArrayView(data, qsizetype(size)));
    if (opened.text().contains(QLatin1Char('\r')))
        fuzz::fault("a carriage return survived the reading");
    const QByteArray saved = notepad::encodeForSave(opened.text()).bytes;
    const notepad::DecodedText reopened = notepad::decodeFile(saved);
    if (!reopened.complete())
        fuzz::fault("the save wrote bytes that are no code page 932");
    // A file read whole is saved so that it reads back as the same text.
    if (opened.complete() && reopened.text() != opened.text())
        fuzz::fault("a file read whole did not read back the same after its save");
    return 0;
}
