#pragma once

#include <QString>
#include <QStringList>

class QCoreApplication;

// What the tool and its bundled editor share of their look and language, kept
// once so that the two programs cannot drift apart. Qt Core only: each
// program hands the names to its own font machinery.
namespace platform {

// "ＭＳ Ｐゴシック", the face both programs were designed in.
QString designFamily();

// The faces tried, in this order, where designFamily() is not installed: its
// metric twin IPAPGothic first, then other Japanese faces.
QStringList designFamilyFallbacks();

// Qt's own texts (buttons of the standard boxes, a text box's context menu) in
// Japanese, whatever the system's language. False when Qt's Japanese
// translation is not installed; the texts then stay in English.
bool installQtJapaneseTexts(QCoreApplication& application);

} // namespace platform
