#include "export/RosterWriter.h"

#include "platform/Error.h"
#include "platform/FileErrors.h"
#include "platform/SafeWriter.h"
#include "shiftjis/ShiftJis.h"

#include <QFile>
#include <QIODevice>

namespace {

QString numberText(double value)
{
    // Fifteen significant digits: what the double really holds in decimal,
    // without the binary noise of a seventeenth digit (0.1 + 0.2 gives 0.3).
    QString text = QString::number(value, 'g', 15);
    text.replace(QLatin1Char('e'), QLatin1Char('E'));
    return text;
}

QString dateTimeText(const engine::DateTime& value)
{
    const bool hasDate = value.date.isValid() && value.date != engine::DateTime::zeroDay();
    const bool hasTime = value.time.isValid() && value.time != QTime(0, 0);
    if (hasDate && hasTime)
        return value.date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') +
               value.time.toString(QStringLiteral("HH:mm:ss"));
    if (hasDate)
        return value.date.toString(QStringLiteral("yyyy-MM-dd"));
    // Neither part: the zero of the date type, which reads as midnight.
    return (hasTime ? value.time : QTime(0, 0)).toString(QStringLiteral("HH:mm:ss"));
}

// The value as it reads between its delimiters: what the bracketed address is
// made of when the address column is not text.
QString bareText(const engine::Value& value)
{
    struct Visitor
    {
        QString operator()(const engine::Empty&) const { return {}; }
        // db_select never leaves a null; written as the runtime writes one.
        QString operator()(const engine::Null&) const { return QStringLiteral("NULL"); }
        QString operator()(const QString& s) const { return s; }
        QString operator()(qint64 i) const { return QString::number(i); }
        QString operator()(double d) const { return numberText(d); }
        QString operator()(const engine::DateTime& d) const { return dateTimeText(d); }
        QString operator()(bool b) const
        {
            return b ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        }
    };
    return std::visit(Visitor{}, value);
}

bool isBlank(const engine::Value& value)
{
    return engine::isEmptyText(value) || std::holds_alternative<engine::Empty>(value);
}

QString fieldText(const engine::Value& value)
{
    if (const auto* text = std::get_if<QString>(&value))
        return QLatin1Char('"') + *text + QLatin1Char('"');
    // A cell never written stays an empty field, as the runtime writes it.
    if (std::holds_alternative<engine::Empty>(value))
        return {};
    if (std::holds_alternative<qint64>(value) || std::holds_alternative<double>(value))
        return bareText(value);
    return QLatin1Char('#') + bareText(value) + QLatin1Char('#');
}

class TableRow : public RosterRow
{
public:
    TableRow(const result_table& table, int row) : m_table(table), m_row(row) {}
    std::optional<QByteArrayView> text(int) const override { return std::nullopt; }
    engine::Value value(int column) const override { return m_table.at(column, m_row); }

private:
    const result_table& m_table;
    int m_row;
};

} // namespace

RosterWriter::RosterWriter(QIODevice& device, RosterLayout layout, QString fileName)
    : m_device(device), m_layout(layout), m_fileName(std::move(fileName))
{}

void RosterWriter::appendRows(const result_table& table, int rowCount)
{
    for (int row = 1; row <= rowCount; ++row)
        appendLine(TableRow(table, row));
}

void RosterWriter::appendLine(const RosterRow& row)
{
    for (int column = 0; column < roster::columnCount; ++column) {
        if (column > 0)
            m_bytes.appendAscii(",");
        appendCell(row, column);
    }
    m_bytes.appendAscii(m_layout == RosterLayout::Check ? "\r\n" : ",0,1\r\n");
}

void RosterWriter::appendCell(const RosterRow& row, int column)
{
    // The address gets its brackets whenever it is anything but empty text,
    // so a lone space becomes "< >" and "<a>" becomes "<<a>>".
    const bool bracketed = column == roster::address && m_layout == RosterLayout::ConvertBracketed;
    if (const std::optional<QByteArrayView> text = row.text(column)) {
        const bool brackets = bracketed && !text->isEmpty();
        m_bytes.appendAscii(brackets ? "\"<" : "\"");
        m_bytes.appendUtf8(*text);
        m_bytes.appendAscii(brackets ? ">\"" : "\"");
        return;
    }
    const engine::Value cell = row.value(column);
    if (bracketed && !isBlank(cell))
        m_bytes.append(QStringLiteral("\"<") + bareText(cell) + QStringLiteral(">\""));
    else
        m_bytes.append(fieldText(cell));
}

void RosterWriter::close()
{
    const QByteArray bytes = m_bytes.take();
    auto* file = qobject_cast<QFile*>(&m_device);
    if (!file || file->fileName().isEmpty()) {
        // A device of our own: every byte handed over, or its text of why not.
        const bool whole = platform::writeEveryByte(m_device, bytes) == 0;
        m_device.close();
        if (!whole)
            throw platform::Error(platform::Error::DeviceIO,
                                  QStringLiteral("%1 に書き込めませんでした。\n%2")
                                      .arg(m_fileName, m_device.errorString()));
        return;
    }
    // The file was emptied before the query and stays so unless the whole
    // roster reaches the medium: never the first part of it, which the
    // operator could take for the whole.
    m_device.close();
    if (const std::optional<platform::FileFailure> why =
            platform::writeWholeFile(file->fileName(), bytes))
        throw why->error(QStringLiteral("%1 に書き込めませんでした。").arg(m_fileName));
}
