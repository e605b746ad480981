#include "layoutsettings.h"

#include "card/designstore.h"
#include "data/datasrc.h"

#include "data/connection.h"
#include "data/query.h"
#include "photo/picture.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessary {

namespace {

// a * b / c rounded to the nearest integer, halves away from zero. The
// operands are small or their product shrinks: the result fits an int.
qint64 mulDiv(qint64 a, qint64 b, qint64 c)
{
    const qint64 p = a * b;
    const qint64 half = c / 2;
    return p >= 0 ? (p + half) / c : (p - half) / c;
}

QString rowColumn(int row)
{
    return QStringLiteral("f%1").arg(row + 1);
}

// A stored position in whole millimetres: truncated toward zero, then kept
// inside the card.
int positionFromStored(double stored)
{
    if (!std::isfinite(stored))
        return stored > 0 ? kPositionMax : kPositionMin;
    const double t = std::trunc(stored);
    return int(std::clamp(t, double(kPositionMin), double(kPositionMax)));
}

} // namespace

int fontPointsFromHeight(int height)
{
    // In 64 bits: the magnitude of INT_MIN is no int. At most 2^31 * 72 / 120.
    const qint64 pixels = height < 0 ? -qint64(height) : qint64(height);
    return int(mulDiv(pixels, 72, kFontPixelsPerInch));
}

int fontHeightFromPoints(int points)
{
    const qint64 pixels = mulDiv(points < 0 ? -qint64(points) : qint64(points), kFontPixelsPerInch, 72);
    return -int(std::min<qint64>(pixels, std::numeric_limits<int>::max()));
}

int sampleFontPoints(int height)
{
    return std::clamp(fontPointsFromHeight(height), kSampleFontMinPoints, kSampleFontMaxPoints);
}

int sampleFontHeight(int height)
{
    const int points = fontPointsFromHeight(height);
    return points == sampleFontPoints(height) ? height : fontHeightFromPoints(sampleFontPoints(height));
}

QStringList layoutParamSql()
{
    return {QStringLiteral("select * from param")};
}

QStringList layoutFieldsSql()
{
    return {QStringLiteral("select * from fields")};
}

QVector<ColumnDecl> layoutParamColumns()
{
    return paramColumns();
}

QVector<ColumnDecl> layoutFieldsColumns()
{
    return fieldsColumns();
}

CardStyle cardStyleFromStored(int stored)
{
    switch (stored) {
    case 1:
        return CardStyle::Style2;
    case 2:
        return CardStyle::Style3;
    default:
        return CardStyle::Style1;
    }
}

// ---------------------------------------------------------------------------

const CatalogueEntry *LayoutSettings::entryBySeq(int seq) const
{
    for (const CatalogueEntry &e : catalogue)
        if (e.seq == seq)
            return &e;
    return nullptr;
}

const CatalogueEntry *LayoutSettings::entryAt(int position) const
{
    // As the front's rows: the list's positions are the catalogue's numbers.
    return position >= 1 ? entryBySeq(position) : nullptr;
}

const CatalogueEntry *LayoutSettings::backRowEntry(int row) const
{
    return row >= 0 && row < kCardRows ? entryAt(back.rowField[size_t(row)]) : nullptr;
}

std::vector<std::pair<QString, QString>> LayoutSettings::barcodeFields() const
{
    std::vector<std::pair<QString, QString>> list{{QStringLiteral("staffno"), QStringLiteral("Staff Number")},
                                                  {QStringLiteral("cardno"), QStringLiteral("Card Number")},
                                                  {QStringLiteral("name"), QStringLiteral("Name")}};
    for (const CatalogueEntry &e : catalogue) {
        const bool listed = std::any_of(list.begin(), list.end(), [&](const auto &f) {
            return f.first.compare(e.fname, Qt::CaseInsensitive) == 0;
        });
        if (!listed && !e.fname.isEmpty())
            list.emplace_back(e.fname, e.dname.isEmpty() ? e.fname : e.dname);
    }
    return list;
}

BarcodeElement defaultBarcode(CardFace face, CardStyle style)
{
    BarcodeElement b;
    b.id = face == CardFace::Front ? QStringLiteral("barcodeFront") : QStringLiteral("barcodeBack");
    b.enabled = false;
    b.symbology = Symbology::QrCode;
    b.field = QStringLiteral("staffno");
    const bool upright = style == CardStyle::Style3;
    // The front's free strip along the top; on the back, beside the rows
    // (landscape) or above them (portrait).
    const QRectF box = face == CardFace::Front ? (upright ? QRectF(2, 2, 52, 14) : QRectF(50, 1, 36, 13))
                                               : (upright ? QRectF(13, 8, 30, 30) : QRectF(61, 16, 24, 30));
    b.box = MmBox::fromRectF(box);
    return b;
}

const CatalogueEntry *LayoutSettings::rowEntry(int row) const
{
    if (row < 0 || row >= kCardRows || rowField[size_t(row)] < 1)
        return nullptr;
    return entryBySeq(rowField[size_t(row)]);
}

QFont LayoutSettings::sampleFont() const
{
    QFont font(sample.fontName);
    font.setPointSize(sampleFontPoints(sample.fontHeight));
    font.setBold(sample.fontStyle & LabelAppearance::Bold);
    font.setItalic(sample.fontStyle & LabelAppearance::Italic);
    font.setUnderline(sample.fontStyle & LabelAppearance::Underline);
    font.setStrikeOut(sample.fontStyle & LabelAppearance::StrikeOut);
    return font;
}

QColor LayoutSettings::sampleColor() const
{
    const quint32 c = sample.fontColor;
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

void LayoutSettings::setSampleFont(const QFont &font, const QColor &color)
{
    int points = font.pointSize();
    if (points <= 0)
        points = font.pixelSize() > 0 ? int(mulDiv(font.pixelSize(), 72, 96)) : 10;
    sample.fontName = font.family();
    sample.fontHeight = fontHeightFromPoints(std::clamp(points, kSampleFontMinPoints, kSampleFontMaxPoints));
    int style = 0;
    if (font.bold())
        style |= LabelAppearance::Bold;
    if (font.italic())
        style |= LabelAppearance::Italic;
    if (font.underline())
        style |= LabelAppearance::Underline;
    if (font.strikeOut())
        style |= LabelAppearance::StrikeOut;
    sample.fontStyle = style;
    sample.fontColor = quint32(color.red()) | (quint32(color.green()) << 8) | (quint32(color.blue()) << 16);
}

void LayoutSettings::setBackground(const QImage &picture)
{
    background = picture;
    backgroundEdited = true;
}

// ---------------------------------------------------------------------------

void reloadFieldLists(Query &param, Query &fields, LayoutSettings &settings)
{
    // The catalogue and the list every row offers.
    QVector<CatalogueEntry> catalogue;
    QStringList list{kNotUsed};
    for (fields.first(); !fields.eof(); fields.next()) {
        CatalogueEntry e;
        e.seq = fields.fieldByName(QStringLiteral("seq")).asInteger();
        e.fname = fields.fieldByName(QStringLiteral("fname")).text();
        e.dname = fields.fieldByName(QStringLiteral("dname")).text();
        e.uname = fields.fieldByName(QStringLiteral("uname")).text();
        catalogue.append(e);
    }
    // The catalogue's stored order is its numbering; a server returns rows
    // in no set order (an edited row moves), so they are put in it here.
    std::stable_sort(catalogue.begin(), catalogue.end(),
                     [](const CatalogueEntry &a, const CatalogueEntry &b) { return a.seq < b.seq; });
    for (const CatalogueEntry &e : catalogue)
        list.append(e.dname);
    settings.catalogue = catalogue;
    settings.fieldList = list;

    // Each row selects the entry at its stored position; a position the list
    // does not have selects nothing.
    std::array<int, kCardRows> stored{};
    for (int i = 0; i < kCardRows; ++i) {
        stored[size_t(i)] = param.fieldByName(rowColumn(i)).asInteger();
        const int v = stored[size_t(i)];
        settings.rowField[size_t(i)] = (v >= 0 && v < list.size()) ? v : -1;
    }

    const int storedPaper = param.fieldByName(QStringLiteral("psize")).asInteger();
    settings.paper = std::clamp(storedPaper, kPaperMin, kPaperMax);
    // A document that cannot be used is said when cards are printed.
    settings.idCard = storedCardPaper(*param.connection(), storedPaper) == CardPaper::Id1;
    settings.alignment = std::clamp(param.fieldByName(QStringLiteral("palign")).asInteger(), kAlignMin, kAlignMax);
    settings.offsetX = std::clamp(param.fieldByName(QStringLiteral("osx")).asInteger(), kOffsetXMin, kOffsetXMax);
    settings.offsetY = std::clamp(param.fieldByName(QStringLiteral("osy")).asInteger(), kOffsetYMin, kOffsetYMax);

    // The caption belongs to the catalogue row the stored number names; a
    // number naming no row leaves the caption empty.
    for (int i = 0; i < kCardRows; ++i) {
        const CatalogueEntry *e = stored[size_t(i)] >= 1 ? settings.entryBySeq(stored[size_t(i)]) : nullptr;
        settings.rowCaption[size_t(i)] = e ? e->uname : QString();
    }
}

void loadLayoutSettings(Query &param, Query &fields, LayoutSettings &settings)
{
    if (!fields.isOpen())
        fields.open();
    if (!param.isOpen())
        param.open();
    param.first();

    reloadFieldLists(param, fields, settings);

    settings.background = LoadPictureFromBlob(param.fieldByName(QStringLiteral("bitmap")).asBytes());
    settings.printBackground = param.fieldByName(QStringLiteral("printback")).asBoolean();
    settings.style = cardStyleFromStored(param.fieldByName(QStringLiteral("style")).asInteger());
    settings.custom = param.fieldByName(QStringLiteral("custom")).asBoolean();
    settings.lines = param.fieldByName(QStringLiteral("lines")).asBoolean();
    settings.captions = param.fieldByName(QStringLiteral("captions")).asBoolean();
    settings.position = positionFromStored(param.fieldByName(QStringLiteral("position")).asFloat());
    LoadComponentFromBlob(param.fieldByName(QStringLiteral("font")), settings.sample);
    // The stored height becomes a size the font dialog offers.
    settings.sample.fontHeight = sampleFontHeight(settings.sample.fontHeight);
    // The back and the barcodes; a document that cannot be used is said
    // when cards are printed, and they keep their initial states.
    loadLayoutDocument(*param.connection(), settings, &settings.documentProblem);
}

namespace {

// Step 1 of saving: every setting of the `param` row but the row fields.
void writeParamRow(Query &param, const LayoutSettings &settings)
{
    param.first();
    if (param.isEmpty())
        param.append();
    else
        param.edit();
    param.fieldByName(QStringLiteral("psize")).setInteger(std::clamp(settings.paper, kPaperMin, kPaperMax));
    param.fieldByName(QStringLiteral("palign")).setInteger(std::clamp(settings.alignment, kAlignMin, kAlignMax));
    param.fieldByName(QStringLiteral("osx")).setInteger(std::clamp(settings.offsetX, kOffsetXMin, kOffsetXMax));
    param.fieldByName(QStringLiteral("osy")).setInteger(std::clamp(settings.offsetY, kOffsetYMin, kOffsetYMax));
    param.fieldByName(QStringLiteral("printback")).setBoolean(settings.printBackground);
    param.fieldByName(QStringLiteral("lines")).setBoolean(settings.lines);
    param.fieldByName(QStringLiteral("captions")).setBoolean(settings.captions);
    param.fieldByName(QStringLiteral("custom")).setBoolean(settings.custom);
    param.fieldByName(QStringLiteral("position"))
        .setFloat(std::clamp(settings.position, kPositionMin, kPositionMax));
    SaveComponentToBlob(param.fieldByName(QStringLiteral("font")), settings.sample);
    param.fieldByName(QStringLiteral("style")).setInteger(int(settings.style));
    // Re-encoding loses a little quality each time: an unchanged background
    // keeps its stored bytes.
    if (settings.backgroundEdited) {
        try {
            param.fieldByName(QStringLiteral("bitmap")).setBytes(SavePictureToBlob(settings.background));
        } catch (...) {
            // The background is best effort: the other settings still save.
        }
    }
    param.post();
}

} // namespace

void saveLayoutSettings(Query &param, Query &fields, LayoutSettings &settings)
{
    Transaction transaction(*param.connection());
    std::array<QString, kCardRows> captions = settings.rowCaption;
    try {
        writeParamRow(param, settings);
        for (int i = 0; i < kCardRows; ++i) {
            const int n = settings.rowField[size_t(i)] >= 0 ? settings.rowField[size_t(i)] : -1;
            param.edit();
            param.fieldByName(rowColumn(i)).setInteger(n);
            param.post();
            if (n < 1 || !fields.locate(QStringLiteral("seq"), n))
                continue;
            fields.edit();
            QString &caption = captions[size_t(i)];
            if (caption.isEmpty())
                caption = fields.fieldByName(QStringLiteral("dname")).text();
            fields.fieldByName(QStringLiteral("uname")).setString(caption);
            fields.post();
        }
        // The back's rows, as the front's: a used row's empty caption is its
        // field's display name.
        std::array<QString, kCardRows> backCaptions = settings.back.rowCaption;
        for (int i = 0; i < kCardRows; ++i)
            if (const CatalogueEntry *e = settings.backRowEntry(i); e && backCaptions[size_t(i)].isEmpty())
                backCaptions[size_t(i)] = e->dname;
        LayoutSettings stored = settings;
        stored.back.rowCaption = backCaptions;
        const int storedPaper = std::clamp(settings.paper, kPaperMin, kPaperMax);
        saveLayoutDocument(*param.connection(), stored, storedPaper);
        transaction.commit();
        settings.back.rowCaption = backCaptions;
    } catch (...) {
        // A row left in edit would be posted, outside the transaction, when
        // the roll back reads the queries again.
        param.cancel();
        fields.cancel();
        throw;
    }
    settings.rowCaption = captions;
    settings.backgroundEdited = false;
    settings.back.backgroundEdited = false;

    reloadFieldLists(param, fields, settings);
}

} // namespace tessary
