#pragma once

#include "export/RosterExport.h"

#include <QString>

// The export's steps with a result table of rows 0 to lastRow. exportRoster
// runs them with the roster's 800; a larger bound serves measurements only.
void exportRosterWithRowBound(RosterLayout layout, int lastRow);

// c:\Program Files\Tavenro\list.csv: always the first install folder, even
// when the database was found in the "(x86)" twin.
QString rosterFilePath();

// The roster query, ascending by barcode.
QString rosterColumnsByBarcodeStatement();
