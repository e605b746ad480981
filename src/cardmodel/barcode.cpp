#include "cardmodel/barcode.h"

#include "cardmodel/problems.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <zint.h>

#include <algorithm>
#include <memory>

namespace tessary {

namespace {

// The room libzint 2.11 leaves under the bars for the human-readable text
// (vector output, modules).
constexpr double kTextModules = 9.45;
// Texts are shaped at this pixel size, then scaled to libzint's size.
constexpr int kShapingPixels = 100;

struct SymbologyInfo
{
    Symbology symbology;
    const char *name;
    const char *title;
};

constexpr SymbologyInfo kSymbologies[] = {
    {Symbology::Code128, "code128", "Code 128"},
    {Symbology::QrCode, "qrcode", "QR Code"},
    {Symbology::Pdf417, "pdf417", "PDF417"},
    {Symbology::DataMatrix, "datamatrix", "Data Matrix"},
};

const SymbologyInfo *infoOf(Symbology symbology)
{
    for (const SymbologyInfo &info : kSymbologies)
        if (info.symbology == symbology)
            return &info;
    return nullptr;
}

using ZintSymbol = std::unique_ptr<zint_symbol, decltype(&ZBarcode_Delete)>;

void readVector(const zint_vector &vector, BarcodeSymbol &out)
{
    out.size = QSizeF(vector.width, vector.height);
    for (const zint_vector_rect *r = vector.rectangles; r; r = r->next)
        if (r->colour == -1)
            out.bars.emplace_back(r->x, r->y, r->width, r->height);
    for (const zint_vector_string *s = vector.strings; s; s = s->next)
        out.texts.push_back(BarcodeText{QPointF(s->x, s->y), s->fsize, s->halign,
                                        QString::fromUtf8(reinterpret_cast<const char *>(s->text), s->length)});
}

void report(const ElementContext &ctx, const QString &element, const QString &reason)
{
    if (ctx.problems)
        ctx.problems->add(ctx.recordIndex, element, reason);
}

QString mm(double v) { return QString::number(v, 'f', 1); }

} // namespace

const std::vector<Symbology> &symbologies()
{
    static const std::vector<Symbology> all = {Symbology::Code128, Symbology::QrCode, Symbology::Pdf417,
                                               Symbology::DataMatrix};
    return all;
}

QString symbologyName(Symbology symbology)
{
    const SymbologyInfo *info = infoOf(symbology);
    return info ? QLatin1String(info->name) : QString();
}

QString symbologyTitle(Symbology symbology)
{
    const SymbologyInfo *info = infoOf(symbology);
    return info ? QLatin1String(info->title) : QString();
}

std::optional<Symbology> symbologyFromName(const QString &name)
{
    for (const SymbologyInfo &info : kSymbologies)
        if (name == QLatin1String(info.name))
            return info.symbology;
    return std::nullopt;
}

bool isTwoDimensional(Symbology symbology) { return symbology != Symbology::Code128; }

BarcodeSymbol encodeBarcode(Symbology symbology, const QString &value, bool humanReadable, double barHeight)
{
    BarcodeSymbol out;
    // libzint encodes a Code 128 for an id it does not know: refuse it first.
    if (!infoOf(symbology) || !ZBarcode_ValidID(int(symbology))) {
        out.error = QStringLiteral("Unknown symbology %1").arg(int(symbology));
        return out;
    }
    ZintSymbol symbol(ZBarcode_Create(), &ZBarcode_Delete);
    if (!symbol) {
        out.error = QStringLiteral("Out of memory");
        return out;
    }
    symbol->symbology = int(symbology);
    symbol->input_mode = UNICODE_MODE;
    symbol->output_options |= BARCODE_QUIET_ZONES;
    symbol->scale = 0.5f; // one vector unit is one module
    symbol->show_hrt = symbology == Symbology::Code128 && humanReadable ? 1 : 0;
    if (symbology == Symbology::DataMatrix)
        symbol->option_3 = DM_SQUARE;
    if (symbology == Symbology::Code128 && barHeight > 0)
        symbol->height = float(barHeight);
    const QByteArray data = value.toUtf8();
    int rc = ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char *>(data.constData()), int(data.size()));
    if (rc < ZINT_ERROR)
        rc = std::max(rc, ZBarcode_Buffer_Vector(symbol.get(), 0));
    const QString text = QString::fromLatin1(symbol->errtxt);
    if (rc >= ZINT_ERROR || !symbol->vector) {
        out.error = text.isEmpty() ? QStringLiteral("Error %1").arg(rc) : text;
        return out;
    }
    if (rc != 0)
        out.warning = text;
    readVector(*symbol->vector, out);
    return out;
}

void paintBarcode(const BarcodeSymbol &symbol, QPainter &painter, QPointF topLeftMm, double moduleMm, double sx,
                  double sy)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.translate(topLeftMm.x() * sx, topLeftMm.y() * sy);
    const double ux = moduleMm * sx;
    const double uy = moduleMm * sy;
    // The quiet zones are light whatever lies beneath.
    painter.fillRect(QRectF(0, 0, symbol.size.width() * ux, symbol.size.height() * uy), Qt::white);
    for (const QRectF &bar : symbol.bars)
        painter.fillRect(QRectF(bar.x() * ux, bar.y() * uy, bar.width() * ux, bar.height() * uy), Qt::black);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(kShapingPixels);
    font.setHintingPreference(QFont::PreferNoHinting);
    const QFontMetricsF metrics(font);
    for (const BarcodeText &t : symbol.texts) {
        const double advance = metrics.horizontalAdvance(t.text);
        const double shift = t.align == 1 ? 0 : t.align == 2 ? -advance : -advance / 2;
        QPainterPath path;
        path.addText(shift, 0, font, t.text);
        painter.save();
        painter.translate(t.at.x() * ux, t.at.y() * uy);
        painter.scale(t.size * ux / kShapingPixels, t.size * uy / kShapingPixels);
        painter.fillPath(path, Qt::black);
        painter.restore();
    }
    painter.restore();
}

// ---------------------------------------------------------------------------

double BarcodeElement::barModules() const
{
    const double room = box.height.toMm() / moduleWidth - (humanReadable ? kTextModules : 0);
    return std::max(room, kMinBarModules);
}

void BarcodeElement::layOut(const ElementContext &ctx, std::vector<CardItem> &out) const
{
    if (!enabled || field.isEmpty())
        return;
    const QString value = ctx.record.text(field);
    auto symbol = std::make_shared<const BarcodeSymbol>(encodeBarcode(symbology, value, humanReadable, barModules()));
    if (!symbol->ok()) {
        report(ctx, id, QStringLiteral("barcode left out: %1").arg(symbol->error));
        return;
    }
    CardItem item = itemAt(ctx, CardItem::Kind::Barcode);
    const QRectF cell = item.box;
    const QSizeF size = symbol->size * moduleWidth;
    // Held at its module width: centred in its box, never scaled to it.
    item.box = QRectF(cell.center() - QPointF(size.width() / 2, size.height() / 2), size);
    constexpr double kSlack = 0.005;
    if (size.width() > cell.width() + kSlack || size.height() > cell.height() + kSlack)
        report(ctx, id,
               QStringLiteral("barcode larger than its box: it needs %1 × %2 mm at a module of %3 mm, the box is "
                              "%4 × %5 mm")
                   .arg(mm(size.width()), mm(size.height()), QString::number(moduleWidth), mm(cell.width()),
                        mm(cell.height())));
    item.text = value;
    item.barcode = std::move(symbol);
    out.push_back(std::move(item));
}

void BarcodeElement::paint(const CardItem &item, QPainter &painter, double sx, double sy) const
{
    if (!item.barcode || item.barcode->size.isEmpty())
        return;
    paintBarcode(*item.barcode, painter, item.box.topLeft(), item.box.width() / item.barcode->size.width(), sx, sy);
}

bool BarcodeElement::readProperties(const QJsonObject &json, QStringList &problems)
{
    const QString name = json.value(QStringLiteral("symbology")).toString();
    const std::optional<Symbology> s = symbologyFromName(name);
    if (!s) {
        problems << QStringLiteral("unknown symbology \"%1\"").arg(name);
        return false;
    }
    symbology = *s;
    field = json.value(QStringLiteral("field")).toString();
    if (field.isEmpty()) {
        problems << QStringLiteral("no field");
        return false;
    }
    moduleWidth = json.value(QStringLiteral("moduleWidth")).toDouble(kDefaultModuleWidth);
    if (!(moduleWidth >= kMinModuleWidth && moduleWidth <= kMaxModuleWidth)) {
        problems << QStringLiteral("module width %1 mm out of range, %2 mm used")
                        .arg(moduleWidth)
                        .arg(kDefaultModuleWidth);
        moduleWidth = kDefaultModuleWidth;
    }
    humanReadable = json.value(QStringLiteral("humanReadable")).toBool(true);
    return true;
}

void BarcodeElement::writeProperties(QJsonObject &json) const
{
    json.insert(QStringLiteral("symbology"), symbologyName(symbology));
    json.insert(QStringLiteral("field"), field);
    json.insert(QStringLiteral("moduleWidth"), moduleWidth);
    json.insert(QStringLiteral("humanReadable"), humanReadable);
}

} // namespace tessary
