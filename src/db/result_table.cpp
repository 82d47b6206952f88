#include "db/result_table.h"

#include "platform/Error.h"

result_table::result_table(int firstColumn, int lastColumn, int firstRow, int lastRow)
    : m_firstColumn(firstColumn), m_columns(std::max(0, lastColumn - firstColumn + 1)),
      m_firstRow(firstRow), m_rows(std::max(0, lastRow - firstRow + 1))
{
    if (m_rows == 0)
        m_columns = 0;
    m_cells.resize(std::size_t(m_columns) * std::size_t(m_rows));
}

void result_table::checkBounds(int column, int row, int firstColumn, int lastColumn, int firstRow,
                               int lastRow)
{
    if (column < firstColumn || column > lastColumn || row < firstRow || row > lastRow)
        throw platform::Error(platform::Error::SubscriptOutOfRange,
                              QStringLiteral("インデックスが有効範囲にありません。"
                                             "（列 %1、行 %2：表は列 %3～%4、行 %5～%6）")
                                  .arg(column)
                                  .arg(row)
                                  .arg(firstColumn)
                                  .arg(lastColumn)
                                  .arg(firstRow)
                                  .arg(lastRow));
}

std::size_t result_table::index(int column, int row) const
{
    // A table without dimensions has a last column before its first.
    checkBounds(column, row, m_firstColumn, lastColumn(), m_firstRow, lastRow());
    return std::size_t(row - m_firstRow) * std::size_t(m_columns) +
           std::size_t(column - m_firstColumn);
}

const engine::Value& result_table::at(int column, int row) const
{
    return m_cells[index(column, row)];
}

void result_table::store(int column, int row, engine::Value value)
{
    m_cells[index(column, row)] = std::move(value);
}
