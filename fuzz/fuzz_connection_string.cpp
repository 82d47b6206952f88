// The connection string's parser on arbitrary text.

#include "engine/ConnectionString.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto properties = engine::detail::parseConnectionString(text);
    for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
        if (it.key() != it.key().toLower() || it.key() != it.key().trimmed())
            fuzz::fault("a key not lower case and trimmed");
        if (it.key().contains(QLatin1Char(';')) || it.value().contains(QLatin1Char(';')))
            fuzz::fault("a property reaches across a semicolon");
    }
    return 0;
}
