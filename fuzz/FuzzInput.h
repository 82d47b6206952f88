#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// Helpers the fuzz targets share: turning the fuzzer's bytes into typed
// values, and one temporary folder for those that need a file.
namespace fuzz {

// Reads typed values off the front of the input; past its end every read
// gives zero, so a target never reads beyond what it was given.
class Input
{
public:
    Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool atEnd() const { return m_pos >= m_size; }
    size_t remaining() const { return m_size - m_pos; }

    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }

    template <typename T> T raw()
    {
        T value{};
        const size_t n = sizeof(T) < remaining() ? sizeof(T) : remaining();
        std::memcpy(&value, m_data + m_pos, n);
        m_pos += n;
        return value;
    }

    // UTF-16 code units, lone surrogates included: length given by one byte.
    QString utf16()
    {
        const size_t units = byte();
        QString text;
        for (size_t i = 0; i < units && remaining() >= 2; ++i)
            text += QChar(raw<char16_t>());
        return text;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// The whole input as UTF-16 code units (an odd last byte dropped).
inline QString asUtf16(const uint8_t* data, size_t size)
{
    return QString(reinterpret_cast<const QChar*>(data), qsizetype(size / 2));
}

inline QByteArray asBytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// A folder of this run's own, removed at exit.
inline const QString& scratchFolder()
{
    static QTemporaryDir dir;
    static const QString path = dir.isValid() ? dir.path() : QString();
    if (path.isEmpty())
        std::abort();
    return path;
}

// Writes the input to a file of the scratch folder and returns its path.
QString writeScratchFile(const QString& name, const uint8_t* data, size_t size);

// Stops the run as a found fault: libFuzzer keeps the input that did it.
[[noreturn]] inline void fault(const char* what)
{
    fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

} // namespace fuzz
