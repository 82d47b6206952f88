#pragma once

#include "engine/sqlite/SqliteHandles.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A throw-away Windows installation: a temporary WINEPREFIX whose drive c:
// is a folder of its own, pointed at by $WINEPREFIX for the object's life.
// Databases are real SQLite files in the product's shape.
class TempInstall
{
public:
    TempInstall();
    ~TempInstall();
    TempInstall(const TempInstall&) = delete;
    TempInstall& operator=(const TempInstall&) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString prefix() const { return m_dir.path(); }
    // Host folder of drive c:.
    QString driveC() const { return m_dir.path() + QStringLiteral("/drive_c"); }
    // Host paths of the two install folders and their DB.mdb.
    QString installFolder() const { return driveC() + QStringLiteral("/Program Files/Tavenro"); }
    QString installFolderX86() const
    {
        return driveC() + QStringLiteral("/Program Files (x86)/Tavenro");
    }
    QString database() const { return installFolder() + QStringLiteral("/DB.mdb"); }
    QString databaseX86() const { return installFolderX86() + QStringLiteral("/DB.mdb"); }

    // Creates an empty database in the product's shape (folders as needed) and
    // runs sql on it. Returns the host path.
    QString createDatabase(const QString& hostPath, const QString& sql = {}) const;
    // Adds a drive letter mapped to a new folder; returns the folder.
    QString addDrive(QChar letter) const;

    // Runs sql on a database file; returns the rows of a query as lines of
    // "|"-joined fields (NULL for null), for comparisons in tests.
    static QStringList query(const QString& hostPath, const QString& sql);
    static void execute(const QString& hostPath, const QString& sql);
    static QByteArray readAll(const QString& hostPath);

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPrefix;
    bool m_hadPrefix;
};

// Another program holding the write lock on a database for the object's life,
// as the product does mid-transaction. isHeld() is false when it could not.
class HeldWriteLock
{
public:
    explicit HeldWriteLock(const QString& hostPath);
    ~HeldWriteLock();
    HeldWriteLock(const HeldWriteLock&) = delete;
    HeldWriteLock& operator=(const HeldWriteLock&) = delete;
    bool isHeld() const { return m_held; }
    // Runs sql inside the held transaction; false when it fails.
    bool execute(const char* sql);

private:
    engine::detail::SqliteHandle m_db;
    bool m_held = false;
};

// Another program's read transaction on the file, from the constructor to the
// destructor: the tool can write but not commit meanwhile (rollback journal).
class HeldReadLock
{
public:
    explicit HeldReadLock(const QString& hostPath);
    ~HeldReadLock();
    HeldReadLock(const HeldReadLock&) = delete;
    HeldReadLock& operator=(const HeldReadLock&) = delete;
    bool isHeld() const { return m_held; }

private:
    engine::detail::SqliteHandle m_db;
    bool m_held = false;
};

// A file of the shared fixtures folder (genuine Jet files); $TAVENRO_FIXTURES
// overrides the folder the build was configured with. Empty when the folder
// is not there (a clone without its shared folder beside it).
QString fixturePath(const QString& name);

// Copies a fixture to a writable file; skips the current test when the
// fixtures are not there.
#define COPY_FIXTURE_OR_SKIP(name, destination)                                                    \
    do {                                                                                           \
        const QString fixture_ = fixturePath(name);                                                \
        if (fixture_.isEmpty())                                                                    \
            QSKIP("the shared fixtures folder is not beside this checkout");                       \
        QVERIFY(QFile::copy(fixture_, destination));                                               \
        QFile::setPermissions(destination, QFile::ReadOwner | QFile::WriteOwner);                  \
    } while (false)
