#pragma once

#include "db/result_table.h"
#include "export/RosterExport.h"
#include "shiftjis/ShiftJis.h"

#include <QByteArrayView>
#include <QString>
#include <optional>

class QIODevice;

// A row of the roster as the writer reads it, cells by column position.
class RosterRow
{
public:
    virtual ~RosterRow() = default;
    // The cell's UTF-8 bytes when it is text the source holds so; nothing
    // for any other cell. Lets a large roster go out without a QString per
    // cell.
    virtual std::optional<QByteArrayView> text(int column) const = 0;
    // The cell's value; asked for only when text() gives nothing.
    virtual engine::Value value(int column) const = 0;
};

// Writes roster rows as lines of list.csv: Shift-JIS, CR LF after every line,
// fields in the layout's order. The device must be open for writing; the
// writer never opens it.
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

    // Adds the line of cells 0 to 4 of row. Lines are held until close(), so
    // a source that fails part way leaves the device as it was.
    void appendLine(const RosterRow& row);
    // Adds the lines of rows 1 to rowCount of table, cells (0, r) to (4, r).
    void appendRows(const result_table& table, int rowCount);

    // Hands every line to the device and closes it, so that a full disk
    // shows here and not as a silently short file. A file (a QFile with a
    // name) is closed and written again whole or not at all
    // (platform::writeWholeFile), so a failure leaves it as it was: emptied,
    // never holding part of the lines. Throws platform::Error when the device
    // takes less than it was given; the error names the file and says why in
    // the operator's terms.
    void close();

private:
    void appendCell(const RosterRow& row, int column);

    QIODevice& m_device;
    RosterLayout m_layout;
    QString m_fileName;
    // The lines, already in Shift-JIS.
    shiftjis::ShiftJisBuilder m_bytes;
};
