#pragma once

#include "engine/Value.h"

#include <vector>

// The table a query's rows are copied into, indexed (column, row), with the
// bounds its creator gives. Every caller creates it anew with columns 0 to 5
// and rows 0 to 800; row 0 is never written, so it holds at most 800 rows.
class result_table
{
public:
    // A table without dimensions: every store into it fails.
    result_table() = default;
    result_table(int firstColumn, int lastColumn, int firstRow, int lastRow);
    // Columns 0 to 5, rows 0 to 800, every cell Empty.
    static result_table forRoster() { return result_table(0, 5, 0, 800); }

    int dimensions() const { return m_columns > 0 ? 2 : 0; }
    int firstColumn() const { return m_firstColumn; }
    int lastColumn() const { return m_firstColumn + m_columns - 1; }
    int firstRow() const { return m_firstRow; }
    int lastRow() const { return m_firstRow + m_rows - 1; }

    // Throws what a store at (column, row) throws in a table of these bounds
    // when the cell lies outside them, for a reader that keeps no table.
    static void checkBounds(int column, int row, int firstColumn, int lastColumn, int firstRow,
                            int lastRow);

    // Both throw platform::Error (subscript out of range) outside the bounds.
    const engine::Value& at(int column, int row) const;
    void store(int column, int row, engine::Value value);

private:
    std::size_t index(int column, int row) const;

    int m_firstColumn = 0;
    int m_columns = 0;
    int m_firstRow = 0;
    int m_rows = 0;
    std::vector<engine::Value> m_cells;
};
