#include "DriveList.h"

#include "platform/Drives.h"

#include <QFileInfo>

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
    const auto drives = platform::listDrives();
    for (const platform::Drive& d : drives) {
        const QString label = shownLabel(d.label);
        addItem(label.isEmpty() ? d.text : QStringLiteral("%1 [%2]").arg(d.text, label), d.text);
    }
    // The current drive is always one to choose, even where no drive folder
    // maps it.
    const QString current = platform::currentDrive();
    int index = findData(current);
    if (index < 0) {
        insertItem(0, current, current);
        index = 0;
    }
    setCurrentIndex(index);
    connect(this, &QComboBox::currentIndexChanged, this, &DriveList::changed);
}

QString DriveList::drive() const
{
    return currentData().toString();
}
