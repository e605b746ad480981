#pragma once

// A small banded report: a page set-up, detail bands printed once per row of
// a row source, and page elements printed on every page. Reports know
// nothing of cards; they are built by code and then laid out, painted,
// printed or previewed (layout.h, output.h, preview.h, printing.h).
//
// All geometry is in millimetres, as double, and is used to 0.01 mm: a
// position or size is rounded to whole hundredths of a millimetre when the
// report is laid out. Device units appear only while painting.

#include "report/rowsource.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace tessary {

class ReportLayout;

// The font of a text element.
struct ReportFont
{
    QString family = QStringLiteral("Arial");
    double pointSize = 10;
    QColor color = Qt::black;
    bool bold = false;
    bool italic = false;
    bool underline = false;

    // The QFont to paint with: face, size in points (fractional sizes kept),
    // style; hinting off, so widths scale exactly with the resolution.
    QFont toQFont() const;
    // Face, size and style of `font` with colour `color`.
    static ReportFont fromQFont(const QFont &font, const QColor &color = Qt::black);

    bool operator==(const ReportFont &other) const = default;
};

// Which sides of a box get a frame line, and the line's look.
struct FrameLines
{
    bool left = false;
    bool top = false;
    bool right = false;
    bool bottom = false;
    QColor color = Qt::black;
    double width = 0.2; // mm

    bool any() const { return left || top || right || bottom; }
    void setAll(bool on) { left = top = right = bottom = on; }
};

enum class ElementKind { Label, DataText, Image, Line, SystemText };

// A printable element: a box relative to its band's top-left corner (or,
// for a page element, to the page's top-left corner). A disabled element is
// not laid out and prints nothing.
class ReportElement
{
public:
    virtual ~ReportElement() = default;
    ReportElement(const ReportElement &) = delete;
    ReportElement &operator=(const ReportElement &) = delete;

    ElementKind kind() const { return m_kind; }

    QString name;
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    bool enabled = true;

    void setBox(double l, double t, double w, double h)
    {
        left = l;
        top = t;
        width = w;
        height = h;
    }
    QRectF box() const { return QRectF(left, top, width, height); }

protected:
    ReportElement(ElementKind kind, const QString &elementName) : name(elementName), m_kind(kind) {}

private:
    ElementKind m_kind;
};

enum class TextAlignment { Left, Centre };

// What the texts have in common. With autoSize the box takes the text's own
// width and height: a left-aligned text keeps its left edge, a centred one
// stays centred on the middle of the box as it was set; the top stays.
// Without autoSize the text is drawn in its box, cut at the box's edges.
// A text that is not transparent first fills its box with `background`.
// Texts print on one line: line breaks in them print as blanks.
class ReportText : public ReportElement
{
public:
    ReportFont font;
    TextAlignment alignment = TextAlignment::Left;
    bool autoSize = true;
    bool transparent = true;
    QColor background = Qt::white;

protected:
    using ReportElement::ReportElement;
};

// A fixed text.
class ReportLabel : public ReportText
{
public:
    explicit ReportLabel(const QString &name = QString()) : ReportText(ElementKind::Label, name) {}
    QString text;
};

// The value of a named column of the current row. No column: prints
// nothing. The print hook gets the text about to print and may replace it;
// it runs as the row is laid out, with that row current.
class ReportDataText : public ReportText
{
public:
    explicit ReportDataText(const QString &name = QString()) : ReportText(ElementKind::DataText, name) {}
    QString column;
    std::function<void(QString &text)> printHook;
};

// The report title or the number (1, 2, 3 ...) of the page it prints on.
class ReportSystemText : public ReportText
{
public:
    enum class Data { ReportTitle, PageNumber };
    explicit ReportSystemText(const QString &name = QString()) : ReportText(ElementKind::SystemText, name) {}
    Data data = Data::PageNumber;
};

// A picture stretched to fill its box (its aspect ratio is not kept), with
// optional frame lines on the box's edges. An empty picture prints nothing
// but the frame. In a band the picture is read when the page is painted,
// after the band's before-print hook has run again for the band's row, so
// a hook that loads a row's picture serves both laying out and painting.
class ReportImage : public ReportElement
{
public:
    explicit ReportImage(const QString &name = QString()) : ReportElement(ElementKind::Image, name) {}
    QImage picture;
    FrameLines frame;
};

// A horizontal line across the element's width at half its height.
class ReportLine : public ReportElement
{
public:
    explicit ReportLine(const QString &name = QString()) : ReportElement(ElementKind::Line, name) {}
    QColor color = Qt::black;
    double penWidth = 0.2; // mm
};

// A detail band, printed once per row. Its elements are placed relative to
// its top-left corner and painted in the order they were added (later ones
// over earlier ones). Frame lines are drawn on the band's box (its width,
// or the column width when the width is 0). A child gap of height > 0 is
// a blank band printed after it; a gap that no longer fits at the foot of
// a column is dropped rather than carried to the next column.
class ReportBand
{
public:
    explicit ReportBand(const QString &name = QString()) : name(name) {}
    ReportBand(const ReportBand &) = delete;
    ReportBand &operator=(const ReportBand &) = delete;

    QString name;
    double height = 0;
    double width = 0;
    bool enabled = true;
    FrameLines frame;
    double childGap = 0;
    // Called with the band's row current: before the row is laid out, and
    // again before a page holding the band is painted (see ReportImage).
    // It must therefore give the same result for the same row.
    std::function<void()> beforePrint;

    // Adds an element of type T (ReportLabel, ReportDataText, ...) at the
    // end of the painting order; the band owns it.
    template <class T>
    T &add(const QString &elementName = QString())
    {
        auto element = std::make_unique<T>(elementName);
        T &ref = *element;
        m_elements.push_back(std::move(element));
        return ref;
    }
    const std::vector<std::unique_ptr<ReportElement>> &elements() const { return m_elements; }

private:
    std::vector<std::unique_ptr<ReportElement>> m_elements;
};

enum class Paper { A4, A6, Custom };

// Paper, orientation, margins, columns and title. For Custom paper,
// paperWidth x paperLength are the sheet's size held upright; landscape
// turns any paper a quarter turn (width and length swap).
struct PageSetup
{
    Paper paper = Paper::A4;
    double paperWidth = 210;
    double paperLength = 297;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    double topMargin = 0;
    double bottomMargin = 0;
    double leftMargin = 0;
    double rightMargin = 0;
    int columns = 1;
    double columnGap = 0;
    QString title;

    // Width and height of the page as laid out (after orientation), mm.
    QSizeF pageSize() const;
    // (page width - left - right - gap * (columns - 1)) / columns.
    double columnWidth() const;
    // The paper as the printer and PDF writer name it (upright size).
    QPageSize qPageSize() const;
    // That paper in the orientation, with zero margins.
    QPageLayout qPageLayout() const;
};

// A report: page set-up, row source, detail bands and page elements.
// Not copyable; the elements live as long as the report.
class Report
{
public:
    Report() = default;
    Report(const Report &) = delete;
    Report &operator=(const Report &) = delete;

    PageSetup page;

    // The rows to walk (not owned). Without a source the detail bands print
    // never, and the report is one page of page elements.
    void setRowSource(RowSource *source) { m_source = source; }
    RowSource *rowSource() const { return m_source; }

    // Detail bands print in the order they were added, each once per row.
    ReportBand &addBand(const QString &name = QString());
    const std::vector<std::unique_ptr<ReportBand>> &bands() const { return m_bands; }

    // Elements printed on every page at their position on the page.
    template <class T>
    T &addPageElement(const QString &elementName = QString())
    {
        auto element = std::make_unique<T>(elementName);
        T &ref = *element;
        m_pageElements.push_back(std::move(element));
        return ref;
    }
    const std::vector<std::unique_ptr<ReportElement>> &pageElements() const { return m_pageElements; }

private:
    RowSource *m_source = nullptr;
    std::vector<std::unique_ptr<ReportBand>> m_bands;
    std::vector<std::unique_ptr<ReportElement>> m_pageElements;
};

} // namespace tessary
