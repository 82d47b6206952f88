#include "notepad/NotepadWindow.h"
#include "platform/JapaneseDesktop.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tavenro-notepad"));

    // Qt's own texts (the file dialog's buttons, Yes and No) in Japanese.
    platform::installQtJapaneseTexts(app);
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
