#include "export/RosterWriter.h"

#include "platform/Error.h"
#include "platform/ShiftJis.h"

#include <QFileDevice>
#include <QIODevice>

namespace {

constexpr qsizetype blockLength = qsizetype{16} * 1024;

QString numberText(double value)
{
    // Fifteen significant digits: what the double really holds in decimal,
    // without the binary noise of a seventeenth digit (0.1 + 0.2 gives 0.3).
    QString text = QString::number(value, 'g', 15);
    text.replace(QLatin1Char('e'), QLatin1Char('E'));
    return text;
}

QString dateTimeText(const platform::DateTime& value)
{
    const bool hasDate = value.date.isValid() && value.date != platform::DateTime::zeroDay();
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
QString bareText(const platform::Value& value)
{
    struct Visitor
    {
        QString operator()(const platform::Empty&) const { return {}; }
        // db_select never leaves a null; written as the runtime writes one.
        QString operator()(const platform::Null&) const { return QStringLiteral("NULL"); }
        QString operator()(const QString& s) const { return s; }
        QString operator()(qint64 i) const { return QString::number(i); }
        QString operator()(double d) const { return numberText(d); }
        QString operator()(const platform::DateTime& d) const { return dateTimeText(d); }
        QString operator()(bool b) const
        {
            return b ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        }
    };
    return std::visit(Visitor{}, value);
}

bool isBlank(const platform::Value& value)
{
    return platform::isEmptyText(value) || std::holds_alternative<platform::Empty>(value);
}

void appendField(QString& line, const platform::Value& value)
{
    if (const auto* text = std::get_if<QString>(&value)) {
        line += QLatin1Char('"');
        line += *text;
        line += QLatin1Char('"');
    } else if (std::holds_alternative<platform::Empty>(value)) {
        // A cell never written stays an empty field, as the runtime writes it.
    } else if (std::holds_alternative<qint64>(value) || std::holds_alternative<double>(value)) {
        line += bareText(value);
    } else {
        line += QLatin1Char('#');
        line += bareText(value);
        line += QLatin1Char('#');
    }
}

} // namespace

RosterWriter::RosterWriter(QIODevice& device, RosterLayout layout, QString fileName)
    : m_device(device), m_layout(layout), m_fileName(std::move(fileName))
{
    m_pending.reserve(blockLength + 256);
}

void RosterWriter::writeRows(const result_table& table, int rowCount)
{
    for (int row = 1; row <= rowCount; ++row) {
        appendLine(table, row);
        if (m_pending.size() >= blockLength)
            writePending();
    }
    writePending();
}

void RosterWriter::appendLine(const result_table& table, int row)
{
    for (int column = 0; column < roster::columnCount; ++column) {
        if (column > 0)
            m_pending += QLatin1Char(',');
        const platform::Value& cell = table.at(column, row);
        // The address gets its brackets whenever it is anything but empty
        // text, so a lone space becomes "< >" and "<a>" becomes "<<a>>".
        if (column == roster::address && m_layout == RosterLayout::ConvertBracketed &&
            !isBlank(cell)) {
            m_pending += QLatin1String("\"<");
            m_pending += bareText(cell);
            m_pending += QLatin1String(">\"");
        } else {
            appendField(m_pending, cell);
        }
    }
    if (m_layout != RosterLayout::Check)
        m_pending += QLatin1String(",0,1");
    m_pending += QLatin1String("\r\n");
}

void RosterWriter::writePending()
{
    if (m_pending.isEmpty())
        return;
    const QByteArray bytes = platform::toShiftJis(m_pending);
    m_pending.resize(0);
    if (m_device.write(bytes) != bytes.size())
        fail();
}

void RosterWriter::close()
{
    auto* file = qobject_cast<QFileDevice*>(&m_device);
    if (file && !file->flush())
        fail();
    m_device.close();
    if (file && file->error() != QFileDevice::NoError)
        fail();
}

void RosterWriter::fail() const
{
    const auto* file = qobject_cast<const QFileDevice*>(&m_device);
    const bool full = file && file->error() == QFileDevice::ResourceError;
    throw platform::Error(
        full ? platform::Error::DiskFull : platform::Error::DeviceIO,
        QStringLiteral("%1 に書き込めませんでした。\n%2").arg(m_fileName, m_device.errorString()));
}
