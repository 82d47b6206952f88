#include "app/DriveList.h"

#include "platform/Drives.h"

#include <QFileInfo>
#include <QSignalBlocker>

namespace {

// A drive folder's label is a host path; its last part is what tells drives
// apart at this width.
QString shownLabel(const QString& label)
{
    return label.startsWith(QLatin1Char('/')) ? QFileInfo(label).fileName() : label;
}

} // namespace

DriveList::DriveList(QWidget* parent) : QComboBox(parent)
{
    // The starting drive is always one to choose, even where no drive folder
    // maps it.
    fill(platform::startingDrive());
    connect(this, &QComboBox::currentIndexChanged, this, &DriveList::changed);
}

void DriveList::fill(const QString& drive)
{
    const QSignalBlocker quiet(this);
    clear();
    const auto drives = platform::listDrives();
    for (const platform::Drive& d : drives) {
        const QString label = shownLabel(d.label);
        addItem(label.isEmpty() ? d.text : QStringLiteral("%1 [%2]").arg(d.text, label), d.text);
    }
    int index = findData(drive);
    if (index < 0) {
        insertItem(0, drive, drive);
        index = 0;
    }
    setCurrentIndex(index);
}

void DriveList::showPopup()
{
    fill(drive());
    QComboBox::showPopup();
}

QString DriveList::drive() const
{
    return currentData().toString();
}
