#include "TempInstall.h"
#include "notepad/NotepadWindow.h"
#include "notepad/SaveAsDialog.h"

#include <QAction>
#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>

namespace {

QByteArray sj(const char* hex)
{
    return QByteArray::fromHex(hex);
}

void typeText(QWidget* editor, const QString& text)
{
    // Japanese cannot be typed key by key; an input method commits it whole.
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(editor, &commit);
}

// Every file below root (links not followed, so a drive's files appear once,
// under its own folder) with its bytes, by path relative to root.
QMap<QString, QByteArray> filesUnder(const QString& root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(root).relativeFilePath(path), TempInstall::readAll(path));
    }
    return files;
}

} // namespace

class TestNotepadWindow : public QObject
{
    Q_OBJECT

private:
    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir->filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        return path;
    }

    // Runs answer on the next modal widget of type T as soon as it shows.
    template <typename T> void whenModal(std::function<void(T*)> answer)
    {
        auto* poll = new QTimer(m_pending.get());
        poll->setInterval(10);
        connect(poll, &QTimer::timeout, poll, [poll, answer] {
            if (auto* widget = qobject_cast<T*>(QApplication::activeModalWidget())) {
                poll->stop();
                poll->deleteLater();
                answer(widget);
            }
        });
        poll->start();
    }

    // Clicks the box's button of that caption and keeps the box's text.
    void answerBox(const QString& caption, QString* text = nullptr)
    {
        whenModal<QMessageBox>([caption, text](QMessageBox* box) {
            if (text)
                *text = box->text();
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == caption)
                    return button->click();
            }
            box->reject();
        });
    }

    void answerSaveAs(const QString& path)
    {
        whenModal<QFileDialog>([path](QFileDialog* dialog) {
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();
        });
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QObject> m_pending;

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_pending = std::make_unique<QObject>();
    }
    void cleanup()
    {
        m_pending.reset();
        m_dir.reset();
    }

    void menuAndFont();
    void opensShiftJis_data();
    void opensShiftJis();
    void savesUneditedBytesUnchanged_data();
    void savesUneditedBytesUnchanged();
    void overwriteWritesFile();
    void savesEditedTextAsShiftJisCrLf();
    void warnsAboutCharactersLost_data();
    void warnsAboutCharactersLost();
    void asksBeforeDiscardingEdits_data();
    void asksBeforeDiscardingEdits();
    void saveAsDialogOffersDrives();
    void saveAsTakesTypedWindowsPaths_data();
    void saveAsTakesTypedWindowsPaths();
};

void TestNotepadWindow::menuAndFont()
{
    NotepadWindow window;
    auto* menu = window.findChild<QMenu*>(QStringLiteral("fileMenu"));
    QVERIFY(menu);
    QCOMPARE(menu->title(), QStringLiteral("ファイル(&F)"));
    const QStringList expected{QStringLiteral("上書き保存(&S)"),
                               QStringLiteral("名前を付けて保存(&A)..."),
                               QStringLiteral("閉じる(&X)")};
    QStringList captions;
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            QVERIFY(action->isEnabled());
            captions << action->text();
        }
    }
    QCOMPARE(captions, expected);
    QCOMPARE(window.editor()->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
    QCOMPARE(window.editor()->font().pointSize(), 9);
    QCOMPARE(window.windowTitle(), QStringLiteral("無題 - メモ帳"));
}

void TestNotepadWindow::opensShiftJis_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("roster line") << QByteArray("\"1001\",\"N1\",\"K1\",\"<M1>\",\"\",0,1\r\n")
                                 << QStringLiteral("\"1001\",\"N1\",\"K1\",\"<M1>\",\"\",0,1\n");
    QTest::newRow("japanese") << sj("93fa967b8cea0d0a81608740fbfc")
                              << QStringLiteral("日本語\n～①髙");
    QTest::newRow("NEC and IBM twins read alike") << sj("ed40fa5c") << QStringLiteral("纊纊");
    QTest::newRow("halfwidth katakana") << sj("b6c5") << QStringLiteral("ｶﾅ");
    QTest::newRow("lone LF and lone CR") << QByteArray("a\nb\rc") << QStringLiteral("a\nb\nc");
}

void TestNotepadWindow::opensShiftJis()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    NotepadWindow window;
    QVERIFY(window.openFile(writeFile(QStringLiteral("list.csv"), bytes)));
    window.show();

    QCOMPARE(window.editor()->toPlainText(), expected);
    QCOMPARE(window.windowTitle(), QStringLiteral("list.csv - メモ帳"));
}

void TestNotepadWindow::savesUneditedBytesUnchanged_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("roster lines") << QByteArray(
        "\"1\",\"A\",\"a\",\"\",\"\",0,1\r\n\"2\",\"B\",\"b\",\"\",\"\",0,1\r\n");
    QTest::newRow("NEC-selected IBM ED40 beside IBM FA5C") << sj("ed40fa5c0d0a");
    QTest::newRow("NEC roman numeral beside IBM one") << sj("8754fa4a0d0a");
    QTest::newRow("small roman numeral twins") << sj("eeeffa40");
    QTest::newRow("lone LF and no final line end") << QByteArray("a\nb");
    QTest::newRow("bytes outside the code page") << sj("41a0fd42");
    QTest::newRow("empty file") << QByteArray();
}

void TestNotepadWindow::savesUneditedBytesUnchanged()
{
    QFETCH(QByteArray, bytes);
    NotepadWindow window;
    QVERIFY(window.openFile(writeFile(QStringLiteral("list.csv"), bytes)));
    window.show();
    const QString copy = m_dir->filePath(QStringLiteral("usb/list.csv"));
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("usb"))));
    answerSaveAs(copy);

    window.findChild<QAction*>(QStringLiteral("actionSaveAs"))->trigger();

    QCOMPARE(TempInstall::readAll(copy), bytes);
    QCOMPARE(window.filePath(), copy);
}

void TestNotepadWindow::overwriteWritesFile()
{
    const QByteArray bytes = sj("ed40fa5c0d0a");
    const QString path = writeFile(QStringLiteral("list.csv"), bytes);
    NotepadWindow window;
    QVERIFY(window.openFile(path));
    QVERIFY(QFile::remove(path));

    window.findChild<QAction*>(QStringLiteral("actionSave"))->trigger();

    QCOMPARE(TempInstall::readAll(path), bytes);
}

void TestNotepadWindow::savesEditedTextAsShiftJisCrLf()
{
    const QString path = writeFile(QStringLiteral("list.csv"), sj("ed400d0a410d0a"));
    NotepadWindow window;
    QVERIFY(window.openFile(path));
    window.show();
    window.editor()->moveCursor(QTextCursor::End);
    typeText(window.editor(), QStringLiteral("日本～①\n"));
    QCOMPARE(window.windowTitle(), QStringLiteral("*list.csv - メモ帳"));

    QVERIFY(window.save());

    // Once edited, the text is written afresh: ED40 comes back as Windows
    // writes that character, FA5C.
    QCOMPARE(TempInstall::readAll(path), sj("fa5c0d0a410d0a93fa967b816087400d0a"));
    QCOMPARE(window.windowTitle(), QStringLiteral("list.csv - メモ帳"));
}

void TestNotepadWindow::warnsAboutCharactersLost_data()
{
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("warningMentions");

    const QByteArray original("A\r\n");
    QTest::newRow("emoji, saved anyway as one ? per UTF-16 unit")
        << original << QStringLiteral("😀?") << QStringLiteral("&Yes") << QByteArray("???A\r\n")
        << QStringLiteral("😀 → ??");
    QTest::newRow("best fit, saved anyway")
        << original << QStringLiteral("José") << QStringLiteral("&Yes") << QByteArray("JoseA\r\n")
        << QStringLiteral("é → e");
    QTest::newRow("emoji, not saved") << original << QStringLiteral("😀") << QStringLiteral("&No")
                                      << original << QStringLiteral("😀");
    QTest::newRow("file had unreadable bytes: a lead byte without its second")
        << sj("41810d0a") << QStringLiteral("B") << QStringLiteral("&No") << sj("41810d0a")
        << QStringLiteral("読めない");
}

void TestNotepadWindow::warnsAboutCharactersLost()
{
    QFETCH(QByteArray, original);
    QFETCH(QString, typed);
    QFETCH(QString, answer);
    QFETCH(QByteArray, expected);
    QFETCH(QString, warningMentions);
    const QString path = writeFile(QStringLiteral("list.csv"), original);
    NotepadWindow window;
    QVERIFY(window.openFile(path));
    window.show();
    typeText(window.editor(), typed);
    QString warning;
    answerBox(answer, &warning);

    window.save();

    QVERIFY2(warning.contains(warningMentions), qPrintable(warning));
    QCOMPARE(TempInstall::readAll(path), expected);
    QCOMPARE(window.editor()->document()->isModified(), expected == original);
}

void TestNotepadWindow::asksBeforeDiscardingEdits_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("save") << QStringLiteral("保存する(&S)") << true << QByteArray("BA\r\n");
    QTest::newRow("don't save") << QStringLiteral("保存しない(&N)") << true << QByteArray("A\r\n");
    QTest::newRow("cancel") << QStringLiteral("キャンセル") << false << QByteArray("A\r\n");
}

void TestNotepadWindow::asksBeforeDiscardingEdits()
{
    QFETCH(QString, answer);
    QFETCH(bool, closed);
    QFETCH(QByteArray, expected);
    const QString path = writeFile(QStringLiteral("list.csv"), QByteArray("A\r\n"));
    NotepadWindow window;
    QVERIFY(window.openFile(path));
    window.show();
    typeText(window.editor(), QStringLiteral("B"));
    QString question;
    answerBox(answer, &question);

    window.findChild<QAction*>(QStringLiteral("actionClose"))->trigger();

    QCOMPARE(question, QStringLiteral("変更内容を %1 に保存しますか?").arg(path));
    QCOMPARE(window.isVisible(), !closed);
    QCOMPARE(TempInstall::readAll(path), expected);
}

void TestNotepadWindow::saveAsDialogOffersDrives()
{
    TempInstall install;
    const QString usb = install.addDrive(QLatin1Char('e'));
    SaveAsDialog dialog(nullptr, install.driveC() + QStringLiteral("/Program Files/list.csv"));

    const QList<QUrl> places = dialog.sidebarUrls();
    QVERIFY(
        places.contains(QUrl::fromLocalFile(install.prefix() + QStringLiteral("/dosdevices/c:"))));
    QVERIFY(
        places.contains(QUrl::fromLocalFile(install.prefix() + QStringLiteral("/dosdevices/e:"))));
    QVERIFY(places.contains(QUrl::fromLocalFile(QDir::homePath())));
    QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("名前を付けて保存"));
    QVERIFY(!usb.isEmpty());
}

void TestNotepadWindow::saveAsTakesTypedWindowsPaths_data()
{
    QTest::addColumn<QString>("typed");
    // A file already there (relative to the prefix), the answer to the box
    // that shows, and what the box must say; empty when there is none.
    QTest::addColumn<QString>("existing");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("boxMentions");
    // Where the file must end up, relative to the prefix; empty when nothing
    // may be written and the dialog stays open.
    QTest::addColumn<QString>("savedAt");

    const QString inInstall = QStringLiteral("drive_c/Program Files/Tavenro/");
    QTest::newRow("E:\\list.csv lands on the e: drive")
        << QStringLiteral("E:\\list.csv") << QString() << QString() << QString()
        << QStringLiteral("drive_e/list.csv");
    QTest::newRow("e:list.csv lands in the drive's root")
        << QStringLiteral("e:list.csv") << QString() << QString() << QString()
        << QStringLiteral("drive_e/list.csv");
    QTest::newRow("folder on the drive found in any letter case")
        << QStringLiteral("e:\\roster\\..\\Roster\\.\\List.csv") << QString() << QString()
        << QString() << QStringLiteral("drive_e/Roster/List.csv");
    QTest::newRow("full path into the install folder")
        << QStringLiteral("C:\\Program Files\\Tavenro\\copy.csv") << QString() << QString()
        << QString() << inInstall + QStringLiteral("copy.csv");
    QTest::newRow("rooted name goes to the shown folder's drive")
        << QStringLiteral("\\copy.csv") << QString() << QString() << QString()
        << QStringLiteral("drive_c/copy.csv");
    QTest::newRow("file on the drive replaced once the operator agrees")
        << QStringLiteral("E:\\list.csv") << QStringLiteral("drive_e/list.csv")
        << QStringLiteral("&Yes") << QStringLiteral("E:\\list.csv")
        << QStringLiteral("drive_e/list.csv");
    QTest::newRow("file on the drive kept when the operator declines")
        << QStringLiteral("E:\\list.csv") << QStringLiteral("drive_e/list.csv")
        << QStringLiteral("&No") << QStringLiteral("E:\\list.csv") << QString();
    QTest::newRow("unmapped drive letter writes nothing and says so")
        << QStringLiteral("F:\\list.csv") << QString() << QString()
        << QStringLiteral("F:\\list.csv\nパスが存在しません。\nドライブ F: が見つかりません。")
        << QString();
    QTest::newRow("missing folder on the drive writes nothing and says so")
        << QStringLiteral("E:\\nowhere\\list.csv") << QString() << QString()
        << QStringLiteral("E:\\nowhere\\list.csv\nパスが存在しません。") << QString();
    QTest::newRow("plain name still saves in the shown folder")
        << QStringLiteral("copy.csv") << QString() << QString() << QString()
        << inInstall + QStringLiteral("copy.csv");
}

void TestNotepadWindow::saveAsTakesTypedWindowsPaths()
{
    QFETCH(QString, typed);
    QFETCH(QString, existing);
    QFETCH(QString, answer);
    QFETCH(QString, boxMentions);
    QFETCH(QString, savedAt);
    TempInstall install;
    install.addDrive(QLatin1Char('e'));
    QVERIFY(QDir().mkpath(install.prefix() + QStringLiteral("/drive_e/Roster")));
    QVERIFY(QDir().mkpath(install.installFolder()));
    const QByteArray bytes("\"1\",\"A\",\"a\",\"\",\"\",0,1\r\n");
    const QString list = install.installFolder() + QStringLiteral("/list.csv");
    QFile listFile(list);
    QVERIFY(listFile.open(QIODevice::WriteOnly) && listFile.write(bytes) == bytes.size());
    listFile.close();
    if (!existing.isEmpty()) {
        QFile old(install.prefix() + QLatin1Char('/') + existing);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old\r\n") == 5);
    }
    QMap<QString, QByteArray> expected = filesUnder(install.prefix());
    if (!savedAt.isEmpty())
        expected.insert(savedAt, bytes);

    NotepadWindow window;
    QVERIFY(window.openFile(list));
    window.show();
    // Any box shown is kept, and declined unless the row answers it.
    QString boxText;
    answerBox(answer, &boxText);
    bool typedIn = false;
    bool stayedOpen = false;
    whenModal<QFileDialog>([typed, &typedIn, &stayedOpen](QFileDialog* dialog) {
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (name) {
            // Typed as the operator types: into the focused name box.
            QApplication::setActiveWindow(dialog);
            name->setFocus();
            name->selectAll();
            QTest::keyClicks(name, typed);
            typedIn = name->hasFocus() && name->text() == typed;
            QTest::keyClick(name, Qt::Key_Return);
        }
        stayedOpen = dialog->isVisible();
        if (stayedOpen)
            dialog->reject();
    });

    const bool saved = window.saveAs();

    QVERIFY(typedIn);
    if (boxMentions.isEmpty())
        QCOMPARE(boxText, QString());
    else
        QVERIFY2(boxText.contains(boxMentions), qPrintable(boxText));
    QCOMPARE(saved, !savedAt.isEmpty());
    QCOMPARE(stayedOpen, savedAt.isEmpty());
    QCOMPARE(filesUnder(install.prefix()), expected);
    if (saved)
        QCOMPARE(QFileInfo(window.filePath()).canonicalFilePath(),
                 QFileInfo(install.prefix() + QLatin1Char('/') + savedAt).canonicalFilePath());
    else
        QCOMPARE(window.filePath(), list);
}

QTEST_MAIN(TestNotepadWindow)
#include "tst_notepad_window.moc"
