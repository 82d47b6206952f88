// The date and time readers on arbitrary input: the text parser that reads
// every stored date cell, and the OLE date numbers of a damaged file.

#include "engine/FieldKind.h"
#include "fuzz/FuzzInput.h"

#include <QDate>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input input(data, size);
    const double number = input.raw<double>();
    if (engine::detail::isOleDate(number)) {
        const engine::DateTime dt = engine::detail::fromOleDate(number);
        if (!dt.date.isValid() || !dt.time.isValid())
            fuzz::fault("an OLE date in range gave an invalid date-time");
    }

    const char* text = reinterpret_cast<const char*>(data);
    engine::detail::DateTimeParts parts;
    if (engine::detail::parseDateTime(text, qsizetype(size), &parts)) {
        if (!QDate::fromJulianDay(parts.julianDay).isValid())
            fuzz::fault("a parsed date is no date");
        if (parts.secondOfDay < 0 || parts.secondOfDay >= 86400)
            fuzz::fault("a parsed time is outside the day");
    }
    // The text form agrees with the byte form on what it accepts.
    engine::DateTime dt;
    const bool asText =
        engine::detail::parseDateTime(QString::fromUtf8(text, qsizetype(size)), &dt);
    if (asText && (!dt.date.isValid() || !dt.time.isValid()))
        fuzz::fault("the text form gave an invalid date-time");
    return 0;
}
