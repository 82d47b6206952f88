#pragma once

#include <QString>
#include <vector>

namespace platform {

// A drive the operator can pick. text + "\" + "DB.mdb" names the file in the
// drive's root: a letter ("e:") for a drive mapped through the drive folder,
// else the mount point of a removable or user-mounted volume. label is the
// volume's label, for display beside the text only: empty where the drive is
// no volume of its own or its volume has none. folder is the drive's root on
// this machine: where the letter leads, or the mount point.
struct Drive
{
    QString text;
    QString label;
    QString folder;
    bool operator==(const Drive&) const = default;
};

// The drives of this machine, read afresh on every call: the mapped letters in
// order, then the mounted volumes that no letter maps already and that the
// operator brought (mounted under /media, /run/media or /mnt, or on a device
// the kernel calls removable).
std::vector<Drive> listDrives();

// False when the drive's folder is a mount point at which no volume is
// mounted any more: the folder left behind lies on the volume below, most
// often the system disk, and a file written there misses the stick. That is
// a mount point given as the drive text, a folder a drive letter resolves to
// that was seen mounted when the drives were last listed, and a bare folder
// where removable media are mounted (/media, /run/media, /mnt and below)
// that no volume is mounted on. A letter linked to an ordinary folder is
// mounted; a missing mapping reads as a missing folder.
bool driveIsMounted(const QString& driveText);

// The drive of the list that holds a folder of this machine (the one with the
// longest root when several do); empty when none does.
QString driveHolding(const QString& hostFolder);

// The drive holding the current directory.
QString currentDrive();

// The drive a drive list first shows: the first stick, else currentDrive().
// A stick is a drive on a volume where the desktop mounts removable media
// (/media, /run/media) or on a device the kernel calls removable; the root
// file system is none. An operator who does not look then backs up to the
// stick, and never to a fixed volume that is not the current drive.
QString startingDrive();

} // namespace platform
