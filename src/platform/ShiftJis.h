#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Text in Windows code page 932, as Windows itself converts it: ～ is 81 60,
// ① 87 40, 髙 FB FC. A character the code page cannot hold becomes "?", one
// per character (an emoji too).
QByteArray toShiftJis(QStringView text);
QString fromShiftJis(QByteArrayView bytes);

} // namespace platform
