#pragma once

#include "notepad/NotepadText.h"

#include <QByteArray>
#include <QMainWindow>

class QPlainTextEdit;

namespace platform {
struct FileFailure;
}

// The small editor the roster export opens list.csv in where there is no
// Notepad: one Shift-JIS text file, shown in the tool's font, saved back in
// Shift-JIS with CR LF.
//
// A save writes the whole file or leaves it as it was, and says why not.
// Until the text is edited, saving writes the bytes that were read, unchanged:
// code page 932 has characters with two codes (the NEC and IBM extensions), so
// decoding and encoding again would alter a file the operator never touched.
// Once it is edited, the lines left alone keep their bytes (NotepadText.h).
class NotepadWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit NotepadWindow(QWidget* parent = nullptr);

    // Shows the file at a host path. A missing file starts empty under that
    // name. Returns false, after telling the operator, when it cannot be read;
    // the window then keeps what it showed before.
    bool openFile(const QString& path);
    const QString& filePath() const { return m_path; }
    QPlainTextEdit* editor() const { return m_editor; }

    // 上書き保存 and 名前を付けて保存. Both return true when the file was written;
    // a failure has been shown to the operator.
    bool save();
    bool saveAs();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Writes the whole file or changes nothing; a failure is told, naming
    // the file as the operator knows it, and the text stays modified.
    bool writeTo(const QString& path);
    void tellNotSaved(const QString& path, const platform::FileFailure& why);
    // Asks before a save that writes characters as something else or edits a
    // line holding bytes outside the code page; true to go on.
    bool confirmLosses(const QString& rewritten, bool dropsUnreadable);
    bool maySetTextAside();
    void updateTitle();

    QPlainTextEdit* m_editor;
    QString m_path;
    // The file as last read or written, for saving it again unedited.
    QByteArray m_fileBytes;
    bool m_haveFileBytes = false;
    // The file as lines, for writing back the lines the operator left alone.
    notepad::DecodedText m_source;
};

namespace notepad {

// "ＭＳ Ｐゴシック" 9 pt, the tool's own font, with look-alikes to fall back on
// where it is not installed.
QFont toolFont();

} // namespace notepad
