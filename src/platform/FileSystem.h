#pragma once

#include <QString>

namespace platform {

// The two file operations the tool uses, on Windows paths.

// True when a file of that path exists; a missing folder or drive gives false.
bool fileExists(const QString& windowsPath);

// Copies one file. The copy is written under a temporary name beside the
// destination, flushed to the medium, and only then renamed over it, so a
// failure (source missing, medium full or removed, destination not writable)
// leaves any earlier destination file as it was. Throws platform::Error.
void copyFile(const QString& sourceWindowsPath, const QString& destinationWindowsPath,
              bool overwrite);

} // namespace platform
