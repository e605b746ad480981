#pragma once

#include <QString>

namespace tessary {

// Reports name the face "Arial". What the system gives for it must have
// Arial's metrics (Arial itself, or Liberation Sans, its metric twin), or
// every printed text would have other widths than laid out.
struct FontMetricsCheck
{
    QString requested;  // "Arial"
    QString resolved;   // the family the font system gives for it
    bool metricsMatch = false; // advance widths equal Arial's
    QString detail;     // what differed, for a failing check
};

// Resolves `family` (default "Arial") and compares the advance widths of a
// set of characters with Arial's own, in font units of a 2048-unit em.
FontMetricsCheck checkArialMetrics(const QString &family = QStringLiteral("Arial"));

} // namespace tessary
