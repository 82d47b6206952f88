#include "app/MessageBoxDialog.h"

#include "app/LockWaitFeedback.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

namespace {

struct ButtonDesign
{
    QString caption;
    int answer;
};

std::vector<ButtonDesign> buttonSet(int style)
{
    using namespace platform;
    const QString ok = QStringLiteral("OK");
    const QString cancel = QStringLiteral("キャンセル");
    const QString retry = QStringLiteral("再試行(&R)");
    const QString yes = QStringLiteral("はい(&Y)");
    const QString no = QStringLiteral("いいえ(&N)");
    switch (style & 0xF) {
    case vbOKCancel:
        return {{ok, vbOK}, {cancel, vbCancel}};
    case vbAbortRetryIgnore:
        return {{QStringLiteral("中止(&A)"), vbAbort},
                {retry, vbRetry},
                {QStringLiteral("無視(&I)"), vbIgnore}};
    case vbYesNoCancel:
        return {{yes, vbYes}, {no, vbNo}, {cancel, vbCancel}};
    case vbYesNo:
        return {{yes, vbYes}, {no, vbNo}};
    case vbRetryCancel:
        return {{retry, vbRetry}, {cancel, vbCancel}};
    case vbCancelTryContinue:
        return {{cancel, vbCancel},
                {QStringLiteral("再試行(&T)"), vbTryAgain},
                {QStringLiteral("続行(&C)"), vbContinue}};
    default:
        return {{ok, vbOK}};
    }
}

QMessageBox::Icon iconOf(int style)
{
    using namespace platform;
    switch (style & 0xF0) {
    case vbCritical:
        return QMessageBox::Critical;
    case vbQuestion:
        return QMessageBox::Question;
    case vbExclamation:
        return QMessageBox::Warning;
    case vbInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// The windows under a box that has just gone, drawn again at once: the work
// the answer starts may hold the event loop, and until they are drawn the
// box's image stays on the screen as if it were still waiting for an answer.
void repaintWindowsBelow(const QWidget* box)
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        if (window != box && window->isVisible())
            window->repaint();
}

} // namespace

int showMessageBox(const QString& prompt, int style, const QString& title)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title);
    box.setIcon(iconOf(style));
    box.setTextFormat(Qt::PlainText);
    box.setText(QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));

    // One role for every button keeps them in the order they are added, which
    // is Windows' order, whatever order the desktop prefers for roles.
    const auto designs = buttonSet(style);
    std::vector<QPushButton*> buttons;
    QPushButton* escape = nullptr;
    for (const ButtonDesign& design : designs) {
        QPushButton* button = box.addButton(design.caption, QMessageBox::ActionRole);
        button->setProperty("answer", design.answer);
        buttons.push_back(button);
        if (design.answer == platform::vbCancel)
            escape = button;
    }
    // As on Windows, Escape and the close box answer Cancel, or OK when that is
    // the only button; a box without either cannot be dismissed unanswered.
    if (!escape && buttons.size() == 1)
        escape = buttons.front();
    box.setEscapeButton(escape);
    const std::size_t defaultIndex = std::size_t((style >> 8) & 0xF);
    box.setDefaultButton(buttons.at(defaultIndex < buttons.size() ? defaultIndex : 0));

    // A box follows a wait that is over.
    LockWaitFeedback::endWaitCursor();
    box.exec();
    box.hide();
    repaintWindowsBelow(&box);
    if (QAbstractButton* clicked = box.clickedButton())
        return clicked->property("answer").toInt();
    return escape ? escape->property("answer").toInt()
                  : buttons.front()->property("answer").toInt();
}
