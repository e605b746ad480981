#pragma once

// The private CUPS print queue of scripts/cups-queue.sh as the print tests
// use it: started once per test program, its socket put into CUPS_SERVER so
// the default printer is its cups-pdf queue, waited on, and stopped.
// Tests that include it define TESSARY_SOURCE_DIR.

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace printqueue {

inline const QString kScript = QStringLiteral(TESSARY_SOURCE_DIR "/scripts/cups-queue.sh");

// Runs a program to its end (at most three minutes); answers its output.
inline QString run(const QString &program, const QStringList &args, int *exitCode = nullptr)
{
    QProcess process;
    process.start(program, args);
    process.waitForFinished(180000);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput());
}

class PrintQueue
{
public:
    enum class Start { Started, Unavailable, Failed };

    // Starts the scheduler and points this process's CUPS_SERVER at it.
    // Unavailable: cupsd, lpadmin or cups-pdf is missing (or not root).
    Start start()
    {
        int code = 0;
        run(QStringLiteral("sh"), {kScript, QStringLiteral("available")}, &code);
        if (code != 0)
            return Start::Unavailable;
        log = run(QStringLiteral("sh"), {kScript, QStringLiteral("start")}, &code);
        if (code != 0)
            return Start::Failed;
        static const QRegularExpression assignment(QStringLiteral("^(\\w+)='([^']*)'"),
                                                   QRegularExpression::MultilineOption);
        for (auto it = assignment.globalMatch(log); it.hasNext();) {
            const auto m = it.next();
            if (m.captured(1) == QStringLiteral("CUPS_SERVER"))
                qputenv("CUPS_SERVER", m.captured(2).toLocal8Bit());
            else if (m.captured(1) == QStringLiteral("TESSARY_CUPS_DIR"))
                dir = m.captured(2);
            else if (m.captured(1) == QStringLiteral("TESSARY_CUPS_OUT"))
                out = m.captured(2);
            else if (m.captured(1) == QStringLiteral("TESSARY_CUPS_QUEUE"))
                queue = m.captured(2);
            else if (m.captured(1) == QStringLiteral("TESSARY_CUPS_CARD_QUEUE"))
                cardQueue = m.captured(2);
            else if (m.captured(1) == QStringLiteral("TESSARY_CUPS_CARD_OUT"))
                cardOut = m.captured(2);
        }
        return dir.isEmpty() || out.isEmpty() ? Start::Failed : Start::Started;
    }

    // True when every job of the queue is done within `seconds`.
    bool wait(int seconds = 120) const
    {
        int code = 0;
        run(QStringLiteral("sh"), {kScript, QStringLiteral("wait"), dir, QString::number(seconds)}, &code);
        return code == 0;
    }

    void stop()
    {
        if (!dir.isEmpty())
            run(QStringLiteral("sh"), {kScript, QStringLiteral("stop"), dir});
        dir.clear();
    }

    QString dir; // the instance's folder
    QString out; // where the printed PDF files land
    QString queue;     // the default queue (A4, A6 and others, no card size)
    QString cardQueue; // the card printer's queue (CR80 in its PPD)
    QString cardOut;   // where its PDF files land
    // The page log: one line per printed page, "queue job title media print-scaling".
    QString pageLog() const { return dir + QStringLiteral("/logs/page_log"); }
    QString log; // what starting it printed
};

} // namespace printqueue
