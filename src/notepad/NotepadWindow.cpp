#include "notepad/NotepadWindow.h"

#include "notepad/NotepadText.h"
#include "notepad/SaveAsDialog.h"
#include "platform/FileErrors.h"
#include "platform/JapaneseDesktop.h"
#include "platform/SafeWriter.h"
#include "shiftjis/ShiftJis.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cerrno>

namespace {

const QString appName = QStringLiteral("メモ帳");

void installFontSubstitutes()
{
    static const bool installed = [] {
        QFont::insertSubstitutions(platform::designFamily(), platform::designFamilyFallbacks());
        return true;
    }();
    Q_UNUSED(installed)
}

} // namespace

QFont notepad::toolFont()
{
    installFontSubstitutes();
    QFont font(platform::designFamily(), 9);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

NotepadWindow::NotepadWindow(QWidget* parent)
    : QMainWindow(parent), m_editor(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("notepad"));
    m_editor->setObjectName(QStringLiteral("textEdit"));
    m_editor->setFont(notepad::toolFont());
    m_editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    setCentralWidget(m_editor);
    resize(720, 480);

    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("fileMenu"));
    QAction* save =
        file->addAction(QStringLiteral("上書き保存(&S)"), this, [this] { this->save(); });
    save->setObjectName(QStringLiteral("actionSave"));
    save->setShortcut(QKeySequence::Save);
    QAction* saveAs = file->addAction(QStringLiteral("名前を付けて保存(&A)..."), this,
                                      [this] { this->saveAs(); });
    saveAs->setObjectName(QStringLiteral("actionSaveAs"));
    saveAs->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    file->addSeparator();
    QAction* close = file->addAction(QStringLiteral("閉じる(&X)"), this, &QWidget::close);
    close->setObjectName(QStringLiteral("actionClose"));

    connect(m_editor->document(), &QTextDocument::modificationChanged, this,
            &NotepadWindow::updateTitle);
    updateTitle();
}

bool NotepadWindow::openFile(const QString& path)
{
    QByteArray bytes;
    QFile file(path);
    if (file.exists()) {
        errno = 0;
        const bool read = file.open(QIODevice::ReadOnly) && [&] {
            bytes = file.readAll();
            return file.error() == QFileDevice::NoError;
        }();
        if (!read) {
            QMessageBox::critical(
                this, appName,
                QStringLiteral("%1 を開けません。\n%2")
                    .arg(platform::windowsPathOf(path), platform::fileFailure(file).reason));
            return false;
        }
    }
    m_source = notepad::decodeFile(bytes);
    m_editor->setPlainText(m_source.text());
    m_path = QFileInfo(path).absoluteFilePath();
    m_fileBytes = bytes;
    m_haveFileBytes = file.exists();
    m_editor->document()->setModified(false);
    updateTitle();
    return true;
}

bool NotepadWindow::save()
{
    if (m_path.isEmpty())
        return saveAs();
    return writeTo(m_path);
}

bool NotepadWindow::saveAs()
{
    SaveAsDialog dialog(this, m_path);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QString path = dialog.targetPath();
    if (path.isEmpty())
        return false;
    if (!writeTo(path))
        return false;
    m_path = QFileInfo(path).absoluteFilePath();
    updateTitle();
    return true;
}

bool NotepadWindow::writeTo(const QString& path)
{
    const bool edited = m_editor->document()->isModified() || !m_haveFileBytes;
    QByteArray bytes = m_fileBytes;
    if (edited) {
        const notepad::EncodedText encoded =
            notepad::encodeForSave(m_editor->toPlainText(), m_source);
        if (!confirmLosses(encoded.rewritten, encoded.dropsUnreadable))
            return false;
        bytes = encoded.bytes;
    }

    // Written whole or not at all: until every byte is on the medium, the
    // earlier file stays as it was.
    if (const std::optional<platform::FileFailure> why = platform::writeWholeFile(path, bytes)) {
        tellNotSaved(path, *why);
        return false;
    }
    m_fileBytes = bytes;
    m_haveFileBytes = true;
    if (edited)
        m_source = notepad::decodeFile(bytes);
    m_editor->document()->setModified(false);
    return true;
}

void NotepadWindow::tellNotSaved(const QString& path, const platform::FileFailure& why)
{
    QMessageBox::critical(this, appName,
                          QStringLiteral("%1 に保存できませんでした。\n%2\n\n"
                                         "［名前を付けて保存］で別の場所に保存できます。")
                              .arg(platform::windowsPathOf(path), why.reason));
}

bool NotepadWindow::confirmLosses(const QString& rewritten, bool dropsUnreadable)
{
    const QStringList replaced = shiftjis::charactersShiftJisReplaces(rewritten);
    if (replaced.isEmpty() && !dropsUnreadable)
        return true;
    QStringList paragraphs;
    if (!replaced.isEmpty()) {
        // Each with what the file will hold instead: a close match or "?".
        QStringList lines;
        for (const QString& character : replaced)
            lines << character + QStringLiteral(" → ") +
                         shiftjis::fromShiftJis(shiftjis::toShiftJis(character));
        paragraphs << QStringLiteral(
                          "次の文字は Shift-JIS で表せないため、置き換えて保存されます。\n") +
                          lines.join(QLatin1Char('\n'));
    }
    if (dropsUnreadable)
        paragraphs << QStringLiteral(
            "元のファイルには Shift-JIS "
            "として読めない部分があり、その部分は元どおりには保存されません。");
    paragraphs << QStringLiteral("保存しますか？");
    return QMessageBox::warning(this, appName, paragraphs.join(QStringLiteral("\n\n")),
                                QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No) == QMessageBox::Yes;
}

bool NotepadWindow::maySetTextAside()
{
    if (!m_editor->document()->isModified())
        return true;
    QMessageBox box(
        QMessageBox::Warning, appName,
        QStringLiteral("変更内容を %1 に保存しますか？")
            .arg(m_path.isEmpty() ? QStringLiteral("無題") : platform::windowsPathOf(m_path)),
        QMessageBox::NoButton, this);
    QPushButton* saveButton =
        box.addButton(QStringLiteral("保存する(&S)"), QMessageBox::AcceptRole);
    QPushButton* discardButton =
        box.addButton(QStringLiteral("保存しない(&N)"), QMessageBox::DestructiveRole);
    QPushButton* cancelButton =
        box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
    box.setDefaultButton(saveButton);
    box.setEscapeButton(cancelButton);
    box.exec();
    if (box.clickedButton() == saveButton)
        return save();
    return box.clickedButton() == discardButton;
}

void NotepadWindow::closeEvent(QCloseEvent* event)
{
    if (maySetTextAside())
        event->accept();
    else
        event->ignore();
}

void NotepadWindow::updateTitle()
{
    const QString name = m_path.isEmpty() ? QStringLiteral("無題") : QFileInfo(m_path).fileName();
    const QString mark = m_editor->document()->isModified() ? QStringLiteral("*") : QString();
    setWindowTitle(mark + name + QStringLiteral(" - ") + appName);
}
