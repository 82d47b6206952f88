// Prints every row of a table of a Jet file as one JSON object per line, in
// stored order, the way the npm reader mdb-reader prints it (dates as UTC ISO
// texts), so that tools/jet-crosscheck.sh can compare the two readers.
//
//   tavenro-jet-dump FILE TABLE

#include "engine/jet/JetSelect.h"
#include "engine/jet/MdbFile.h"
#include "platform/Error.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace {

QJsonValue json(const engine::Value& v)
{
    if (const auto* s = std::get_if<QString>(&v))
        return *s;
    if (const auto* i = std::get_if<qint64>(&v))
        return double(*i);
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    if (const auto* b = std::get_if<bool>(&v))
        return *b;
    if (const auto* t = std::get_if<engine::DateTime>(&v))
        return t->date.toString(Qt::ISODate) + QLatin1Char('T') +
               t->time.toString(QStringLiteral("HH:mm:ss.zzz")) + QLatin1Char('Z');
    return QJsonValue::Null;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: tavenro-jet-dump FILE TABLE\n");
        return 2;
    }
    try {
        engine::jet::MdbFile db;
        db.open(args.at(1));
        const engine::JetResult r =
            engine::runJetSelect(db, QStringLiteral("select * from [%1]").arg(args.at(2)));
        for (qsizetype row = 0; row < r.rowCount(); ++row) {
            // Keys in column order, as JSON.stringify prints mdb-reader's objects.
            QByteArray line = "{";
            for (int f = 0; f < r.fieldCount(); ++f) {
                if (f)
                    line += ',';
                line += QJsonDocument(QJsonObject{{r.fieldNames.at(f), json(r.at(row, f))}})
                            .toJson(QJsonDocument::Compact)
                            .mid(1)
                            .chopped(1);
            }
            line += "}\n";
            std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        }
    } catch (const platform::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
