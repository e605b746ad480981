// Card printing benchmark: 1,000 members with 480 x 640 photos, style 1 on
// A4 (100 sheets). Measures the preview up to its first page shown, and the
// whole run printed to a PDF file, with the process's peak memory after
// each. Targets: preview < 0.5 s, PDF < 10 s, peak memory < 300 MB. Then the
// same 1,000 members as ID-1 cards (1,000 card-sized pages) to PDF, which
// must take no longer than the A4 sheets: the ratio is printed.
#include "card/cardprinter.h"
#include "card/cardprinting.h"
#include "card/layout.h"
#include "data/datasrc.h"
#include "data/prompts.h"
#include "data/schema.h"
#include "photo/picture.h"
#include "report/output.h"
#include "report/preview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace tessary;

namespace {

constexpr int kMembers = 1000;

// Peak resident memory of this process so far, in MB.
double peakMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    return -1;
}

// A photo-like picture: a gradient with a face-sized disc and noise,
// different per member.
QImage photoFor(int i)
{
    QImage img(480, 640, QImage::Format_BGR888);
    QPainter p(&img);
    QLinearGradient g(0, 0, 480, 640);
    g.setColorAt(0, QColor::fromHsv((i * 37) % 360, 80, 230));
    g.setColorAt(1, QColor::fromHsv((i * 37 + 120) % 360, 160, 90));
    p.fillRect(img.rect(), g);
    p.setBrush(QColor(220, 180, 150));
    p.drawEllipse(QPoint(240, 260), 140, 180);
    p.setFont(QFont(QStringLiteral("Arial"), 40));
    p.drawText(QRect(0, 540, 480, 100), Qt::AlignCenter, QString::number(i));
    p.end();
    // Camera noise, so the JPEG streams are as large as real photos'.
    quint32 seed = quint32(i) * 2654435761u + 1;
    for (int y = 0; y < img.height(); ++y) {
        uchar *row = img.scanLine(y);
        for (int x = 0; x < img.width() * 3; ++x) {
            seed = seed * 1664525u + 1013904223u;
            row[x] = uchar(std::clamp(int(row[x]) + int(seed >> 27) - 16, 0, 255));
        }
    }
    return img;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cardinfo.mdb"));
    createCardDatabase(path, {});
    Tdsrc data;
    data.src.setConnectionString(cardConnectionString(path));
    data.src.connect();

    QElapsedTimer t;
    t.start();
    qint64 photoBytes = 0;
    {
        data.QAllStaff.open();
        for (int i = 0; i < kMembers; ++i) {
            data.QAllStaff.append();
            data.QAllStaff.fieldByName(QStringLiteral("name")).setString(QStringLiteral("Member %1").arg(i, 4, 10, QLatin1Char('0')));
            data.QAllStaff.fieldByName(QStringLiteral("gid")).setInteger(0);
            data.QAllStaff.fieldByName(QStringLiteral("staffno")).setString(QString::number(100000 + i));
            data.QAllStaff.fieldByName(QStringLiteral("datejoin")).setString(QStringLiteral("1/03/2024"));
            const QByteArray jpeg = SavePictureToBlob(photoFor(i));
            photoBytes += jpeg.size();
            data.QAllStaff.fieldByName(QStringLiteral("photo")).setBytes(jpeg);
            data.QAllStaff.post();
        }
        data.QAllStaff.close();
    }
    std::printf("database: %d members, photos %.1f KB on average, built in %.1f s\n", kMembers,
                photoBytes / 1024.0 / kMembers, t.elapsed() / 1000.0);
    const double baseMb = peakMb();

    ScopedScriptedPrompts prompts;
    TFmLayout layout(data);
    layout.settings.style = CardStyle::Style1;

    // Preview: open, lay out, paint and show the first page.
    data.QList.setSql(groupCardsSql(0));
    t.restart();
    data.QList.open();
    {
        const CardJob cards = composeCards(layoutDesign(layout.settings, CardPaper::A4),
                                           layoutStock(CardStyle::Style1, CardPaper::A4, CardMode::Preview, 0, 0),
                                           std::make_shared<QueryRecords>(data.QList));
        CardDocument document(cards);
        TReportPreview preview(document);
        preview.show();
        QApplication::processEvents();
        const double seconds = t.elapsed() / 1000.0;
        std::printf("preview: %d pages, first page shown after %.3f s (target < 0.5 s); peak memory %.0f MB (before: %.0f MB)\n",
                    preview.pageCount(), seconds, peakMb(), baseMb);
        preview.close();
    }
    data.QList.close();

    // Print to PDF: the whole run, photos decoded and drawn; on A4 sheets,
    // then as ID-1 cards, one per page. Each is written twice and the faster
    // run counts, so that a busy machine does not decide the ratio.
    double sheetSeconds = 0;
    for (const CardPaper paper : {CardPaper::A4, CardPaper::Id1}) {
        double best = 0;
        for (int attempt = 0; attempt < 2; ++attempt) {
            data.QList.open();
            t.restart();
            const CardJob cards = composeCards(layoutDesign(layout.settings, paper),
                                               layoutStock(CardStyle::Style1, paper, CardMode::Print, 0, 0),
                                               std::make_shared<QueryRecords>(data.QList));
            const double layoutSeconds = t.elapsed() / 1000.0;
            const QString pdf = dir.filePath(QStringLiteral("cards.pdf"));
            const bool ok = writeCardsPdfFile(cards, pdf);
            const double seconds = t.elapsed() / 1000.0;
            std::printf("PDF %s: %s, %d pages, %.1f MB, %.2f s (target < 10 s; layout %.2f s); peak memory %.0f MB (target < 300 MB)\n",
                        qPrintable(stockId(paper)), ok ? "written" : "FAILED", cards.pageCount(),
                        QFile(pdf).size() / 1048576.0, seconds, layoutSeconds, peakMb());
            data.QList.close();
            if (!ok)
                return 1;
            best = attempt == 0 ? seconds : std::min(best, seconds);
        }
        if (paper == CardPaper::A4)
            sheetSeconds = best;
        else
            std::printf("ID-1 cards / A4 sheets (faster of two runs each): ratio %.2f (target <= 1.00)\n",
                        best / sheetSeconds);
    }

    // For comparison: decoding every photo once, as the photo hook does.
    data.QList.open();
    t.restart();
    for (data.QList.first(); !data.QList.eof(); data.QList.next())
        LoadPictureFromBlob(data.QList.fieldByName(QStringLiteral("photo")).asBytes());
    std::printf("decoding the 1,000 photos alone: %.2f s\n", t.elapsed() / 1000.0);
    data.QList.close();
    return 0;
}
