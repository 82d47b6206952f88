// The roster export's formatting of values, on arbitrary values of every kind
// in every layout.

#include "export/RosterWriter.h"
#include "fuzz/FuzzInput.h"

#include <QBuffer>

namespace {

engine::Value valueFrom(fuzz::Input& in)
{
    switch (in.byte() % 8) {
    case 0:
        return engine::Empty{};
    case 1:
        return engine::Null{};
    case 2:
        return in.utf16();
    case 3:
        return in.raw<qint64>();
    case 4:
        return in.raw<double>();
    case 5:
        return in.byte() % 2 == 1;
    case 6: {
        // Any day the type can hold, valid or not, and any time of day.
        const QDate date = QDate::fromJulianDay(in.raw<qint32>());
        const QTime time = QTime::fromMSecsSinceStartOfDay(in.raw<qint32>());
        return engine::DateTime{date, time};
    }
    default:
        return engine::DateTime{engine::DateTime::zeroDay(),
                                QTime::fromMSecsSinceStartOfDay(in.raw<quint16>() * 1000)};
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in(data, size);
    const auto layout = static_cast<RosterLayout>(in.byte() % 3);
    const int rows = 1 + in.byte() % 8;
    result_table table(0, 5, 0, rows);
    for (int row = 1; row <= rows; ++row)
        for (int column = 0; column <= 5; ++column)
            table.store(column, row, valueFrom(in));

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    RosterWriter writer(buffer, layout, QStringLiteral("list.csv"));
    writer.appendRows(table, rows);
    writer.close();
    if (!buffer.data().endsWith("\r\n"))
        fuzz::fault("the last line has no CR LF");
    return 0;
}
