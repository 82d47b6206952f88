#pragma once

#include <QString>

namespace platform {

// The folder that holds the Windows drives of this machine: $WINEPREFIX, or
// ~/.wine when it is not set. Each drive letter is a link
// <prefix>/dosdevices/<letter>: to the drive's root, as Wine keeps them, so the
// product running under Wine and this tool see the same files.
QString winePrefix();

// Maps a Windows path ("c:\Program Files\Tavenro\DB.mdb") to the host path that
// names the same file. On Windows the path is returned unchanged. Elsewhere
// backslashes become slashes and a leading drive letter resolves through
// dosdevices; a letter without a mapping gives a path that does not exist, so
// it reads as a missing drive. Below the drive, a folder or file whose host
// name differs only in letter case is found as Wine finds it ("Tavenro" is
// tavenro/ when only that exists); the name as written wins when it exists,
// and parts that exist in no spelling stay as written. A path without a drive
// letter is returned with its separators changed, relative paths staying
// relative.
QString hostPath(const QString& windowsPath);

} // namespace platform
