// tavenro-demo-db: writes a demo DB.mdb.
//
//   tavenro-demo-db OUT.mdb [--seed N] [--students N] [--years N | --events N | --million]

#include "tools/DemoDatabase.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    demo::Options options;
    QString out;
    auto number = [&](int& i) -> qint64 {
        if (i + 1 >= args.size()) {
            std::fprintf(stderr, "%s needs a number\n", qPrintable(args[i]));
            std::exit(2);
        }
        bool ok = false;
        const qint64 n = args[++i].toLongLong(&ok);
        if (!ok || n < 0) {
            std::fprintf(stderr, "not a number: %s\n", qPrintable(args[i]));
            std::exit(2);
        }
        return n;
    };
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--seed"))
            options.seed = quint64(number(i));
        else if (a == QLatin1String("--students"))
            options.students = int(number(i));
        else if (a == QLatin1String("--events"))
            options.events = number(i);
        else if (a == QLatin1String("--years"))
            options.events = number(i) * 60000;
        else if (a == QLatin1String("--million"))
            options.events = 1000000;
        else if (a.startsWith(QLatin1String("--")) || !out.isEmpty()) {
            std::fprintf(stderr, "usage: tavenro-demo-db OUT.mdb [--seed N] [--students N] "
                                 "[--years N | --events N | --million]\n");
            return 2;
        } else
            out = a;
    }
    if (out.isEmpty()) {
        std::fprintf(stderr, "usage: tavenro-demo-db OUT.mdb [options]\n");
        return 2;
    }
    try {
        demo::generate(out, options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tavenro-demo-db: %s\n", e.what());
        return 1;
    }
    return 0;
}
