#pragma once

// The elements of a card side. Each has a kind, a box in card millimetres
// and its own properties; it lays itself out for a member (answering what
// is drawn where) and paints what it laid out. Kinds are registered in one
// table (elementKinds()): a new kind is one class here plus one line there.

#include "cardmodel/distance.h"
#include "cardmodel/record.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QJsonObject>
#include <QLineF>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QPainter;

namespace tessary {

class CardElement;
class CardProblems;
struct BarcodeSymbol;

// The font of a text element.
struct CardFont
{
    QString family = QStringLiteral("Arial");
    double pointSize = 10;
    QColor color = Qt::black;
    bool bold = false;
    bool italic = false;
    bool underline = false;

    // Unhinted, so widths scale exactly with the resolution.
    QFont toQFont() const;
    bool operator==(const CardFont &) const = default;
};

// The size (mm) of `text` on one line in `font`, measured at 1200 dpi.
QSizeF measureCardText(const CardFont &font, const QString &text);
// A length in millimetres rounded to whole hundredths, as boxes are placed.
double roundToHundredths(double mm);

// One thing drawn on a page, in page millimetres.
struct CardItem
{
    enum class Kind { Text, Image, Line, Barcode };
    Kind kind = Kind::Text;
    QString element; // the element's id
    int card = -1;   // the card's index on its page
    QRectF box;      // text box, picture box, or a line's element box
    QLineF line;     // lines
    QString text;
    CardFont font;
    bool clip = true; // texts: cut at the box's edges
    QImage picture;   // images, when read
    QColor pen = Qt::black;
    double penWidth = 0.2; // mm
    std::shared_ptr<const BarcodeSymbol> barcode; // barcodes: the symbol, in `box`
    const CardElement *source = nullptr;
};

// What an element lays itself out with.
struct ElementContext
{
    const MemberRecord &record;
    QPointF origin;          // the card's top-left corner on the page, mm
    int card = 0;
    bool pictures = false;   // read pictures (painting) or not (laying out)
    const std::function<QImage(const QByteArray &)> *decodePhoto = nullptr;
    QLocale locale = QLocale::system();
    int recordIndex = -1;            // the member's index in the run
    CardProblems *problems = nullptr; // collects what could not be printed as designed
};

class CardElement
{
public:
    virtual ~CardElement() = default;

    virtual QString kind() const = 0;
    virtual std::unique_ptr<CardElement> clone() const = 0;
    // Appends what it draws for ctx.record (nothing when disabled).
    virtual void layOut(const ElementContext &ctx, std::vector<CardItem> &out) const = 0;
    // Paints one of its items at `dotsPerMm`.
    virtual void paint(const CardItem &item, QPainter &painter, double dotsPerMmX, double dotsPerMmY) const = 0;
    // Its own properties; reading notes what it could not take in `problems`
    // and answers false when the element cannot be used at all.
    virtual bool readProperties(const QJsonObject &json, QStringList &problems) = 0;
    virtual void writeProperties(QJsonObject &json) const = 0;

    QString id;
    MmBox box;
    bool enabled = true;

protected:
    CardItem itemAt(const ElementContext &ctx, CardItem::Kind kind) const;
};

// Texts: one line from the box's left edge, cut at the box's edges, or (auto
// size) as wide as the text.
class TextElement : public CardElement
{
public:
    CardFont font;
    bool autoSize = false;

    void paint(const CardItem &item, QPainter &painter, double sx, double sy) const override;
    bool readProperties(const QJsonObject &json, QStringList &problems) override;
    void writeProperties(QJsonObject &json) const override;

protected:
    void layOutText(const ElementContext &ctx, const QString &text, std::vector<CardItem> &out) const;
};

// A fixed caption.
class CaptionText : public TextElement
{
public:
    static constexpr const char *kKind = "caption";
    QString text;

    QString kind() const override { return QLatin1String(kKind); }
    std::unique_ptr<CardElement> clone() const override { return std::make_unique<CaptionText>(*this); }
    void layOut(const ElementContext &ctx, std::vector<CardItem> &out) const override;
    bool readProperties(const QJsonObject &json, QStringList &problems) override;
    void writeProperties(QJsonObject &json) const override;
};

// A member field's text; `dateForm` prints a date as "d/MMM, yyyy".
class DataText : public TextElement
{
public:
    static constexpr const char *kKind = "data";
    QString field;
    bool dateForm = false;

    QString kind() const override { return QLatin1String(kKind); }
    std::unique_ptr<CardElement> clone() const override { return std::make_unique<DataText>(*this); }
    void layOut(const ElementContext &ctx, std::vector<CardItem> &out) const override;
    bool readProperties(const QJsonObject &json, QStringList &problems) override;
    void writeProperties(QJsonObject &json) const override;
};

// Pictures stretched to their box (aspect ratio not kept).
class ImageElement : public CardElement
{
public:
    void paint(const CardItem &item, QPainter &painter, double sx, double sy) const override;
};

// The member's photo.
class PhotoElement : public ImageElement
{
public:
    static constexpr const char *kKind = "photo";

    QString kind() const override { return QLatin1String(kKind); }
    std::unique_ptr<CardElement> clone() const override { return std::make_unique<PhotoElement>(*this); }
    void layOut(const ElementContext &ctx, std::vector<CardItem> &out) const override;
    bool readProperties(const QJsonObject &, QStringList &) override { return true; }
    void writeProperties(QJsonObject &) const override {}
};

// A fixed picture: the card's background. An empty picture prints nothing.
class PictureElement : public ImageElement
{
public:
    static constexpr const char *kKind = "picture";
    QImage image;

    QString kind() const override { return QLatin1String(kKind); }
    std::unique_ptr<CardElement> clone() const override { return std::make_unique<PictureElement>(*this); }
    void layOut(const ElementContext &ctx, std::vector<CardItem> &out) const override;
    bool readProperties(const QJsonObject &json, QStringList &problems) override;
    void writeProperties(QJsonObject &json) const override;
};

// A horizontal line across the box at half its height.
class LineElement : public CardElement
{
public:
    static constexpr const char *kKind = "line";
    QColor color = Qt::black;
    double penWidth = 0.2; // mm

    QString kind() const override { return QLatin1String(kKind); }
    std::unique_ptr<CardElement> clone() const override { return std::make_unique<LineElement>(*this); }
    void layOut(const ElementContext &ctx, std::vector<CardItem> &out) const override;
    void paint(const CardItem &item, QPainter &painter, double sx, double sy) const override;
    bool readProperties(const QJsonObject &json, QStringList &problems) override;
    void writeProperties(QJsonObject &json) const override;
};

// One registered kind: its id, how to make one, and how to read and write
// its properties.
struct CardElementKind
{
    QString id;
    std::function<std::unique_ptr<CardElement>()> create;
    std::function<bool(CardElement &, const QJsonObject &, QStringList &)> read;
    std::function<void(const CardElement &, QJsonObject &)> write;
};

// The table of kinds.
const std::vector<CardElementKind> &elementKinds();
const CardElementKind *findElementKind(const QString &id);

} // namespace tessary
