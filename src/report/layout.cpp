#include "report/layout.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>

#include <cmath>
#include <map>

namespace tessary {

namespace {

// Hundredths of a millimetre: every comparison of the column flow is made
// in whole hundredths, so a band that fits exactly is never pushed on by a
// rounding error.
qint64 hundredths(double mm) { return qRound64(mm * 100.0); }
double fromHundredths(qint64 h) { return double(h) / 100.0; }

QString oneLine(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

// The device texts are measured on: 1200 dots per inch.
const QImage &measuringDevice()
{
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.setDotsPerMeterX(qRound(1200 / 0.0254));
        image.setDotsPerMeterY(qRound(1200 / 0.0254));
        return image;
    }();
    return device;
}

class Paginator
{
public:
    Paginator(Report &report, ReportLayout &out) : m_report(report), m_out(out)
    {
        const PageSetup &page = report.page;
        m_top = hundredths(page.topMargin);
        m_bottom = hundredths(page.pageSize().height()) - hundredths(page.bottomMargin);
        m_columns = page.columns > 0 ? page.columns : 1;
        m_columnWidth = page.columnWidth();
    }

    void run()
    {
        newPage();
        RowSource *source = m_report.rowSource();
        if (!source)
            return;
        for (source->first(); !source->eof(); source->next()) {
            const int row = source->rowIndex();
            for (const auto &band : m_report.bands()) {
                if (!band->enabled)
                    continue;
                if (band->beforePrint)
                    band->beforePrint();
                placeBand(*band, row);
            }
        }
    }

private:
    void newPage()
    {
        m_out.pages.emplace_back();
        LayoutPage &page = m_out.pages.back();
        page.number = int(m_out.pages.size());
        m_column = 0;
        m_left = roundMm(m_report.page.leftMargin);
        m_y = m_top;
        for (const auto &element : m_report.pageElements())
            addElement(page, *element, QPointF(0, 0), -1);
    }

    void nextColumn()
    {
        if (m_column + 1 >= m_columns) {
            newPage();
            return;
        }
        ++m_column;
        // The previous left edge + column width + gap, reckoned from the
        // margin so that rounding to hundredths does not add up across columns.
        m_left = roundMm(m_report.page.leftMargin + m_column * (m_columnWidth + m_report.page.columnGap));
        m_y = m_top;
    }

    void placeBand(const ReportBand &band, int row)
    {
        const qint64 height = hundredths(band.height);
        // A band fits while the space left is at least its height. One that
        // is taller than a whole column is placed at the column's top anyway
        // rather than moving on for ever.
        if (m_bottom - m_y < height && m_y > m_top)
            nextColumn();
        LayoutPage &page = m_out.pages.back();
        const QPointF origin(m_left, fromHundredths(m_y));
        const int placement = int(page.bands.size());
        page.bands.push_back(PlacedBand{&band, row, origin, m_column});
        for (const auto &element : band.elements())
            addElement(page, *element, origin, placement);
        if (band.frame.any())
            addFrame(page, band, origin, placement);
        m_y += height;
        if (band.childGap > 0) {
            const qint64 gap = hundredths(band.childGap);
            m_y = (m_bottom - m_y >= gap) ? m_y + gap : m_bottom;
        }
    }

    void addFrame(LayoutPage &page, const ReportBand &band, QPointF origin, int placement)
    {
        const double w = roundMm(band.width > 0 ? band.width : m_columnWidth);
        const double h = roundMm(band.height);
        const QRectF box(origin, QSizeF(w, h));
        auto side = [&](bool on, QLineF line) {
            if (!on)
                return;
            LayoutItem item;
            item.kind = LayoutItem::Kind::Line;
            item.line = line;
            item.penColor = band.frame.color;
            item.penWidth = band.frame.width;
            item.placement = placement;
            page.items.push_back(item);
        };
        side(band.frame.top, QLineF(box.topLeft(), box.topRight()));
        side(band.frame.bottom, QLineF(box.bottomLeft(), box.bottomRight()));
        side(band.frame.left, QLineF(box.topLeft(), box.bottomLeft()));
        side(band.frame.right, QLineF(box.topRight(), box.bottomRight()));
    }

    void addElement(LayoutPage &page, const ReportElement &element, QPointF origin, int placement)
    {
        if (!element.enabled)
            return;
        LayoutItem item;
        item.element = &element;
        item.placement = placement;
        item.box = QRectF(roundMm(origin.x() + element.left), roundMm(origin.y() + element.top), roundMm(element.width),
                          roundMm(element.height));
        switch (element.kind()) {
        case ElementKind::Label:
            addText(page, item, static_cast<const ReportLabel &>(element).text);
            return;
        case ElementKind::DataText: {
            const auto &data = static_cast<const ReportDataText &>(element);
            if (data.column.isEmpty())
                return;
            RowSource *source = m_report.rowSource();
            QString text = source && !source->eof() ? source->text(data.column) : QString();
            if (data.printHook)
                data.printHook(text);
            addText(page, item, text);
            return;
        }
        case ElementKind::SystemText: {
            const auto &system = static_cast<const ReportSystemText &>(element);
            addText(page, item,
                    system.data == ReportSystemText::Data::ReportTitle ? m_report.page.title
                                                                       : QString::number(page.number));
            return;
        }
        case ElementKind::Image:
            item.kind = LayoutItem::Kind::Image;
            item.frame = static_cast<const ReportImage &>(element).frame;
            item.penColor = item.frame.color;
            item.penWidth = item.frame.width;
            page.items.push_back(item);
            return;
        case ElementKind::Line: {
            const auto &line = static_cast<const ReportLine &>(element);
            item.kind = LayoutItem::Kind::Line;
            const double y = roundMm(item.box.top() + item.box.height() / 2);
            item.line = QLineF(item.box.left(), y, item.box.right(), y);
            item.penColor = line.color;
            item.penWidth = line.penWidth;
            page.items.push_back(item);
            return;
        }
        }
    }

    void addText(LayoutPage &page, LayoutItem &item, const QString &rawText)
    {
        const auto &text = static_cast<const ReportText &>(*item.element);
        item.kind = LayoutItem::Kind::Text;
        item.text = oneLine(rawText);
        item.font = text.font;
        item.alignment = text.alignment;
        item.transparent = text.transparent;
        item.background = text.background;
        if (item.text.isEmpty() && text.transparent)
            return; // nothing to print
        if (text.autoSize) {
            const QSizeF size = measureText(text.font, item.text);
            const double width = roundMm(size.width());
            double left = item.box.left();
            if (text.alignment == TextAlignment::Centre)
                left = roundMm(item.box.center().x() - width / 2);
            item.box = QRectF(left, item.box.top(), width, roundMm(size.height()));
        } else {
            item.clip = true;
        }
        page.items.push_back(item);
    }

    Report &m_report;
    ReportLayout &m_out;
    qint64 m_top = 0;
    qint64 m_bottom = 0;
    qint64 m_y = 0;
    int m_columns = 1;
    int m_column = 0;
    double m_columnWidth = 0;
    double m_left = 0;
};

QRectF toDevice(const QRectF &mm, double sx, double sy)
{
    return QRectF(mm.left() * sx, mm.top() * sy, mm.width() * sx, mm.height() * sy);
}

} // namespace

double roundMm(double mm) { return fromHundredths(hundredths(mm)); }

QSizeF measureText(const ReportFont &font, const QString &text)
{
    const QFontMetricsF metrics(font.toQFont(), &measuringDevice());
    const double perMm = 1200 / 25.4;
    return QSizeF(metrics.horizontalAdvance(oneLine(text)) / perMm, metrics.height() / perMm);
}

ReportLayout layOutReport(Report &report)
{
    ReportLayout layout;
    layout.page = report.page;
    Paginator(report, layout).run();
    return layout;
}

std::vector<LayoutItem> reportPageItems(Report &report, const ReportLayout &layout, int page)
{
    if (page < 0 || page >= layout.pageCount())
        return {};
    const LayoutPage &laid = layout.pages.at(page);
    std::vector<LayoutItem> items = laid.items;

    // Image items by placed band, so each band's hook runs once, for its row.
    std::map<int, std::vector<size_t>> images;
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].kind != LayoutItem::Kind::Image)
            continue;
        if (items[i].placement < 0)
            items[i].picture = static_cast<const ReportImage *>(items[i].element)->picture;
        else
            images[items[i].placement].push_back(i);
    }
    RowSource *source = report.rowSource();
    for (const auto &[placement, indexes] : images) {
        const PlacedBand &placed = laid.bands.at(size_t(placement));
        if (source)
            source->moveTo(placed.row);
        if (placed.band->beforePrint)
            placed.band->beforePrint();
        for (size_t i : indexes)
            items[i].picture = static_cast<const ReportImage *>(items[i].element)->picture;
    }
    return items;
}

void paintReportPage(Report &report, const ReportLayout &layout, int page, QPainter &painter)
{
    const QPaintDevice *device = painter.device();
    const double sx = device ? device->logicalDpiX() / 25.4 : 96 / 25.4;
    const double sy = device ? device->logicalDpiY() / 25.4 : 96 / 25.4;
    paintLayoutItems(reportPageItems(report, layout, page), painter, sx, sy);
}

void paintLayoutItems(const std::vector<LayoutItem> &items, QPainter &painter, double sx, double sy)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    for (const LayoutItem &item : items) {
        const QRectF box = toDevice(item.box, sx, sy);
        switch (item.kind) {
        case LayoutItem::Kind::Text: {
            if (!item.transparent)
                painter.fillRect(box, item.background);
            if (item.text.isEmpty())
                break;
            painter.setFont(item.font.toQFont());
            painter.setPen(item.font.color);
            int flags = Qt::AlignTop | Qt::TextSingleLine;
            flags |= item.alignment == TextAlignment::Centre ? Qt::AlignHCenter : Qt::AlignLeft;
            if (!item.clip)
                flags |= Qt::TextDontClip;
            painter.drawText(box, flags, item.text);
            break;
        }
        case LayoutItem::Kind::Image: {
            if (!item.picture.isNull())
                painter.drawImage(box, item.picture);
            if (item.frame.any()) {
                QPen pen(item.frame.color, std::max(item.frame.width * sx, 1.0), Qt::SolidLine, Qt::SquareCap);
                painter.setPen(pen);
                if (item.frame.top)
                    painter.drawLine(box.topLeft(), box.topRight());
                if (item.frame.bottom)
                    painter.drawLine(box.bottomLeft(), box.bottomRight());
                if (item.frame.left)
                    painter.drawLine(box.topLeft(), box.bottomLeft());
                if (item.frame.right)
                    painter.drawLine(box.topRight(), box.bottomRight());
            }
            break;
        }
        case LayoutItem::Kind::Line: {
            // Band frames meet at their corners; element lines end where their box does.
            QPen pen(item.penColor, std::max(item.penWidth * sy, 1.0), Qt::SolidLine,
                     item.element ? Qt::FlatCap : Qt::SquareCap);
            painter.setPen(pen);
            painter.drawLine(QPointF(item.line.x1() * sx, item.line.y1() * sy),
                             QPointF(item.line.x2() * sx, item.line.y2() * sy));
            break;
        }
        }
    }
    painter.restore();
}

} // namespace tessary
