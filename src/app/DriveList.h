#pragma once

#include <QComboBox>

// The drive list: a drop-down of the machine's drives with exactly one
// selected, at first the first removable or user-mounted volume, else the
// drive of the current directory. Each entry shows the
// drive and, in brackets, its label; only the drive itself is reported. The
// list is read again each time it opens, so a stick inserted after start-up
// can be chosen; the selected drive stays, even when its medium is gone.
class DriveList : public QComboBox
{
    Q_OBJECT
public:
    explicit DriveList(QWidget* parent = nullptr);

    // The selected drive, such that drive() + "\DB.mdb" names the file in
    // its root ("e:", or a mount point).
    QString drive() const;

    void showPopup() override;

Q_SIGNALS:
    // Another drive was selected; not sent for the initial selection.
    void changed();

private:
    // Fills the list from the machine's drives and selects drive, adding it
    // when the machine no longer offers it. Sends no signal.
    void fill(const QString& drive);
};
