#include "report/fontcheck.h"

#include <QFont>
#include <QFontInfo>
#include <QRawFont>

namespace tessary {

namespace {

// Arial's advance widths in a 2048-unit em (Liberation Sans has the same).
struct Advance
{
    char16_t ch;
    int units;
};
constexpr Advance kArialAdvances[] = {
    {u' ', 569}, {u'a', 1139}, {u'i', 455},  {u'm', 1706}, {u'r', 682}, {u'f', 569},
    {u'A', 1366}, {u'M', 1706}, {u'W', 1933}, {u'0', 1139}, {u'.', 569},
};

} // namespace

FontMetricsCheck checkArialMetrics(const QString &family)
{
    FontMetricsCheck check;
    check.requested = family;
    QFont font(family);
    font.setHintingPreference(QFont::PreferNoHinting);
    check.resolved = QFontInfo(font).family();

    QRawFont raw = QRawFont::fromFont(font);
    if (!raw.isValid()) {
        check.detail = QStringLiteral("no font found for %1").arg(family);
        return check;
    }
    raw.setPixelSize(2048);
    QStringList differences;
    for (const Advance &expected : kArialAdvances) {
        const QString text(QChar(expected.ch));
        const QList<quint32> glyphs = raw.glyphIndexesForString(text);
        if (glyphs.size() != 1 || glyphs.first() == 0) {
            differences << QStringLiteral("'%1' missing").arg(text);
            continue;
        }
        const QList<QPointF> advances = raw.advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics);
        const double got = advances.isEmpty() ? 0 : advances.first().x();
        if (qAbs(got - expected.units) > 1.0)
            differences << QStringLiteral("'%1' %2 instead of %3").arg(text).arg(got).arg(expected.units);
    }
    const bool familyKnown = check.resolved.compare(QStringLiteral("Arial"), Qt::CaseInsensitive) == 0 ||
                             check.resolved.compare(QStringLiteral("Liberation Sans"), Qt::CaseInsensitive) == 0;
    if (!familyKnown)
        differences.prepend(QStringLiteral("resolved to %1").arg(check.resolved));
    check.metricsMatch = differences.isEmpty();
    check.detail = differences.join(QStringLiteral(", "));
    return check;
}

} // namespace tessary
