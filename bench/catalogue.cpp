// Times the table listing, the field listing and the field preview on a table of 10,000 rows
// and then on one of 1,000,000 rows, and prints the peak resident memory after each, to show
// that neither time nor memory follows the size of the table.
//
//   catalogue [repetitions]      default: 7
//
// Connection values come from RECASOR_TEST_SERVER, _PORT, _USER, _PASSWORD, _DATABASE. The
// tables live in a schema of their own, dropped at the end.
#include "db/catalogue.h"
#include "db/dbsession.h"
#include "db/fieldpreview.h"
#include "db/sqlquote.h"
#include "peakmemory.h"
#include "serverenvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>

namespace {

const QString Schema = QStringLiteral("recasor_bench_catalogue");

// Median wall time of the action in milliseconds; every session is opened inside the action,
// so the figures include the login, as the user sees it.
double medianMs(int repetitions, const std::function<void()> &action)
{
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        QElapsedTimer timer;
        timer.start();
        action();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void createTable(const ConnectionSettings &settings, const QString &name, int rows)
{
    DbSession session(settings);
    session.execute(QStringLiteral("CREATE TABLE %1.%2 AS SELECT g AS id, 'Value number ' || g "
                                   "AS name, md5(g::text) AS note, now() AS changed "
                                   "FROM generate_series(1, %3) g")
                        .arg(QuoteIdentifier(Schema), QuoteIdentifier(name))
                        .arg(rows));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    const ConnectionSettings settings = ServerFromEnvironment();
    if (settings.server.isEmpty()) {
        std::fprintf(stderr, "Set RECASOR_TEST_SERVER, _PORT, _USER, _PASSWORD, _DATABASE.\n");
        return 2;
    }
    try {
        {
            DbSession session(settings);
            session.execute(
                QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(QuoteIdentifier(Schema)));
            session.execute(QStringLiteral("CREATE SCHEMA %1").arg(QuoteIdentifier(Schema)));
        }
        struct Size {
            const char *label;
            QString table;
            int rows;
        };
        const Size sizes[] = {{"10,000", QStringLiteral("small"), 10'000},
                              {"1,000,000", QStringLiteral("big"), 1'000'000}};
        for (const Size &size : sizes)
            createTable(settings, size.table, size.rows);

        std::printf("median of %d runs, each with its own login\n", repetitions);
        std::printf("%-10s %12s %12s %12s %16s\n", "rows", "tables ms", "fields ms", "preview ms",
                    "peak RSS MiB");
        for (const Size &size : sizes) {
            const TableRef table{Schema, size.table};
            qsizetype tables = 0, fields = 0, values = 0;
            const double tablesMs =
                medianMs(repetitions, [&] { tables = ListTables(settings).size(); });
            const double fieldsMs =
                medianMs(repetitions, [&] { fields = ListFields(settings, table).size(); });
            const double previewMs = medianMs(repetitions, [&] {
                values = PreviewField(settings, table, QStringLiteral("name")).size();
            });
            std::printf("%-10s %12.1f %12.1f %12.1f %16.1f   (%lld tables, %lld fields, %lld "
                        "values)\n",
                        size.label, tablesMs, fieldsMs, previewMs, PeakMemoryMiB(),
                        static_cast<long long>(tables), static_cast<long long>(fields),
                        static_cast<long long>(values));
        }
        DbSession session(settings);
        session.execute(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(QuoteIdentifier(Schema)));
    } catch (const DbError &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.text()));
        return 1;
    }
    return 0;
}
