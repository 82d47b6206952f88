#include "platform/JapaneseDesktop.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace platform {

QString designFamily()
{
    return QStringLiteral("ＭＳ Ｐゴシック");
}

QStringList designFamilyFallbacks()
{
    return {
        QStringLiteral("MS PGothic"),         QStringLiteral("IPAPGothic"),
        QStringLiteral("IPA Pゴシック"),      QStringLiteral("VL PGothic"),
        QStringLiteral("TakaoPGothic"),       QStringLiteral("Noto Sans CJK JP"),
        QStringLiteral("Source Han Sans JP"), QStringLiteral("IPAexGothic"),
        QStringLiteral("IPAGothic"),          QStringLiteral("Droid Sans Fallback"),
    };
}

bool installQtJapaneseTexts(QCoreApplication& application)
{
    auto* translator = new QTranslator(&application);
    if (!translator->load(QStringLiteral("qtbase_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace platform
