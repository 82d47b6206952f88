#pragma once

#include "common/TempInstall.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A machine with an install folder and a stick on drive e:, and what the
// backup tests look at after each trial.
struct BackupMachine
{
    TempInstall install;
    QString stick = install.addDrive(QLatin1Char('e'));

    QString stickDatabase() const { return stick + QStringLiteral("/DB.mdb"); }
};

// What a database file holds, as the next program to open it finds it: a
// left-over journal is rolled back first, as the product's engine would.
struct DatabaseState
{
    QString integrity; // "ok", or the engine's complaint
    QString content;   // roster and history in one line, to tell versions apart

    bool sound() const { return integrity == QLatin1String("ok"); }
};
DatabaseState stateOf(const QString& hostPath);

// A roster of count students whose barcodes start with tag, and as many
// history rows: enough pages that a copy takes several writes.
QString rosterSql(const QString& tag, int count);
// Makes a database file in the product's shape in the given journal mode.
void makeDatabase(const QString& hostPath, const QString& tag, int count,
                  const QString& journalMode);

// Every file of a folder, hidden ones included.
QStringList filesIn(const QString& folder);
// Empties a folder and puts a copy of each file of pristine (name -> source).
void resetFolder(const QString& folder, const QList<QPair<QString, QString>>& pristine);

// The helper process, beside the test executable.
QString childProgram();
// The environment for it: this machine's WINEPREFIX, and no preloads of ours.
QProcessEnvironment childEnvironment();
