#pragma once

#include "db/result_table.h"
#include "export/RosterExport.h"

#include <QString>

class QIODevice;

// Writes roster rows of a result table as lines of list.csv: Shift-JIS, CR LF
// after every line, fields in the layout's order. The device must be open for
// writing; the writer never opens it.
//
// Each value is written by its kind: text in double quotes, numbers bare with a
// period, date-time as #yyyy-mm-dd hh:mm:ss# without a missing or zero part,
// #TRUE# / #FALSE#. Texts are deliberately not escaped: a quote or comma
// inside one goes out as it is, because the product's import reads exactly
// this layout.
class RosterWriter
{
public:
    // fileName is the name the operator knows the file by; every error names it.
    RosterWriter(QIODevice& device, RosterLayout layout, QString fileName);

    // Writes rows 1 to rowCount of table, cells (0, r) to (4, r), and hands
    // every byte to the device before it returns. Throws platform::Error as
    // soon as the device takes less than it was given.
    void writeRows(const result_table& table, int rowCount);

    // Pushes out what the device still buffers and closes it, so that a full
    // disk shows here and not as a silently short file. Throws platform::Error.
    void close();

private:
    void appendLine(const result_table& table, int row);
    void writePending();
    [[noreturn]] void fail() const;

    QIODevice& m_device;
    RosterLayout m_layout;
    QString m_fileName;
    // Lines not yet encoded: encoding them in blocks rather than one by one
    // spares a converter set-up per line.
    QString m_pending;
};
