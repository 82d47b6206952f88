#pragma once

#include <QIcon>

// The launcher's image, a barcode card; the viewer carries the same one.
QIcon launcherIcon();
// The settings window's own image, a roster sheet with a check mark.
QIcon settingsIcon();
