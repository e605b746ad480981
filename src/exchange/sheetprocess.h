#pragma once

#include "exchange/sheetreader.h"

#include "data/errors.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>

namespace tessary {

// What the import says when the sheet reader fails part-way: it crashed,
// ran out of its memory, sent something that is no frame, or sent nothing
// for the whole timeout.
const QString kFileCannotBeRead = QStringLiteral("The file cannot be read.");

// The reader's failure; its message is kFileCannotBeRead.
class SheetReadFailure : public Error
{
public:
    SheetReadFailure() : Error(kFileCannotBeRead) {}
};

// A sheet read by the child process `tessary-sheet`. While it waits for the
// child the window system may repaint (ProcessEventsQuietly); nothing else
// of the program runs.
class SheetProcess : public SheetReader
{
public:
    // Starts the reader on `path` and waits for its header. Throws
    // tessary::Error with the reader's message when the file cannot be
    // opened (nothing was read then), and SheetReadFailure when the reader
    // fails.
    explicit SheetProcess(const QString &path);
    ~SheetProcess() override;

    QStringList columnNames() const override { return m_columns; }
    int rowCount() const override { return m_rows; }
    // Throws SheetReadFailure when the reader fails.
    bool nextRow(QVector<SheetCell> &row) override;

    // The reader program: $TESSARY_SHEET_READER when set, else
    // readerOf(the program's own folder).
    static QString program();
    // The reader of a program in `programFolder`: tessary-sheet beside it
    // (the build tree, the program folder), else in ../libexec/tessary/ of
    // it (an installed program; the folder install chose), else the one beside it, whose absence the
    // start of the reader then reports.
    static QString readerOf(const QString &programFolder);
    // How long the reader may send nothing: $TESSARY_SHEET_TIMEOUT_MS when
    // set, else 30 seconds.
    static int timeoutMs();

private:
    sheetframe::Decoded nextFrame();
    bool takeFrame(QByteArray &payload);
    [[noreturn]] void fail();

    QProcess m_process;
    QByteArray m_buffer;
    qsizetype m_read = 0; // bytes of m_buffer already taken
    QStringList m_columns;
    int m_rows = 0;
    bool m_ended = false;
};

} // namespace tessary
