#include "fuzz/FuzzInput.h"

#include <QFile>

namespace fuzz {

QString writeScratchFile(const QString& name, const uint8_t* data, size_t size)
{
    const QString path = scratchFolder() + QLatin1Char('/') + name;
    QFile::remove(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        fault("cannot write the scratch file");
    file.close();
    return path;
}

} // namespace fuzz
