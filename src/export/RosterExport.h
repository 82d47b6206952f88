#pragma once

// The roster exports of the settings window: each writes the whole roster to
// c:\Program Files\Tavenro\list.csv in its layout and opens it in Notepad.
enum class RosterLayout
{
    Check,            // Command1: the five roster fields
    Convert,          // Command2: the five fields, then 0 and 1
    ConvertBracketed, // Command8: as Convert, the address as "<address>"
};

// The roster statement's columns in the order it selects them: the column
// positions of the result table the export reads.
namespace roster {
enum Column : int
{
    barcode,
    name,
    kana,
    address,
    remark,
    columnCount
};
} // namespace roster

// Throws platform::Error; nothing after the failing step runs.
void exportRoster(RosterLayout layout);
