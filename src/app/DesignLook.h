#pragma once

// The measures, the face and the colours in which the windows were designed.

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

// Positions and sizes are designed in twips; 15 twips make one pixel at 96
// dots per inch. A size that is no whole number of pixels rounds to the
// nearest one.
constexpr int twipsPerPixel = 15;
int pixelsFromTwips(int twips);
QRect rectFromTwips(int left, int top, int width, int height);

// "ＭＳ Ｐゴシック", the face of every window and control. The windows were
// designed for its Shift-JIS character set; Qt chooses glyphs by character,
// so the face alone carries the design.
QString designFamily();
QFont designFont(qreal pointSize = 9, bool bold = false);

// Text colours that the layout names.
QColor designRed();
QColor designDarkBlue();
// The background colour of a selected item.
QColor highlightColour();
// The colour of an active window's title bar. Qt has no role for it, so
// outside Windows it is the one Windows shows by default.
QColor activeCaptionColour();

// Lets "ＭＳ Ｐゴシック" resolve to its metric twin IPAPGothic, or else to
// another Japanese face, where fontconfig has no alias for it.
void installJapaneseFontFallbacks();
