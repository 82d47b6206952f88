#pragma once

// The settings window as it was designed: each control's name, kind, caption,
// place and look, the two dividing lines, and what builds a control from its
// design.

#include <QStringView>
#include <span>

class QWidget;

// One control as designed: name (and index within its array, -1 outside
// one), kind, caption, left, top, width and height in twips, face, text
// colour and place in the tab order.
struct ControlDesign
{
    enum class Kind
    {
        Label,
        Clickable,
        Button,
        Drive
    };
    enum class Face
    {
        Regular9,
        Bold9,
        Bold11,
        Regular11
    };
    enum class Ink
    {
        Default,
        Red,
        DarkBlue,
        Highlight,
        ActiveCaption
    };

    const char* name;
    int index;
    Kind kind;
    QStringView caption;
    int left, top, width, height;
    Face face;
    Ink ink;
    int tabIndex;
};

// The two dividing lines, from one point to the other in twips.
struct LineDesign
{
    const char* name;
    int x1, y1, x2, y2;
};

// The settings window's controls, section by section, each section from top
// to bottom; and its lines.
std::span<const ControlDesign> settingsControls();
std::span<const LineDesign> settingsLines();

// A control as designed, a child of parent: its design name as objectName
// (and its index as the "Index" property inside an array), its caption, its
// place, its face and its text colour.
QWidget* createControl(const ControlDesign& design, QWidget* parent);
// A dividing line, drawn in the highlight colour, that takes no clicks.
QWidget* createLine(const LineDesign& line, QWidget* parent);
