#pragma once

#include <QWidget>
#include <array>

class ClickableLabel;
class DriveList;
class QLabel;
class QPushButton;

// The settings window, from which the operator starts every maintenance
// operation: one fixed layout of labels, buttons and two drive lists in four
// sections. Its exit, by the exit button or by closing the window, ends the
// run. The controls keep their design positions when the window is resized.
class export_frm : public QWidget
{
    Q_OBJECT
public:
    explicit export_frm(QWidget* parent = nullptr);

    // The drive the backup writes to and the one the restore reads from.
    DriveList* drive1() const { return m_drive1; }
    DriveList* drive2() const { return m_drive2; }
    // Status lines of the backup and the restore; an empty text clears them.
    QLabel* label12() const { return m_label12; }
    QLabel* label13() const { return m_label13; }
    // Members of the label arrays by their index; each also carries it as its
    // "Index" property, beside the array's name as objectName.
    QLabel* label1(int index) const { return m_label1.at(std::size_t(index)); }
    QLabel* label4(int index) const { return m_label4.at(std::size_t(index)); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void orderTabStops();
    void connectHandlers();

    void exitProgram();
    void backUpToDrive();
    void backUpFromX86ToDrive();
    void restoreFromDrive();
    // Label13's tooltip and accessible description: why the restore failed.
    void showRestoreReason(const QString& reason);
    void requestSupport();

    QPushButton* button(const char* name) const;

    DriveList* m_drive1 = nullptr;
    DriveList* m_drive2 = nullptr;
    QLabel* m_label12 = nullptr;
    QLabel* m_label13 = nullptr;
    ClickableLabel* m_label15 = nullptr;
    ClickableLabel* m_label18 = nullptr;
    std::array<QLabel*, 8> m_label1{};
    std::array<QLabel*, 2> m_label4{};
};
