#include "printers/calibrationcard.h"

#include "data/errors.h"
#include "cardmodel/renderer.h"
#include "data/settings.h"
#include "report/spool.h"

#include <QFile>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>


#include <cmath>

namespace tessary {

namespace {

constexpr double kFontUnitsPerMm = 100; // fonts are sized in pixels, painted scaled down
constexpr double kScaleInset = 6;       // the millimetre scales' distance from the edge
constexpr double kLabelInset = 2.6;     // where the frames' leaders end

// Text `heightMm` high (its font's pixel size); `anchor` is on its baseline,
// at its left, centre or right as `align` says; Qt::AlignVCenter puts the
// anchor half a cap height above the baseline instead.
void drawText(QPainter &p, QPointF anchor, double heightMm, const QString &text, Qt::Alignment align)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(int(std::lround(heightMm * kFontUnitsPerMm)));
    const QFontMetricsF metrics(font);
    double x = 0;
    if (align & Qt::AlignHCenter)
        x = -metrics.horizontalAdvance(text) / 2;
    else if (align & Qt::AlignRight)
        x = -metrics.horizontalAdvance(text);
    const double y = (align & Qt::AlignVCenter) ? metrics.capHeight() / 2 : 0;
    p.save();
    p.translate(anchor);
    p.scale(1 / kFontUnitsPerMm, 1 / kFontUnitsPerMm);
    p.setFont(font);
    p.drawText(QPointF(x, y), text);
    p.restore();
}

QString millimetres(double mm) { return QLocale::c().toString(mm, 'g', 3); }

// Each frame, its outer edge `inset` inside the card's edge.
void paintFrames(QPainter &p, const QRectF &card)
{
    const double half = kCalibrationLineMm / 2;
    for (const double inset : kCalibrationFrameInsets)
        p.drawRect(card.adjusted(inset + half, inset + half, -inset - half, -inset - half));
}

// On every edge a leader from each frame to its label.
void paintFrameLabels(QPainter &p, const QRectF &card)
{
    const QPointF c = card.center();
    constexpr double textMm = 1.5;
    for (int i = 0; i < 5; ++i) {
        const double inset = kCalibrationFrameInsets[i] + kCalibrationLineMm;
        const QString label = millimetres(kCalibrationFrameInsets[i]);
        const double x = c.x() + (i - 2) * 7.0;
        const double y = c.y() + (i - 2) * 4.5;
        p.drawLine(QPointF(x, card.top() + inset), QPointF(x, card.top() + kLabelInset));
        drawText(p, QPointF(x, card.top() + kLabelInset + 1.8), textMm, label, Qt::AlignHCenter);
        p.drawLine(QPointF(x, card.bottom() - inset), QPointF(x, card.bottom() - kLabelInset));
        drawText(p, QPointF(x, card.bottom() - kLabelInset - 0.4), textMm, label, Qt::AlignHCenter);
        p.drawLine(QPointF(card.left() + inset, y), QPointF(card.left() + kLabelInset, y));
        drawText(p, QPointF(card.left() + kLabelInset + 0.2, y), textMm, label, Qt::AlignLeft | Qt::AlignVCenter);
        p.drawLine(QPointF(card.right() - inset, y), QPointF(card.right() - kLabelInset, y));
        drawText(p, QPointF(card.right() - kLabelInset - 0.2, y), textMm, label, Qt::AlignRight | Qt::AlignVCenter);
    }
}

double tickLength(int mm) { return mm % 10 == 0 ? 2.0 : mm % 5 == 0 ? 1.3 : 0.8; }

// Scales with a tick each millimetre, counted from the card's left and top
// edges, numbered every 10 mm.
void paintScales(QPainter &p, const QRectF &card)
{
    constexpr double textMm = 1.3;
    for (int mm = 10; mm <= int(card.width()) - 10; ++mm) {
        const double x = card.left() + mm;
        const double len = tickLength(mm);
        p.drawLine(QPointF(x, card.top() + kScaleInset), QPointF(x, card.top() + kScaleInset + len));
        p.drawLine(QPointF(x, card.bottom() - kScaleInset), QPointF(x, card.bottom() - kScaleInset - len));
        if (mm % 10 == 0) {
            drawText(p, QPointF(x, card.top() + kScaleInset + 2 + 1.6), textMm, QString::number(mm), Qt::AlignHCenter);
            drawText(p, QPointF(x, card.bottom() - kScaleInset - 2.3), textMm, QString::number(mm), Qt::AlignHCenter);
        }
    }
    for (int mm = 10; mm <= int(card.height()) - 10; ++mm) {
        const double y = card.top() + mm;
        const double len = tickLength(mm);
        p.drawLine(QPointF(card.left() + kScaleInset, y), QPointF(card.left() + kScaleInset + len, y));
        p.drawLine(QPointF(card.right() - kScaleInset, y), QPointF(card.right() - kScaleInset - len, y));
        if (mm % 10 == 0) {
            drawText(p, QPointF(card.left() + kScaleInset + 2.3, y), textMm, QString::number(mm),
                     Qt::AlignLeft | Qt::AlignVCenter);
            drawText(p, QPointF(card.right() - kScaleInset - 2.3, y), textMm, QString::number(mm),
                     Qt::AlignRight | Qt::AlignVCenter);
        }
    }
}

void paintCentre(QPainter &p, const QRectF &card, PrintSide side, const QString &note)
{
    const QPointF c = card.center();
    p.drawLine(c - QPointF(6, 0), c + QPointF(6, 0));
    p.drawLine(c - QPointF(0, 6), c + QPointF(0, 6));
    p.drawEllipse(c, 2.0, 2.0);
    drawText(p, c + QPointF(0, -7), 4, side == PrintSide::Front ? QStringLiteral("Front") : QStringLiteral("Back"),
             Qt::AlignHCenter);
    double y = c.y() + 9;
    for (const QString &line : note.split(QLatin1Char('\n'))) {
        drawText(p, QPointF(c.x(), y), 1.4, line, Qt::AlignHCenter);
        y += 2;
    }
}

QString signedTenths(int tenths)
{
    const QString number = QLocale::c().toString(tenths / 10.0, 'f', 1);
    return tenths >= 0 ? QLatin1Char('+') + number : number;
}

} // namespace

void paintCalibrationCard(QPainter &painter, const QRectF &cardMm, PrintSide side, const QString &note)
{
    painter.save();
    QPen pen(Qt::black, kCalibrationLineMm, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    paintFrames(painter, cardMm);
    paintFrameLabels(painter, cardMm);
    paintScales(painter, cardMm);
    paintCentre(painter, cardMm, side, note);
    painter.restore();
}

const QStringList &cardPageSizeNames()
{
    static const QStringList kNames = {QStringLiteral("CR80"), QStringLiteral("1XCR80"), QStringLiteral("w155h244"),
                                       QStringLiteral("Card")};
    return kNames;
}

std::optional<QPageSize> cardStockSize(const QList<QPageSize> &sizes)
{
    for (const QString &name : cardPageSizeNames())
        for (const QPageSize &size : sizes)
            if (size.key().compare(name, Qt::CaseInsensitive) == 0 ||
                size.name().compare(name, Qt::CaseInsensitive) == 0)
                return size;
    for (const QPageSize &size : sizes) {
        if (!size.isValid())
            continue;
        const QSizeF mm = size.size(QPageSize::Millimeter);
        const auto near = [](double a, double b) { return std::abs(a - b) <= kCardSizeTolerance; };
        if ((near(mm.width(), kCardWidthMm) && near(mm.height(), kCardHeightMm)) ||
            (near(mm.width(), kCardHeightMm) && near(mm.height(), kCardWidthMm)))
            return size;
    }
    return std::nullopt;
}

CalibrationSheet calibrationSheet(const std::optional<QPageSize> &cardSize, SheetPaper paper)
{
    CalibrationSheet sheet;
    const QSizeF card(kCardWidthMm, kCardHeightMm);
    if (cardSize) {
        sheet.cardStock = true;
        sheet.layout = QPageLayout(*cardSize, QPageLayout::Landscape, QMarginsF(), QPageLayout::Millimeter);
        sheet.media = cardSize->key().toUtf8();
        const QSizeF page = sheet.layout.fullRect(QPageLayout::Millimeter).size();
        sheet.front = QRectF(QPointF((page.width() - card.width()) / 2, (page.height() - card.height()) / 2), card);
        sheet.back = sheet.front;
    } else {
        // The first card cell of the sheets the cards print on, and the
        // cell behind it.
        const Stock stock = paper == SheetPaper::A4 ? a4Stock() : a6Stock();
        sheet.layout = stock.qPageLayout();
        sheet.media = stock.qPageSize().key().toUtf8();
        sheet.front = QRectF(QPointF(stock.originX.toMm(), stock.originY.toMm()), card);
        sheet.back = QRectF(mirroredCardOrigin(stock.pageSizeMm(), sheet.front.topLeft(), card), card);
    }
    sheet.layout.setMode(QPageLayout::FullPageMode);
    return sheet;
}

QString calibrationNote(const QString &printerName, const SideCalibration &c)
{
    QString note = QStringLiteral("Offset %1, %2 mm  Scale %3, %4 %")
                       .arg(signedTenths(c.offsetX), signedTenths(c.offsetY),
                            QLocale::c().toString(c.scaleX / 10.0, 'f', 1),
                            QLocale::c().toString(c.scaleY / 10.0, 'f', 1));
    if (c.turned)
        note += QStringLiteral("  Turned");
    return printerName.isEmpty() ? note : printerName + QLatin1Char('\n') + note;
}

bool paintCalibrationPages(QPagedPaintDevice &device, const CalibrationSheet &sheet, const PrinterSettings *settings,
                           const QString &printerName)
{
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(device.logicalDpiX() / 25.4, device.logicalDpiY() / 25.4);
    for (const PrintSide side : {PrintSide::Front, PrintSide::Back}) {
        const QRectF card = side == PrintSide::Front ? sheet.front : sheet.back;
        const SideCalibration calibration = settings ? settings->side(side) : SideCalibration{};
        if (side == PrintSide::Back && !device.newPage())
            return false;
        painter.save();
        painter.setWorldTransform(calibrationTransform(calibration, card), true);
        paintCalibrationCard(painter, card, side, calibrationNote(printerName, calibration));
        painter.restore();
    }
    return painter.end();
}

std::vector<std::pair<QByteArray, QByteArray>> cardJobOptions(const QByteArray &media, const TwoSidedOption &twoSided)
{
    std::vector<std::pair<QByteArray, QByteArray>> options{{"media", media}, {"print-scaling", "none"}};
    if (twoSided.printsBothSides())
        options.emplace_back(twoSided.option, twoSided.choice);
    else
        options.emplace_back("sides", "one-sided");
    return options;
}

namespace {

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

} // namespace

bool printCalibrationCard(const QString &queue, SheetPaper paper, QString *error)
{
    return printCalibrationCard(queue, paper, printerSetup(queue), error);
}

bool printCalibrationCard(const QString &queue, SheetPaper paper, const PrinterSetup &setup, QString *error)
{
    const QPrinterInfo info = QPrinterInfo::printerInfo(queue);
    if (info.isNull())
        return fail(error, QStringLiteral("The printer %1 is not installed.").arg(queue));
    const CalibrationSheet sheet = calibrationSheet(cardStockSize(info.supportedPageSizes()), paper);
    QPrinter printer(info, QPrinter::HighResolution);
    if (!setUpPrinterPage(printer, sheet.layout))
        return fail(error, QStringLiteral("The printer %1 refuses the page %2.").arg(queue, sheet.layout.pageSize().name()));
    printer.setDocName(QStringLiteral("Calibration card"));
    // Painted into a file of our own and queued with the options below.
    QTemporaryDir spool;
    if (!spool.isValid())
        return fail(error, QStringLiteral("The calibration card cannot be printed: %1").arg(spool.errorString()));
    const QString file = spool.filePath(QStringLiteral("job.prn"));
    printer.setOutputFileName(file);
    if (!paintCalibrationPages(printer, sheet, &setup.settings, queue))
        return fail(error, QStringLiteral("The calibration card cannot be printed on %1.").arg(queue));

    QString reason;
    if (!queuePrintFile(queue, file, QStringLiteral("Calibration card"), cardJobOptions(sheet.media, setup.twoSided),
                        &reason))
        return fail(error, QStringLiteral("The calibration card cannot be printed on %1: %2").arg(queue, reason));
    return true;
}

QString calibrationPrinter(const QStringList &installed, const QString &defaultPrinter)
{
    QString chosen;
    try {
        chosen = ReadStringSetting(QStringLiteral("CalibrationPrinter"), QString());
    } catch (const Error &) {
    }
    return installed.contains(chosen) ? chosen : defaultPrinter;
}

void setCalibrationPrinter(const QString &queue) { WriteStringSetting(QStringLiteral("CalibrationPrinter"), queue); }

} // namespace tessary
