#pragma once

// Barcodes and QR codes: symbols encoded by libzint once, held as filled
// rectangles in module units, and the card element that prints a member
// field as one at an exact module width.

#include "cardmodel/elements.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>
#include <vector>

class QPainter;

namespace tessary {

// The symbologies cards print; the values are libzint's ids.
enum class Symbology { Code128 = 20, Pdf417 = 55, QrCode = 58, DataMatrix = 71 };

const std::vector<Symbology> &symbologies();
// The name stored in designs ("code128", "qrcode", "pdf417", "datamatrix").
QString symbologyName(Symbology symbology);
// The caption shown to the operator ("Code 128", "QR Code", ...).
QString symbologyTitle(Symbology symbology);
std::optional<Symbology> symbologyFromName(const QString &name);
bool isTwoDimensional(Symbology symbology);

// A text libzint places under a symbol (Code 128's human-readable text), in
// module units: `at` is the baseline point, `align` says whether it is the
// text's centre (0), left end (1) or right end (2).
struct BarcodeText
{
    QPointF at;
    double size = 0; // the font's em height
    int align = 0;
    QString text;
};

// An encoded symbol in module units, quiet zones included. `error` holds
// libzint's reason when nothing could be encoded; `warning` what it noted
// about a symbol it encoded.
struct BarcodeSymbol
{
    QString error;
    QString warning;
    QSizeF size;
    std::vector<QRectF> bars;
    std::vector<BarcodeText> texts;

    bool ok() const { return error.isEmpty(); }
};

// Encodes `value` (any Unicode text; sent to libzint as UTF-8). `barHeight`
// (modules) sets a Code 128's bar height, 0 keeps libzint's; the
// human-readable text is shown for Code 128 only.
BarcodeSymbol encodeBarcode(Symbology symbology, const QString &value, bool humanReadable = false,
                            double barHeight = 0);

// Paints `symbol` in solid black on white (quiet zones included) without
// antialiasing, its top-left corner at `topLeftMm`, one module `moduleMm`
// wide, at `dotsPerMmX/Y`.
void paintBarcode(const BarcodeSymbol &symbol, QPainter &painter, QPointF topLeftMm, double moduleMm,
                  double dotsPerMmX, double dotsPerMmY);

// A member field as a barcode, centred in its box at exactly `moduleWidth`
// mm a module. A Code 128's bars fill the box's height (less the text); a
// symbol larger than its box is printed at its size and reported; a value
// that cannot be encoded prints nothing and is reported with libzint's
// reason (ElementContext::problems).
class BarcodeElement : public CardElement
{
public:
    static constexpr const char *kKind = "barcode";
    static constexpr double kDefaultModuleWidth = 0.33; // mm
    static constexpr double kMinModuleWidth = 0.05;
    static constexpr double kMaxModuleWidth = 5;
    // The shortest bars a Code 128 gets when its box is too low for more.
    static constexpr double kMinBarModules = 10;

    Symbology symbology = Symbology::Code128;
    QString field;
    double moduleWidth = kDefaultModuleWidth;
    bool humanReadable = true; // Code 128 only

    QString kind() const override { return QLatin1String(kKind); }
    std::unique_ptr<CardElement> clone() const override { return std::make_unique<BarcodeElement>(*this); }
    void layOut(const ElementContext &ctx, std::vector<CardItem> &out) const override;
    void paint(const CardItem &item, QPainter &painter, double sx, double sy) const override;
    bool readProperties(const QJsonObject &json, QStringList &problems) override;
    void writeProperties(QJsonObject &json) const override;

    // The bar height (modules) a Code 128 is encoded with for this box.
    double barModules() const;
};

} // namespace tessary
