#include "common/FaultTrace.h"
#include "common/Mounts.h"
#include "common/TempInstall.h"
#include "notepad/NotepadWindow.h"
#include "notepad/SaveAsDialog.h"
#include "platform/FileErrors.h"

#include <QAction>
#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QToolButton>
#include <QtTest>
#include <cerrno>
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

    // Answers every message box from now on, keeping each one's text: the
    // caption's button where the box has one, else the box is closed.
    void answerEveryBox(const QString& caption, QStringList* texts)
    {
        auto* poll = new QTimer(m_pending.get());
        poll->setInterval(10);
        connect(poll, &QTimer::timeout, poll, [caption, texts] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || box->property("answered").toBool())
                return;
            box->setProperty("answered", true);
            *texts << box->text();
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == caption)
                    return button->click();
            }
            box->reject();
        });
        poll->start();
    }

    void answerSaveAs(const QString& path)
    {
        whenModal<QFileDialog>([path](QFileDialog* dialog) {
            dialog->selectFile(path);
            // selectFile leaves the name box alone while it has the focus.
            if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(QFileInfo(path).fileName());
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
    void saveAsKeepsItsHistoryApart();
    void typingKeepsUntouchedBytes_data();
    void typingKeepsUntouchedBytes();
    void failedSaveChangesNothing_data();
    void failedSaveChangesNothing();
    void saveFlushesBeforeItRenames();
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
    // Only CR LF ends a line; a lone break is a marked character of its line.
    QTest::newRow("lone LF and lone CR shown as marks in one line")
        << QByteArray("a\nb\rc") << QStringLiteral("a\u21B5b\u21A9c");
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
    TempInstall install;
    const QString copy = install.addDrive(QLatin1Char('e')) + QStringLiteral("/list.csv");
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

    // The lines typed are written afresh; the ones left alone keep their
    // bytes, ED40 included (typingKeepsUntouchedBytes has the edited case).
    QCOMPARE(TempInstall::readAll(path), sj("ed400d0a410d0a93fa967b816087400d0a"));
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
    TempInstall install;
    QVERIFY(QDir().mkpath(install.installFolder()));
    const QString path = install.installFolder() + QStringLiteral("/list.csv");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("A\r\n") == 3);
    file.close();
    NotepadWindow window;
    QVERIFY(window.openFile(path));
    window.show();
    typeText(window.editor(), QStringLiteral("B"));
    QString question;
    answerBox(answer, &question);

    window.findChild<QAction*>(QStringLiteral("actionClose"))->trigger();

    // The file as the operator knows it, not the host's path.
    QCOMPARE(question,
             QStringLiteral("変更内容を c:\\Program Files\\Tavenro\\list.csv に保存しますか？"));
    QCOMPARE(window.isVisible(), !closed);
    QCOMPARE(TempInstall::readAll(path), expected);
}

void TestNotepadWindow::saveAsDialogOffersDrives()
{
    TempInstall install;
    const QString usb = install.addDrive(QLatin1Char('e'));
    QVERIFY(QDir().mkpath(install.driveC() + QStringLiteral("/Program Files")));
    SaveAsDialog dialog(nullptr, install.driveC() + QStringLiteral("/Program Files/list.csv"));
    dialog.show();

    // The drives of the prefix and the operator's volumes, nothing else: no
    // folder of the machine, no place another program's dialog once showed.
    const QList<QUrl> places = dialog.sidebarUrls();
    QCOMPARE(places, SaveAsDialog::driveUrls());
    QCOMPARE(
        places.mid(0, 2),
        QList<QUrl>({QUrl::fromLocalFile(install.prefix() + QStringLiteral("/dosdevices/c:")),
                     QUrl::fromLocalFile(install.prefix() + QStringLiteral("/dosdevices/e:"))}));
    QVERIFY(!places.contains(QUrl::fromLocalFile(QDir::homePath())));
    auto* drives = dialog.findChild<QListWidget*>(QStringLiteral("driveList"));
    QVERIFY(drives);
    QVERIFY(drives->isVisible());
    QCOMPARE(drives->count(), places.size());
    QStringList captions;
    for (int row = 0; row < drives->count(); ++row) {
        captions << drives->item(row)->text();
        QVERIFY2(!captions.constLast().contains(QLatin1Char('/')),
                 qPrintable(captions.constLast()));
    }
    QCOMPARE(captions.mid(0, 2), QStringList({QStringLiteral("c:"), QStringLiteral("e:")}));
    QCOMPARE(drives->currentItem()->text(), QStringLiteral("c:"));

    // The address bar names folders as Windows does, wherever the operator goes.
    auto* address = dialog.findChild<QLineEdit*>(QStringLiteral("addressBar"));
    QVERIFY(address);
    QVERIFY(address->isVisible());
    QCOMPARE(address->text(), QStringLiteral("c:\\Program Files"));
    QVERIFY(!dialog.findChild<QWidget*>(QStringLiteral("lookInCombo"))->isVisible());
    QVERIFY(!dialog.findChild<QWidget*>(QStringLiteral("sidebar"))->isVisible());
    // 親ディレクトリ goes no higher than the drive's root.
    auto* up = dialog.findChild<QToolButton*>(QStringLiteral("toParentButton"));
    QVERIFY(up);
    for (int click = 0; click < 3; ++click) {
        up->click();
        QCOMPARE(address->text(), QStringLiteral("c:\\"));
    }
    QCOMPARE(QFileInfo(dialog.directory().absolutePath()).canonicalFilePath(),
             QFileInfo(install.driveC()).canonicalFilePath());
    QTest::mouseClick(drives->viewport(), Qt::LeftButton, {},
                      drives->visualItemRect(drives->item(1)).center());
    QCOMPARE(address->text(), QStringLiteral("e:\\"));
    QCOMPARE(QFileInfo(dialog.directory().absolutePath()).canonicalFilePath(),
             QFileInfo(usb).canonicalFilePath());

    QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("名前を付けて保存"));

    // A folder outside every drive has no Windows name: none is shown, and a
    // name typed there is refused.
    SaveAsDialog outside(nullptr, m_dir->filePath(QStringLiteral("list.csv")));
    outside.show();
    auto* outsideAddress = outside.findChild<QLineEdit*>(QStringLiteral("addressBar"));
    QVERIFY(outsideAddress);
    QCOMPARE(outsideAddress->text(), QString());
    QString refusal;
    answerBox(QString(), &refusal);
    outside.accept();
    QVERIFY2(refusal.contains(QStringLiteral("パスが存在しません。")), qPrintable(refusal));
    QVERIFY(outside.isVisible());
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
    QTest::newRow("..\\ climbs no higher than the drive's root")
        << QStringLiteral("..\\..\\..\\list.csv") << QString() << QString() << QString()
        << QStringLiteral("drive_c/list.csv");
    QTest::newRow("rooted name goes to the shown folder's drive")
        << QStringLiteral("\\copy.csv") << QString() << QString() << QString()
        << QStringLiteral("drive_c/copy.csv");
    QTest::newRow("file on the drive replaced once the operator agrees")
        << QStringLiteral("E:\\list.csv") << QStringLiteral("drive_e/list.csv")
        << QStringLiteral("&Yes")
        << QStringLiteral("E:\\list.csv は既に存在します。\n置き換えますか？")
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

void TestNotepadWindow::saveAsKeepsItsHistoryApart()
{
    // main() pointed HOME and XDG_CONFIG_HOME at a folder of the run's own;
    // the user's QtProject.conf stands there with another program's places.
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    QVERIFY(config.startsWith(QDir::tempPath()));
    const QString shared = config + QStringLiteral("/QtProject.conf");
    const QByteArray others("[FileDialog]\nhistory=file:///elsewhere/old\n"
                            "lastVisited=file:///elsewhere/old\n"
                            "shortcuts=file:///elsewhere/old, file:///elsewhere/older\n");
    {
        QFile file(shared);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(others) == others.size());
    }
    TempInstall install;
    QVERIFY(QDir().mkpath(install.installFolder()));
    {
        SaveAsDialog dialog(nullptr, install.installFolder() + QStringLiteral("/list.csv"));
        dialog.show();
        QVERIFY(!dialog.history().contains(QStringLiteral("/elsewhere/old")));
        QVERIFY(
            !dialog.sidebarUrls().contains(QUrl::fromLocalFile(QStringLiteral("/elsewhere/old"))));
    }

    // Nothing of ours went into the shared file; the editor's own file took it.
    QCOMPARE(TempInstall::readAll(shared), others);
    QVERIFY(QFileInfo::exists(config + QStringLiteral("/tavenro-notepad/QtProject.conf")));
}

void TestNotepadWindow::typingKeepsUntouchedBytes_data()
{
    QTest::addColumn<QByteArray>("original");
    // Where "X" is typed: a line, and a place in it (-1 for its end).
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    // What is typed there, "X" unless a row says otherwise: "\n" a line end,
    // "\b" the Backspace key.
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("expected");
    const QString x = QStringLiteral("X");

    // Remarks the export wrote as they stand: a lone CR in the first record,
    // a lone LF in the second, inside CR LF lines.
    const QByteArray lone("\"1\",\"A\",\"a\",\"\",\"x\ry\",0,1\r\n"
                          "\"2\",\"B\",\"b\",\"\",\"p\nq\",0,1\r\n"
                          "\"3\",\"C\",\"c\",\"\",\"\",0,1\r\n");
    QTest::newRow("lone CR and LF, typed at the end of the file")
        << lone << 3 << 0 << x << lone + "X";
    QTest::newRow("lone CR and LF, typed at the start") << lone << 0 << 0 << x << "X" + lone;
    QByteArray inSecond = lone;
    inSecond.insert(inSecond.indexOf("0,1\r\n\"3\"") + 3, 'X');
    QTest::newRow("lone LF kept in the record typed into") << lone << 1 << -1 << x << inSecond;
    QTest::newRow("NEC twin ED40 kept in a line left alone")
        << sj("ed400d0a410d0a") << 1 << -1 << x << sj("ed400d0a41580d0a");
    QTest::newRow("NEC twin in the line typed into written as Windows writes it")
        << sj("ed400d0a410d0a") << 0 << -1 << x << sj("fa5c580d0a410d0a");
    QTest::newRow("bytes outside the code page kept in a line left alone, no warning")
        << sj("41a0fd420d0a43") << 1 << -1 << x << sj("41a0fd420d0a4358");
    // Lines below an inserted or deleted one keep their place from the end.
    QTest::newRow("line inserted: NEC twin and bytes outside the code page below kept")
        << sj("410d0aed400d0a41a0fd42") << 0 << -1 << QStringLiteral("\nB")
        << sj("410d0a420d0aed400d0a41a0fd42");
    QTest::newRow("line deleted: NEC twin and bytes outside the code page below kept")
        << sj("410d0a420d0aed400d0a41a0fd42") << 1 << -1 << QStringLiteral("\b\b")
        << sj("410d0aed400d0a41a0fd42");
}

void TestNotepadWindow::typingKeepsUntouchedBytes()
{
    QFETCH(QByteArray, original);
    QFETCH(int, line);
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(QByteArray, expected);
    const QString path = writeFile(QStringLiteral("list.csv"), original);
    NotepadWindow window;
    QVERIFY(window.openFile(path));
    window.show();

    // Only CR LF makes a line: each record shows as one, lone breaks marked.
    QTextDocument* document = window.editor()->document();
    QCOMPARE(document->blockCount(), original.count("\r\n") + 1);
    QVERIFY(!window.editor()->toPlainText().contains(QLatin1Char('\r')));
    const QTextBlock block = document->findBlockByNumber(line);
    QVERIFY(block.isValid());
    QTextCursor cursor(block);
    if (column < 0)
        cursor.movePosition(QTextCursor::EndOfBlock);
    else
        cursor.setPosition(block.position() + column);
    window.editor()->setTextCursor(cursor);
    const QStringList pieces = typed.split(QLatin1Char('\b'));
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            QTest::keyClick(window.editor(), Qt::Key_Backspace);
        if (!pieces[i].isEmpty())
            typeText(window.editor(), pieces[i]);
    }
    QStringList boxes;
    answerEveryBox(QString(), &boxes);

    QVERIFY(window.save());

    QCOMPARE(boxes, QStringList());
    QCOMPARE(TempInstall::readAll(path), expected);
}

namespace {

enum class Fault
{
    FullVolume,
    ReadOnlyFile,
    ReadOnlyVolume
};

} // namespace

Q_DECLARE_METATYPE(Fault)

void TestNotepadWindow::failedSaveChangesNothing_data()
{
    QTest::addColumn<bool>("saveAs");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<qint64>("freeBytes");
    // The system's code whose reason the operator must be told.
    QTest::addColumn<int>("reasonOf");

    const auto full = Fault::FullVolume;
    QTest::newRow("Ctrl+S, stick full to the byte") << false << full << qint64(0) << ENOSPC;
    QTest::newRow("Ctrl+S, stick with 8 KB free") << false << full << qint64(8192) << ENOSPC;
    QTest::newRow("Save As, stick full to the byte") << true << full << qint64(0) << ENOSPC;
    QTest::newRow("Save As, stick with 8 KB free") << true << full << qint64(8192) << ENOSPC;
    QTest::newRow("Ctrl+S, read-only list.csv")
        << false << Fault::ReadOnlyFile << qint64(-1) << EACCES;
    QTest::newRow("Save As over a read-only list.csv")
        << true << Fault::ReadOnlyFile << qint64(-1) << EACCES;
    QTest::newRow("Ctrl+S, stick remounted read-only")
        << false << Fault::ReadOnlyVolume << qint64(-1) << EROFS;
    QTest::newRow("Save As, stick remounted read-only")
        << true << Fault::ReadOnlyVolume << qint64(-1) << EROFS;
}

void TestNotepadWindow::failedSaveChangesNothing()
{
    QFETCH(bool, saveAs);
    QFETCH(Fault, fault);
    QFETCH(qint64, freeBytes);
    QFETCH(int, reasonOf);
    TempInstall install;
    const QString stickFolder = install.addDrive(QLatin1Char('f'));
    if (!Mounts::whyNot().isEmpty())
        QSKIP(qPrintable(Mounts::whyNot()));
    Mounts mounts;
    QVERIFY(mounts.tmpfs(stickFolder, 256 * 1024));

    // Some 12 KB of roster: more than the 8 KB left free.
    QByteArray roster;
    for (int i = 1; i <= 400; ++i)
        roster += QStringLiteral("\"%1\",\"N%1\",\"K%1\",\"\",\"\",0,1\r\n")
                      .arg(i, 4, 10, QLatin1Char('0'))
                      .toLatin1();
    const QString onStick = stickFolder + QStringLiteral("/list.csv");
    QVERIFY(QDir().mkpath(install.installFolder()));
    const QString inInstall = install.installFolder() + QStringLiteral("/list.csv");
    for (const QString& path : {onStick, inInstall}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(roster) == roster.size());
    }

    NotepadWindow window;
    QVERIFY(window.openFile(saveAs ? inInstall : onStick));
    window.show();
    window.editor()->moveCursor(QTextCursor::End);
    typeText(window.editor(), QStringLiteral("X"));
    switch (fault) {
    case Fault::FullVolume:
        QVERIFY(fillVolume(stickFolder, freeBytes));
        break;
    case Fault::ReadOnlyFile:
        QVERIFY(
            QFile::setPermissions(onStick, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        break;
    case Fault::ReadOnlyVolume:
        QVERIFY(mounts.remountReadOnly(stickFolder));
        break;
    }
    const QMap<QString, QByteArray> before = filesUnder(stickFolder);
    const QString shownBefore = window.filePath();
    QStringList boxes;
    answerEveryBox(QStringLiteral("&Yes"), &boxes);

    if (saveAs) {
        answerSaveAs(onStick);
        QVERIFY(!window.saveAs());
    } else {
        window.findChild<QAction*>(QStringLiteral("actionSave"))->trigger();
    }

    // Nothing changed on the stick, no temporary file is left, and the
    // operator was told which file and why, in the terms of the drive list.
    QCOMPARE(filesUnder(stickFolder), before);
    QVERIFY(!boxes.isEmpty());
    const QString told = boxes.constLast();
    QVERIFY2(told.contains(QStringLiteral("f:\\list.csv に保存できませんでした。")),
             qPrintable(told));
    QVERIFY2(told.contains(platform::fileFailure(reasonOf).reason), qPrintable(told));
    QVERIFY2(!told.contains(stickFolder), qPrintable(told));
    if (saveAs)
        QVERIFY2(boxes.constFirst().contains(QStringLiteral("f:\\list.csv")),
                 qPrintable(boxes.constFirst()));
    QVERIFY(window.editor()->document()->isModified());
    QVERIFY(window.windowTitle().startsWith(QLatin1Char('*')));
    QCOMPARE(window.filePath(), shownBefore);

    // Another place still takes the whole text.
    const QString elsewhere = install.installFolder() + QStringLiteral("/copy.csv");
    answerSaveAs(elsewhere);
    QVERIFY(window.saveAs());
    QCOMPARE(TempInstall::readAll(elsewhere), roster + "X");
}

// The flush order of a save, as the fault shim sees it in a process of its
// own (main's "--save").
void TestNotepadWindow::saveFlushesBeforeItRenames()
{
    TempInstall install;
    const QString stick = install.addDrive(QLatin1Char('f'));
    const QString path = stick + QStringLiteral("/list.csv");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("A\r\n") == 3);
    }

    const TracedRun run =
        runTraced(QCoreApplication::applicationFilePath(), {QStringLiteral("--save"), path}, stick);

    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QCOMPARE(flushOrderFault(run.ops, QStringLiteral("list.csv")), QString());
    QCOMPARE(TempInstall::readAll(path), QByteArray("A\r\nX"));
}

namespace {

// "--save PATH": opens the file, types X at its end and saves it; exit 0 when
// it was saved.
int saveOnce(int argc, char* argv[])
{
    QApplication app(argc, argv);
    NotepadWindow window;
    if (!window.openFile(QString::fromLocal8Bit(argv[2])))
        return 2;
    window.editor()->moveCursor(QTextCursor::End);
    window.editor()->insertPlainText(QStringLiteral("X"));
    return window.save() ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--save") == 0)
        return saveOnce(argc, argv);
    // The user's own configuration is neither read nor written: HOME and
    // XDG_CONFIG_HOME point at a folder of this run, before Qt looks at them.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/.config")));
    QDir().mkpath(home.path() + QStringLiteral("/.config"));
    QApplication app(argc, argv);
    TestNotepadWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_notepad_window.moc"
