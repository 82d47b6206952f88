#include "engine/jet/MdbFile.h"

#include "engine/DatabaseFormat.h"
#include "platform/Error.h"
#include "platform/FileErrors.h"

#include <QFile>
#include <QtEndian>
#include <cstdio>
#include <cstring>
#include <mdbtools.h>

namespace engine {

using platform::Error;

namespace {

constexpr int memoHeaderSize = 12; // length and flags, page and row, unused
constexpr quint32 memoInline = 0x80000000u;
constexpr quint32 memoOnePage = 0x40000000u;
constexpr quint32 memoLengthMask = 0x3fffffffu;
constexpr int rowOffsetMask = 0x1fff;
constexpr int rowDeleted = 0x8000;
constexpr int rowMoved = 0x4000;

struct HandleCloser
{
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct TableFreer
{
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
using TablePtr = std::unique_ptr<MdbTableDef, TableFreer>;

// Whether libmdb can walk the table's data pages: it reads the usage map's
// type byte and, for the inline kind, a page number and a bitmap after it,
// without checking that they are there.
bool hasUsableUsageMap(const MdbTableDef* table)
{
    return table && table->usage_map && table->map_sz >= 5;
}

quint32 readU32(const void* p)
{
    return qFromLittleEndian<quint32>(p);
}

detail::FieldKind kindOfColumn(int type)
{
    using detail::FieldKind;
    switch (type) {
    case MDB_BOOL:
        return FieldKind::Boolean;
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
        return FieldKind::Integer;
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_NUMERIC:
        return FieldKind::Number;
    case MDB_DATETIME:
        return FieldKind::DateTime;
    default:
        return FieldKind::Text;
    }
}

QString hexText(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

} // namespace

namespace detail {

QString decodeJetText(const char* data, qsizetype size)
{
    const auto* bytes = reinterpret_cast<const uchar*>(data);
    QString out;
    if (size >= 2 && bytes[0] == 0xff && bytes[1] == 0xfe) {
        out.reserve(size - 2);
        bool compressed = true;
        qsizetype i = 2;
        while (i < size) {
            if (bytes[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                out.append(QChar(char16_t(bytes[i])));
                ++i;
            } else if (i + 1 < size) {
                out.append(QChar(qFromLittleEndian<quint16>(bytes + i)));
                i += 2;
            } else {
                break;
            }
        }
        return out;
    }
    const qsizetype units = size / 2;
    out.resize(units);
    char16_t* dest = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < units; ++i)
        dest[i] = qFromLittleEndian<quint16>(bytes + 2 * i);
    return out;
}

} // namespace detail

namespace jet {

struct MdbFile::Handle
{
    std::unique_ptr<MdbHandle, HandleCloser> mdb;
    std::vector<MdbCatalogEntry*> tables; // user tables; owned by mdb's catalog
};

MdbFile::MdbFile() = default;
MdbFile::~MdbFile() = default;

void MdbFile::open(const QString& hostPath)
{
    close();
    // Named as the operator knows the file, not by its place on this machine.
    const QString what =
        QStringLiteral("Jet データベース %1 を開けません").arg(platform::windowsPathOf(hostPath));
    switch (detectDatabaseFormat(hostPath)) {
    case DatabaseFormat::Unreadable:
        throw Error(QFile::exists(hostPath) ? Error::PermissionDenied : Error::FileNotFound,
                    what + QStringLiteral(": ファイルが見つからないか、読み取れません。"));
    case DatabaseFormat::Jet:
        break;
    default:
        throw Error(Error::Engine, what + QStringLiteral(": Jet 形式のファイルではありません。"));
    }

    auto handle = std::make_unique<Handle>();
    // MDB_NOFLAGS: libmdb opens the file for reading only.
    handle->mdb.reset(mdb_open(QFile::encodeName(hostPath).constData(), MDB_NOFLAGS));
    if (!handle->mdb)
        throw Error(Error::Engine, what + QStringLiteral(": libmdb が読めない形式です。"));
    if (handle->mdb->f->jet_version != MDB_VER_JET4)
        throw Error(Error::Engine,
                    what + QStringLiteral(": Jet 4.0 形式（Access 2000–2003）ではありません。"));
    // libmdb walks the catalog by its usage map without looking at it first;
    // a damaged one must stop here rather than crash the tool.
    MdbCatalogEntry catalogTable{};
    catalogTable.mdb = handle->mdb.get();
    catalogTable.object_type = MDB_TABLE;
    catalogTable.table_pg = 2;
    std::snprintf(catalogTable.object_name, sizeof catalogTable.object_name, "MSysObjects");
    if (!hasUsableUsageMap(TablePtr(mdb_read_table(&catalogTable)).get()))
        throw Error(Error::Engine, what + QStringLiteral(": カタログを読めません。"));
    GPtrArray* catalog = mdb_read_catalog(handle->mdb.get(), MDB_TABLE);
    if (!catalog)
        throw Error(Error::Engine, what + QStringLiteral(": カタログを読めません。"));
    for (guint i = 0; i < catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry))
            handle->tables.push_back(entry);
    }
    m_handle = std::move(handle);
    m_filePath = hostPath;
    m_shownPath = platform::windowsPathOf(hostPath);
}

void MdbFile::close()
{
    m_handle.reset();
    m_filePath.clear();
    m_shownPath.clear();
}

bool MdbFile::isOpen() const
{
    return m_handle != nullptr;
}

QStringList MdbFile::tableNames() const
{
    QStringList names;
    if (m_handle) {
        for (MdbCatalogEntry* entry : m_handle->tables)
            names << QString::fromUtf8(entry->object_name);
    }
    return names;
}

namespace {

MdbCatalogEntry* findTable(const std::vector<MdbCatalogEntry*>& tables, const QString& name)
{
    for (MdbCatalogEntry* entry : tables) {
        if (QString::fromUtf8(entry->object_name).compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return nullptr;
}

// Reads a long value (Memo or OLE) whole from the pages it points to: kept in
// the row itself, in one row of a long-value page, or in a chain of such rows
// each beginning with the page and row of the next.
QByteArray readLongValue(MdbHandle* mdb, const uchar* header, int fieldSize, const QString& what)
{
    if (fieldSize < memoHeaderSize)
        return {};
    const quint32 word = readU32(header);
    const qsizetype length = qsizetype(word & memoLengthMask);
    if (word & memoInline)
        return QByteArray(reinterpret_cast<const char*>(header) + memoHeaderSize,
                          std::min<qsizetype>(length, fieldSize - memoHeaderSize));
    quint32 pageRow = readU32(header + 4);
    const bool onePage = word & memoOnePage;
    QByteArray data;
    // The length is the file's word; a damaged one must not allocate a gigabyte.
    data.reserve(std::min<qsizetype>(length, 1 << 20));
    // A chain never holds more rows than the value has bytes; more means a loop.
    for (qsizetype hops = 0; pageRow && data.size() < length; ++hops) {
        void* page = nullptr;
        int start = 0;
        size_t size = 0;
        if (hops > length || mdb_find_pg_row(mdb, int(pageRow), &page, &start, &size) != 0)
            throw Error(Error::Engine,
                        what + QStringLiteral(": 長いデータのページが壊れています。"));
        const char* row = static_cast<const char*>(page) + start;
        if (onePage) {
            data.append(row, qsizetype(size));
            break;
        }
        if (size < 4)
            break;
        pageRow = readU32(row);
        data.append(row + 4, qsizetype(size) - 4);
    }
    if (data.size() > length)
        data.truncate(length);
    return data;
}

Value readValue(MdbHandle* mdb, const MdbColumn* col, const MdbField& field, const QString& what)
{
    if (col->col_type == MDB_BOOL)
        return !field.is_null; // Yes/No keeps its value in the null mask
    if (field.is_null)
        return Null{};
    const auto* p = static_cast<const uchar*>(field.value);
    const int size = field.siz;
    auto needs = [&](int bytes) {
        if (size < bytes || !p)
            throw Error(Error::Engine, what + QStringLiteral(": 列 %1 の値が壊れています。")
                                                  .arg(QString::fromUtf8(col->name)));
    };
    switch (col->col_type) {
    case MDB_TEXT:
        return detail::decodeJetText(reinterpret_cast<const char*>(p), size);
    case MDB_MEMO: {
        const QByteArray bytes = readLongValue(mdb, p, size, what);
        return detail::decodeJetText(bytes.constData(), bytes.size());
    }
    case MDB_OLE:
        return hexText(readLongValue(mdb, p, size, what));
    case MDB_BYTE:
        needs(1);
        return qint64(p[0]);
    case MDB_INT:
        needs(2);
        return qint64(qFromLittleEndian<qint16>(p));
    case MDB_LONGINT:
        needs(4);
        return qint64(qFromLittleEndian<qint32>(p));
    case MDB_MONEY:
        needs(8);
        return double(qFromLittleEndian<qint64>(p)) / 10000.0;
    case MDB_FLOAT: {
        needs(4);
        const quint32 bits = qFromLittleEndian<quint32>(p);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return double(f);
    }
    case MDB_DOUBLE:
    case MDB_DATETIME: {
        needs(8);
        const quint64 bits = qFromLittleEndian<quint64>(p);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (col->col_type != MDB_DATETIME)
            return d;
        // A Date/Time outside Jet's own range is a damaged value.
        if (!detail::isOleDate(d))
            throw Error(Error::Engine, what + QStringLiteral(": 列 %1 の日付が範囲外です（%2）。")
                                                  .arg(QString::fromUtf8(col->name))
                                                  .arg(d));
        return detail::fromOleDate(d);
    }
    case MDB_NUMERIC: {
        needs(17);
        char* text = mdb_numeric_to_string(mdb, field.start, col->col_scale, col->col_prec);
        const double d = QString::fromUtf8(text).toDouble();
        g_free(text);
        return d;
    }
    case MDB_REPID: {
        needs(16);
        char* text = mdb_uuid_to_string(mdb->pg_buf, field.start);
        QString s = QString::fromUtf8(text);
        g_free(text);
        return s;
    }
    default:
        return hexText(QByteArray(reinterpret_cast<const char*>(p), size));
    }
}

} // namespace

bool MdbFile::hasTable(const QString& table) const
{
    return m_handle && findTable(m_handle->tables, table);
}

std::vector<TableColumn> MdbFile::columns(const QString& table) const
{
    if (!m_handle)
        throw Error(Error::ObjectClosed, QStringLiteral("Jet データベースが開いていません。"));
    MdbCatalogEntry* entry = findTable(m_handle->tables, table);
    if (!entry)
        throw Error(
            Error::Engine,
            QStringLiteral("Jet データベース %1 に表 %2 がありません。").arg(m_shownPath, table));
    TablePtr def(mdb_read_table(entry));
    if (!def || !mdb_read_columns(def.get()))
        throw Error(
            Error::Engine,
            QStringLiteral("Jet データベース %1 の表 %2 を読めません。").arg(m_shownPath, table));
    std::vector<TableColumn> out;
    out.reserve(def->num_cols);
    for (guint i = 0; i < def->num_cols; ++i) {
        const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(def->columns, i));
        out.push_back({QString::fromUtf8(col->name), kindOfColumn(col->col_type)});
    }
    return out;
}

std::vector<Value> MdbFile::readRows(const QString& table, const std::vector<int>& wanted) const
{
    if (!m_handle)
        throw Error(Error::ObjectClosed, QStringLiteral("Jet データベースが開いていません。"));
    const QString what =
        QStringLiteral("Jet データベース %1 の表 %2 を読めません").arg(m_shownPath, table);
    MdbCatalogEntry* entry = findTable(m_handle->tables, table);
    if (!entry)
        throw Error(
            Error::Engine,
            QStringLiteral("Jet データベース %1 に表 %2 がありません。").arg(m_shownPath, table));
    MdbHandle* mdb = m_handle->mdb.get();
    TablePtr def(mdb_read_table(entry));
    if (!hasUsableUsageMap(def.get()) || !mdb_read_columns(def.get()))
        throw Error(Error::Engine, what + QLatin1Char('.'));
    const int columnCount = int(def->num_cols);
    for (int c : wanted) {
        if (c < 0 || c >= columnCount)
            throw Error(Error::ItemNotFound,
                        what + QStringLiteral(": 列の位置 %1 がありません。").arg(c));
    }

    std::vector<Value> cells;
    // The stored row count is a hint only: a damaged one must not allocate without bound.
    cells.reserve(size_t(std::min(def->num_rows, 1u << 20)) * wanted.size());
    std::vector<MdbField> fields(columnCount);
    auto readRow = [&](int start, size_t size) {
        if (mdb_crack_row(def.get(), start, size, fields.data()) < 0)
            throw Error(Error::Engine, what + QStringLiteral(": 行が壊れています。"));
        for (int c : wanted) {
            const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(def->columns, c));
            cells.push_back(readValue(mdb, col, fields[c], what));
        }
    };
    auto brokenRow = [&] {
        return Error(Error::Engine, what + QStringLiteral(": 行の位置が壊れています。"));
    };

    // Rows are enumerated here, slot by slot, rather than with mdb_fetch_row:
    // libmdb 1.0 takes the two flags of a row slot the wrong way round (mdbtools
    // issues 378 and 462), so it returns deleted rows and drops rows that were
    // moved. In a Jet 4 slot, 0x8000 marks a deleted row (a moved row's new
    // copy is marked so too, for scans to skip it) and 0x4000 a slot that holds
    // only the page and row a moved row went to.
    mdb_rewind_table(def.get());
    while (mdb_read_next_dpg(def.get())) {
        const guint32 dataPage = def->cur_phys_pg;
        const int slots = mdb_get_int16(mdb->pg_buf, mdb->fmt->row_count_offset);
        for (int slot = 0; slot < slots; ++slot) {
            int start = 0;
            size_t size = 0;
            if (mdb_find_row(mdb, slot, &start, &size) != 0)
                throw brokenRow();
            if (start & rowDeleted)
                continue;
            if (size == 0)
                continue; // a slot without a row
            if (!(start & rowMoved)) {
                readRow(start & rowOffsetMask, size);
                continue;
            }
            // Follow the pointer to the row's new place (row number in the low
            // byte, page above it); a chain longer than a few hops is a loop.
            for (int hops = 0;; ++hops) {
                if (size < 4 || hops == 8)
                    throw brokenRow();
                const quint32 target = readU32(mdb->pg_buf + (start & rowOffsetMask));
                if (mdb_read_pg(mdb, target >> 8) != mdb->fmt->pg_size ||
                    mdb->pg_buf[0] != MDB_PAGE_DATA ||
                    quint32(mdb_get_int32(mdb->pg_buf, 4)) != quint32(entry->table_pg) ||
                    int(target & 0xff) >= mdb_get_int16(mdb->pg_buf, mdb->fmt->row_count_offset) ||
                    mdb_find_row(mdb, int(target & 0xff), &start, &size) != 0 || size == 0)
                    throw brokenRow();
                if (!(start & rowMoved))
                    break;
            }
            readRow(start & rowOffsetMask, size);
            mdb_read_pg(mdb, dataPage);
        }
    }
    return cells;
}

} // namespace jet

} // namespace engine
