#pragma once

#include <QString>
#include <cstdint>

// Writes DB.mdb files in the shape the product keeps them: the roster `list`
// and the attendance history `log`, with the declared types the engine layer
// reads values by.
namespace demo {

struct Options
{
    std::uint64_t seed = 1;
    int students = 120;
    // Attendance events to write; about 60,000 make one classroom-year.
    qint64 events = 180000;
    // First day of the history.
    int startYear = 2023, startMonth = 4, startDay = 1;
};

// Creates a new database file with the two tables and nothing in them.
// An existing file is replaced. Throws std::runtime_error.
void createSchema(const QString& path);

// Creates the file and fills it; deterministic for a given seed.
void generate(const QString& path, const Options& options);

// Runs SQL on an existing file, for fixtures. Throws std::runtime_error.
void execute(const QString& path, const QString& sql);

} // namespace demo
