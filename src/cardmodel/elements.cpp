#include "cardmodel/elements.h"

#include "cardmodel/barcode.h"
#include "cardmodel/carddate.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace tessary {

namespace {

constexpr double kMeasuringDpi = 1200;

const QImage &measuringDevice()
{
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.setDotsPerMeterX(qRound(kMeasuringDpi / 0.0254));
        image.setDotsPerMeterY(qRound(kMeasuringDpi / 0.0254));
        return image;
    }();
    return device;
}

QString oneLine(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

QJsonObject fontToJson(const CardFont &f)
{
    return QJsonObject{{QStringLiteral("family"), f.family},       {QStringLiteral("size"), f.pointSize},
                       {QStringLiteral("color"), f.color.name()},  {QStringLiteral("bold"), f.bold},
                       {QStringLiteral("italic"), f.italic},       {QStringLiteral("underline"), f.underline}};
}

CardFont fontFromJson(const QJsonObject &json)
{
    CardFont f;
    f.family = json.value(QStringLiteral("family")).toString(f.family);
    f.pointSize = json.value(QStringLiteral("size")).toDouble(f.pointSize);
    if (!(f.pointSize > 0 && f.pointSize <= 500))
        f.pointSize = 10;
    const QColor c = QColor::fromString(json.value(QStringLiteral("color")).toString());
    if (c.isValid())
        f.color = c;
    f.bold = json.value(QStringLiteral("bold")).toBool();
    f.italic = json.value(QStringLiteral("italic")).toBool();
    f.underline = json.value(QStringLiteral("underline")).toBool();
    return f;
}

template <class T>
CardElementKind kindOf()
{
    return CardElementKind{
        QLatin1String(T::kKind), [] { return std::make_unique<T>(); },
        [](CardElement &e, const QJsonObject &json, QStringList &problems) {
            return static_cast<T &>(e).readProperties(json, problems);
        },
        [](const CardElement &e, QJsonObject &json) { static_cast<const T &>(e).writeProperties(json); }};
}

} // namespace

QFont CardFont::toQFont() const
{
    QFont font(family);
    font.setPointSizeF(pointSize > 0 ? pointSize : 1);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QSizeF measureCardText(const CardFont &font, const QString &text)
{
    const QFontMetricsF metrics(font.toQFont(), &measuringDevice());
    const double perMm = Distance::pixelsPerMm(kMeasuringDpi);
    return QSizeF(metrics.horizontalAdvance(oneLine(text)) / perMm, metrics.height() / perMm);
}

double roundToHundredths(double mm) { return double(qRound64(mm * 100.0)) / 100.0; }

CardItem CardElement::itemAt(const ElementContext &ctx, CardItem::Kind kind) const
{
    CardItem item;
    item.kind = kind;
    item.element = id;
    item.card = ctx.card;
    item.source = this;
    const QRectF b = box.toRectF();
    item.box = QRectF(roundToHundredths(ctx.origin.x() + b.left()), roundToHundredths(ctx.origin.y() + b.top()),
                      roundToHundredths(b.width()), roundToHundredths(b.height()));
    return item;
}

// ---------------------------------------------------------------------------

void TextElement::layOutText(const ElementContext &ctx, const QString &text, std::vector<CardItem> &out) const
{
    CardItem item = itemAt(ctx, CardItem::Kind::Text);
    item.text = oneLine(text);
    item.font = font;
    if (item.text.isEmpty())
        return; // nothing to print
    if (autoSize) {
        const QSizeF size = measureCardText(font, item.text);
        item.box.setSize(QSizeF(roundToHundredths(size.width()), roundToHundredths(size.height())));
        item.clip = false;
    }
    out.push_back(std::move(item));
}

void TextElement::paint(const CardItem &item, QPainter &painter, double sx, double sy) const
{
    const QRectF b(item.box.left() * sx, item.box.top() * sy, item.box.width() * sx, item.box.height() * sy);
    painter.setFont(item.font.toQFont());
    painter.setPen(item.font.color);
    int flags = Qt::AlignTop | Qt::TextSingleLine | Qt::AlignLeft;
    if (!item.clip)
        flags |= Qt::TextDontClip;
    painter.drawText(b, flags, item.text);
}

bool TextElement::readProperties(const QJsonObject &json, QStringList &)
{
    font = fontFromJson(json.value(QStringLiteral("font")).toObject());
    autoSize = json.value(QStringLiteral("autoSize")).toBool();
    return true;
}

void TextElement::writeProperties(QJsonObject &json) const
{
    json.insert(QStringLiteral("font"), fontToJson(font));
    json.insert(QStringLiteral("autoSize"), autoSize);
}

void CaptionText::layOut(const ElementContext &ctx, std::vector<CardItem> &out) const
{
    if (enabled)
        layOutText(ctx, text, out);
}

bool CaptionText::readProperties(const QJsonObject &json, QStringList &problems)
{
    text = json.value(QStringLiteral("text")).toString();
    return TextElement::readProperties(json, problems);
}

void CaptionText::writeProperties(QJsonObject &json) const
{
    TextElement::writeProperties(json);
    json.insert(QStringLiteral("text"), text);
}

void DataText::layOut(const ElementContext &ctx, std::vector<CardItem> &out) const
{
    if (!enabled || field.isEmpty())
        return;
    QString text = ctx.record.text(field);
    if (dateForm)
        formatCardDateText(text, ctx.record.value(field), ctx.locale);
    layOutText(ctx, text, out);
}

bool DataText::readProperties(const QJsonObject &json, QStringList &problems)
{
    field = json.value(QStringLiteral("field")).toString();
    dateForm = json.value(QStringLiteral("dateForm")).toBool();
    if (field.isEmpty()) {
        problems << QStringLiteral("no field");
        return false;
    }
    return TextElement::readProperties(json, problems);
}

void DataText::writeProperties(QJsonObject &json) const
{
    TextElement::writeProperties(json);
    json.insert(QStringLiteral("field"), field);
    json.insert(QStringLiteral("dateForm"), dateForm);
}

// ---------------------------------------------------------------------------

void ImageElement::paint(const CardItem &item, QPainter &painter, double sx, double sy) const
{
    if (item.picture.isNull())
        return;
    const QRectF b(item.box.left() * sx, item.box.top() * sy, item.box.width() * sx, item.box.height() * sy);
    painter.drawImage(b, item.picture);
}

void PhotoElement::layOut(const ElementContext &ctx, std::vector<CardItem> &out) const
{
    if (!enabled)
        return;
    CardItem item = itemAt(ctx, CardItem::Kind::Image);
    if (ctx.pictures && ctx.decodePhoto && *ctx.decodePhoto)
        item.picture = (*ctx.decodePhoto)(ctx.record.photo);
    out.push_back(std::move(item));
}

void PictureElement::layOut(const ElementContext &ctx, std::vector<CardItem> &out) const
{
    if (!enabled)
        return;
    CardItem item = itemAt(ctx, CardItem::Kind::Image);
    if (ctx.pictures)
        item.picture = image;
    out.push_back(std::move(item));
}

bool PictureElement::readProperties(const QJsonObject &json, QStringList &problems)
{
    const QByteArray bytes = QByteArray::fromBase64(json.value(QStringLiteral("png")).toString().toLatin1());
    image = QImage();
    if (!bytes.isEmpty() && !image.loadFromData(bytes, "PNG"))
        problems << QStringLiteral("picture unreadable");
    return true;
}

void PictureElement::writeProperties(QJsonObject &json) const
{
    QByteArray bytes;
    if (!image.isNull()) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    json.insert(QStringLiteral("png"), QString::fromLatin1(bytes.toBase64()));
}

// ---------------------------------------------------------------------------

void LineElement::layOut(const ElementContext &ctx, std::vector<CardItem> &out) const
{
    if (!enabled)
        return;
    CardItem item = itemAt(ctx, CardItem::Kind::Line);
    const double y = roundToHundredths(item.box.top() + item.box.height() / 2);
    item.line = QLineF(item.box.left(), y, item.box.right(), y);
    item.pen = color;
    item.penWidth = penWidth;
    out.push_back(std::move(item));
}

void LineElement::paint(const CardItem &item, QPainter &painter, double sx, double sy) const
{
    QPen pen(item.pen, std::max(item.penWidth * sy, 1.0), Qt::SolidLine, Qt::FlatCap);
    painter.setPen(pen);
    painter.drawLine(QPointF(item.line.x1() * sx, item.line.y1() * sy), QPointF(item.line.x2() * sx, item.line.y2() * sy));
}

bool LineElement::readProperties(const QJsonObject &json, QStringList &)
{
    const QColor c = QColor::fromString(json.value(QStringLiteral("color")).toString());
    color = c.isValid() ? c : QColor(Qt::black);
    penWidth = json.value(QStringLiteral("penWidth")).toDouble(0.2);
    if (!(penWidth > 0 && penWidth < 10))
        penWidth = 0.2;
    return true;
}

void LineElement::writeProperties(QJsonObject &json) const
{
    json.insert(QStringLiteral("color"), color.name());
    json.insert(QStringLiteral("penWidth"), penWidth);
}

// ---------------------------------------------------------------------------

const std::vector<CardElementKind> &elementKinds()
{
    static const std::vector<CardElementKind> kinds = {
        kindOf<CaptionText>(),
        kindOf<DataText>(),
        kindOf<PhotoElement>(),
        kindOf<PictureElement>(),
        kindOf<LineElement>(),
        kindOf<BarcodeElement>(),
    };
    return kinds;
}

const CardElementKind *findElementKind(const QString &id)
{
    for (const CardElementKind &k : elementKinds())
        if (k.id == id)
            return &k;
    return nullptr;
}

} // namespace tessary
