#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace engine {

class Connection;

namespace detail {
struct SnapshotColumn;

// A growable array of plain values in fixed chunks: growing never copies
// what is there, so a result of millions of rows costs no more at its peak
// than at its end.
template <typename T> class ChunkedArray
{
public:
    static constexpr std::size_t chunkLength = 4096;

    void push(T value)
    {
        if (m_size % chunkLength == 0)
            m_chunks.push_back(std::make_unique<T[]>(chunkLength));
        m_chunks.back()[m_size % chunkLength] = value;
        ++m_size;
    }
    // Pads with copies of value up to size elements.
    void fillTo(std::size_t size, T value)
    {
        while (m_size < size)
            push(value);
    }
    T operator[](std::size_t i) const { return m_chunks[i / chunkLength][i % chunkLength]; }
    std::size_t size() const { return m_size; }
    std::size_t allocatedBytes() const
    {
        return m_chunks.size() * chunkLength * sizeof(T) +
               m_chunks.capacity() * sizeof(std::unique_ptr<T[]>);
    }

private:
    std::vector<std::unique_ptr<T[]>> m_chunks;
    std::size_t m_size = 0;
};
} // namespace detail

// The whole result of one statement, read in one pass and held column by
// column: text as UTF-8 bytes in arenas, numbers, dates and times as 64-bit
// numbers. Nothing is converted to a QString until text() asks for one cell,
// so the cost of a result is little more than the bytes of its text, and the
// engine is done with the file as soon as read() returns.
//
// Each cell keeps the kind the engine layer gives its field (the declared
// column type decides; a stored date-time text becomes a date-time).
class ResultSnapshot
{
public:
    enum class CellKind : std::uint8_t
    {
        Null,
        Text,
        Integer,
        Number,
        DateTime,
        Boolean
    };

    ResultSnapshot();
    ~ResultSnapshot();
    ResultSnapshot(ResultSnapshot&&) noexcept;
    ResultSnapshot& operator=(ResultSnapshot&&) noexcept;

    // Runs statement on the open connection and reads every row. The
    // statement is finalized before this returns or throws, so no read lock
    // outlives the call. sorterThreads > 0 lets the engine's sorter use that
    // many helper threads for this statement. Throws platform::Error naming
    // the statement.
    static ResultSnapshot read(Connection& connection, const QString& statement,
                               int sorterThreads = 0);

    int rowCount() const { return m_rowCount; }
    int columnCount() const { return int(m_columns.size()); }
    QString columnName(int column) const;

    CellKind kind(int column, int row) const;
    // The cell as the grid shows it: text as stored, whole numbers in
    // decimal, numbers to fifteen significant digits, a date as 2024/04/01, a
    // time as 9:15:00 (a date-time with both), true and false as True and
    // False; an empty text for a null.
    QString text(int column, int row) const;

    // Bytes this snapshot holds for its cells, names included.
    std::size_t allocatedBytes() const;

    // How an engine fills a snapshot: see engine/ResultSnapshotBuilder.h.
    class Builder;

private:
    friend class Builder;

    std::vector<std::unique_ptr<detail::SnapshotColumn>> m_columns;
    int m_rowCount = 0;
};

} // namespace engine
