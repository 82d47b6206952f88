#include "app/DesignLook.h"

#include "platform/JapaneseDesktop.h"

#include <QApplication>
#include <QPalette>
#include <cmath>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

int pixelsFromTwips(int twips)
{
    return int(std::lround(double(twips) / twipsPerPixel));
}

QRect rectFromTwips(int left, int top, int width, int height)
{
    return QRect(pixelsFromTwips(left), pixelsFromTwips(top), pixelsFromTwips(width),
                 pixelsFromTwips(height));
}

QString designFamily()
{
    return platform::designFamily();
}

QFont designFont(qreal pointSize, bool bold)
{
    QFont font(designFamily());
    font.setPointSizeF(pointSize);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

QColor designRed()
{
    return QColor(255, 0, 0);
}

QColor designDarkBlue()
{
    return QColor(0, 0, 192);
}

QColor highlightColour()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Highlight);
}

QColor activeCaptionColour()
{
#ifdef Q_OS_WIN
    const DWORD c = GetSysColor(COLOR_ACTIVECAPTION);
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
#else
    return QColor(153, 180, 209);
#endif
}

void installJapaneseFontFallbacks()
{
    QFont::insertSubstitutions(designFamily(), platform::designFamilyFallbacks());
}
