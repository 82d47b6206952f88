#include "app/ControlDesign.h"

#include "app/ClickableLabel.h"
#include "app/DesignLook.h"
#include "app/DriveList.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

namespace {

using Kind = ControlDesign::Kind;
using Face = ControlDesign::Face;
using Ink = ControlDesign::Ink;

// Section by section, each from top to bottom.
constexpr ControlDesign controls[] = {
    {"Label3", -1, Kind::Label, u"１．生徒情報の変換", 840, 480, 2055, 255, Face::Bold9,
     Ink::Default, 12},
    {"Command1", -1, Kind::Button, u"[1]\u3000現在の生徒情報を確認する", 840, 960, 3135, 855,
     Face::Regular9, Ink::Default, 0},
    {"Label4", 0, Kind::Label, u"\"バーコード\",\"名前\",\"かな\",\"アドレス\",\"備考\"", 840, 2040,
     4815, 255, Face::Regular11, Ink::Default, 2},
    {"Label1", 2, Kind::Label,
     u"①［メモ帳］出力された５項目が、上記の順番になっていることを確認します。", 960, 2400, 5775,
     255, Face::Regular9, Ink::Highlight, 5},
    {"Label1", 3, Kind::Label, u"②上記の順番になっていたら、［メモ帳］を閉じます。", 960, 2760,
     4215, 255, Face::Regular9, Ink::Highlight, 7},
    {"Label1", 4, Kind::Label, u"③［2.変換する］をクリックします。", 960, 3120, 3975, 255,
     Face::Regular9, Ink::Highlight, 8},
    {"Label15", -1, Kind::Clickable, u"AU onenet対策", 5280, 3720, 1335, 255, Face::Regular9,
     Ink::Default, 34},
    {"Command2", -1, Kind::Button,
     u"[2]\u3000変換する\u3000\u3000\u3000\u3000\u3000\u3000\u3000\u3000\u3000\u3000", 840, 4080,
     3015, 735, Face::Regular9, Ink::Default, 26},
    {"Command8", -1, Kind::Button, u"※<アドレス>形式で出力", 4560, 4080, 2655, 735, Face::Regular9,
     Ink::Default, 33},
    {"Label1", 0, Kind::Label, u"変換が成功すると、備考のあとに\u3000,0,1 が追加されます。", 840,
     5040, 4575, 255, Face::Regular9, Ink::Highlight, 1},
    {"Label4", 1, Kind::Label, u"\"バーコード\",\"名前\",\"かな\",\"アドレス\",\"備考\",0,1", 840,
     5400, 5415, 255, Face::Regular11, Ink::Default, 3},
    {"Label1", 1, Kind::Label, u"①［メモ帳］で、上記のとおり追加されたことを確認したら、", 840,
     6000, 4575, 255, Face::Regular9, Ink::Highlight, 4},
    {"Label1", 6, Kind::Label, u"②［ファイル］→［名前を付けて保存］→ＵＳＢメモリに保存します。",
     840, 6360, 5295, 255, Face::Regular9, Ink::Highlight, 10},
    {"Label1", 5, Kind::Label, u"③［メモ帳］を閉じます。（変換完了です。）", 840, 6720, 4335, 255,
     Face::Regular9, Ink::Highlight, 9},
    {"Label2", -1, Kind::Label, u"Tavenro\u3000v2.06", 840, 7440, 1815, 255, Face::Regular9,
     Ink::Default, 11},
    {"Command7", -1, Kind::Button, u"終\u3000了", 5400, 7680, 1815, 768, Face::Regular9,
     Ink::Default, 6},
    {"Label5", -1, Kind::Label, u"２．生徒情報の一括削除", 8040, 480, 2415, 255, Face::Bold9,
     Ink::Default, 13},
    {"Command3", -1, Kind::Button, u"生徒情報の削除", 8160, 960, 3015, 735, Face::Regular9,
     Ink::Default, 22},
    {"Label1", 7, Kind::Label, u"削除すると復元できません。", 8280, 2040, 2295, 255, Face::Regular9,
     Ink::Highlight, 14},
    {"Label16", -1, Kind::Label, u"３．退室忘れの生徒を退室にする", 12000, 480, 2775, 255,
     Face::Bold9, Ink::Default, 31},
    {"Command6", -1, Kind::Button, u"全員を退室にする", 12000, 960, 2655, 735, Face::Regular9,
     Ink::Default, 30},
    {"Label14", -1, Kind::Label, u"４．バックアップ", 8040, 3480, 1695, 255, Face::Bold9,
     Ink::Default, 25},
    {"Label9", -1, Kind::Label, u"①\u3000PC→USBメモリへバックアップをします。", 8040, 4080, 4935,
     255, Face::Bold11, Ink::Default, 19},
    {"Label11", -1, Kind::Label, u"保存するUSBメモリのドライブを指定してください ", 8280, 4560,
     4095, 255, Face::Bold9, Ink::Default, 21},
    {"Command4", -1, Kind::Button, u"USBに保存", 12480, 4800, 1935, 615, Face::Regular9,
     Ink::Default, 15},
    {"Drive1", -1, Kind::Drive, u"", 8280, 5040, 3015, 300, Face::Regular9, Ink::Default, 28},
    {"Label12", -1, Kind::Label, u"", 8280, 5520, 2775, 255, Face::Regular9, Ink::Red, 23},
    {"Label18", -1, Kind::Clickable, u"※(x86)の場合の保存", 8280, 5880, 1935, 255, Face::Bold9,
     Ink::DarkBlue, 32},
    {"Label8", -1, Kind::Label,
     u"(注意)\u3000「DB」というファイル名で保存されます。ファイル名は変更しないでください。", 8280,
     6120, 6495, 255, Face::Regular9, Ink::ActiveCaption, 16},
    {"Label6", -1, Kind::Label, u"②\u3000USBメモリ→PCへ上書きします。", 8040, 6840, 4335, 255,
     Face::Bold11, Ink::Default, 18},
    {"Label10", -1, Kind::Label, u"保存しているUSBメモリのドライブを指定してください ", 8160, 7320,
     4575, 255, Face::Bold9, Ink::Default, 20},
    {"Command5", -1, Kind::Button, u"ＰＣに保存", 12480, 7680, 1935, 615, Face::Regular9,
     Ink::Default, 27},
    {"Drive2", -1, Kind::Drive, u"", 8280, 7920, 3015, 300, Face::Regular9, Ink::Default, 29},
    {"Label13", -1, Kind::Label, u"", 8280, 8400, 3255, 255, Face::Regular9, Ink::Red, 24},
    {"Label7", -1, Kind::Label,
     u"(注意)\u3000同じTavenroのバージョンのファイルでないと作動しません。", 8280, 8880, 5775, 255,
     Face::Regular9, Ink::ActiveCaption, 17},
};

constexpr LineDesign lines[] = {
    {"Line1", 7560, 0, 7560, 10560},
    {"Line2", 7560, 2880, 15240, 2880},
};

QFont fontOf(Face face)
{
    switch (face) {
    case Face::Bold9:
        return designFont(9, true);
    case Face::Bold11:
        return designFont(11.25, true);
    case Face::Regular11:
        return designFont(11.25, false);
    case Face::Regular9:
        break;
    }
    return designFont();
}

void paintText(QWidget* widget, Ink ink)
{
    QColor colour;
    switch (ink) {
    case Ink::Default:
        return;
    case Ink::Red:
        colour = designRed();
        break;
    case Ink::DarkBlue:
        colour = designDarkBlue();
        break;
    case Ink::Highlight:
        colour = highlightColour();
        break;
    case Ink::ActiveCaption:
        colour = activeCaptionColour();
        break;
    }
    QPalette palette = widget->palette();
    palette.setColor(widget->foregroundRole(), colour);
    widget->setPalette(palette);
}

} // namespace

std::span<const ControlDesign> settingsControls()
{
    return controls;
}

std::span<const LineDesign> settingsLines()
{
    return lines;
}

QWidget* createLine(const LineDesign& line, QWidget* parent)
{
    auto* widget = new QWidget(parent);
    widget->setObjectName(QString::fromLatin1(line.name));
    widget->setGeometry(pixelsFromTwips(line.x1), pixelsFromTwips(line.y1),
                        std::max(1, pixelsFromTwips(line.x2 - line.x1)),
                        std::max(1, pixelsFromTwips(line.y2 - line.y1)));
    widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, highlightColour());
    widget->setPalette(palette);
    return widget;
}

QWidget* createControl(const ControlDesign& design, QWidget* parent)
{
    QWidget* widget = nullptr;
    switch (design.kind) {
    case Kind::Label:
    case Kind::Clickable: {
        QLabel* label =
            design.kind == Kind::Clickable ? new ClickableLabel(parent) : new QLabel(parent);
        // Captions are shown as written: "<アドレス>" is text, not markup.
        label->setTextFormat(Qt::PlainText);
        // Designed labels put their text at the top left of their box.
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setText(design.caption.toString());
        widget = label;
        break;
    }
    case Kind::Button: {
        auto* button = new QPushButton(design.caption.toString(), parent);
        // No button answers Enter or Escape on the window's behalf: the
        // keyboard reaches a button only through the focus, where Enter and
        // Space press it, as on Windows. (Outside a dialog, auto-default only
        // lets Enter press the focused button.)
        button->setAutoDefault(true);
        button->setDefault(false);
        widget = button;
        break;
    }
    case Kind::Drive:
        widget = new DriveList(parent);
        break;
    }
    widget->setObjectName(QString::fromLatin1(design.name));
    if (design.index >= 0)
        widget->setProperty("Index", design.index);
    widget->setGeometry(rectFromTwips(design.left, design.top, design.width, design.height));
    if (design.face != Face::Regular9)
        widget->setFont(fontOf(design.face));
    paintText(widget, design.ink);
    return widget;
}
