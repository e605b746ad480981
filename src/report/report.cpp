#include "report/report.h"

#include <utility>

namespace tessary {

QFont ReportFont::toQFont() const
{
    QFont font(family);
    font.setPointSizeF(pointSize > 0 ? pointSize : 1);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    // Unhinted outlines scale linearly, so a text measured when laying out
    // has the same width on a 96 dpi preview and a 1200 dpi printer.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

ReportFont ReportFont::fromQFont(const QFont &font, const QColor &color)
{
    ReportFont out;
    out.family = font.family();
    out.pointSize = font.pointSizeF() > 0 ? font.pointSizeF() : 10;
    out.color = color;
    out.bold = font.bold();
    out.italic = font.italic();
    out.underline = font.underline();
    return out;
}

QSizeF PageSetup::pageSize() const
{
    QSizeF size;
    switch (paper) {
    case Paper::A4: size = QSizeF(210, 297); break;
    case Paper::A6: size = QSizeF(105, 148); break;
    case Paper::Custom: size = QSizeF(paperWidth, paperLength); break;
    }
    return orientation == QPageLayout::Landscape ? size.transposed() : size;
}

double PageSetup::columnWidth() const
{
    const int n = columns > 0 ? columns : 1;
    return (pageSize().width() - leftMargin - rightMargin - columnGap * (n - 1)) / n;
}

QPageSize PageSetup::qPageSize() const
{
    switch (paper) {
    case Paper::A4: return QPageSize(QPageSize::A4);
    case Paper::A6: return QPageSize(QPageSize::A6);
    case Paper::Custom: break;
    }
    return QPageSize(QSizeF(paperWidth, paperLength), QPageSize::Millimeter);
}

QPageLayout PageSetup::qPageLayout() const
{
    QPageLayout layout(qPageSize(), orientation, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    layout.setMode(QPageLayout::FullPageMode);
    return layout;
}

ReportBand &Report::addBand(const QString &name)
{
    m_bands.push_back(std::make_unique<ReportBand>(name));
    return *m_bands.back();
}

} // namespace tessary
