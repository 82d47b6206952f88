#include "notepad/NotepadWindow.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tavenro-notepad"));

    // Qt's own texts (the file dialog's buttons, Yes and No) in Japanese.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTexts);
    app.setFont(notepad::toolFont());

    // Like Notepad, the rest of the command line is one file name, spaces and all.
    const QString path = app.arguments().mid(1).join(QLatin1Char(' '));

    NotepadWindow window;
    if (!path.isEmpty())
        window.openFile(path);
    window.show();
    window.activateWindow();
    return app.exec();
}
