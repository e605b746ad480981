#pragma once

#include "cardmodel/barcode.h"
#include "data/records.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>

namespace tessary {

class Query;

// Number of text rows on a card.
inline constexpr int kCardRows = 7;

// The caption of the first entry of every row's field list.
inline const QString kNotUsed = QStringLiteral("NOT USED");

// Ranges the stored values are brought into when loaded.
inline constexpr int kPaperMin = -1, kPaperMax = 1;
inline constexpr int kAlignMin = -1, kAlignMax = 2;
inline constexpr int kPositionMin = 0, kPositionMax = 86;
inline constexpr int kOffsetXMin = -20, kOffsetXMax = 20;
inline constexpr int kOffsetYMin = -30, kOffsetYMax = 30;

// The resolution at which the stored font's pixel height is read and
// written. Fixed, so that a stored font prints at the same size everywhere,
// whatever the screen of the machine that saved it.
inline constexpr int kFontPixelsPerInch = 120;

// The point sizes the layout's font dialog offers for the sample font.
inline constexpr int kSampleFontMinPoints = 8, kSampleFontMaxPoints = 18;

// Point size of a stored (negative) pixel height, rounded: -17 gives 10.
// Defined for every int, INT_MIN included.
int fontPointsFromHeight(int height);
// The stored pixel height of a point size: 10 gives -17.
int fontHeightFromPoints(int points);
// A stored height as the sample font's point size, held within the sizes
// the font dialog offers: 0 gives 8, INT_MIN and INT_MAX give 18.
int sampleFontPoints(int height);
// A stored height kept as it is when its point size is one the font dialog
// offers, else the height of the nearest offered size.
int sampleFontHeight(int height);
// The two statements the layout reads and writes.
QStringList layoutParamSql();   // "select * from param"
QStringList layoutFieldsSql();  // "select * from fields"
QVector<ColumnDecl> layoutParamColumns();
QVector<ColumnDecl> layoutFieldsColumns();

// Card styles as stored in `param.style`.
enum class CardStyle { Style1 = 0, Style2 = 1, Style3 = 2 };

// A stored style number as a style: 1 and 2 give styles 2 and 3, anything
// else style 1.
CardStyle cardStyleFromStored(int stored);

// One row of the field catalogue `fields`.
struct CatalogueEntry
{
    int seq = 0;
    QString fname; // the member query column the row prints
    QString dname; // the display name, also the default caption
    QString uname; // the caption chosen by the operator

    bool operator==(const CatalogueEntry &) const = default;
};

// Which side of the card the layout dialog shows.
enum class CardFace { Front = 0, Back = 1 };

// A barcode of one side: off by default, QR Code of the staff number at
// 0.33 mm a module in a box (mm on the card) that `defaultBarcode` places.
BarcodeElement defaultBarcode(CardFace face, CardStyle style);

// The back of the card: its own background, up to seven rows (field and
// caption, a line under each used row) and a barcode. Kept in the layout's
// design document; the front stays in `param`.
struct BackSettings
{
    // Per row, the position selected in the field list (0 "NOT USED", n >= 1
    // the n-th catalogue entry, -1 nothing selected) and its caption (the
    // back's own, not the catalogue's).
    std::array<int, kCardRows> rowField{0, 0, 0, 0, 0, 0, 0};
    std::array<QString, kCardRows> rowCaption;
    QImage background; // none: the back prints on white
    bool backgroundEdited = false;
    bool printBackground = true;
    BarcodeElement barcode = defaultBarcode(CardFace::Back, CardStyle::Style1);
};

// The card layout as a plain value: what the layout dialog edits and what
// composition reads. Defaults are the initial states that hold for anything
// not (yet) loaded.
struct LayoutSettings
{
    // The field catalogue in stored order, and the list every row offers:
    // "NOT USED" and then each entry's display name.
    QVector<CatalogueEntry> catalogue;
    QStringList fieldList;

    // Per card row (index 0 is row 1): the position selected in the row's
    // field list (0 "NOT USED", n >= 1 the n-th entry, -1 nothing selected)
    // and the caption printed beside it.
    std::array<int, kCardRows> rowField{-1, -1, -1, -1, -1, -1, -1};
    std::array<QString, kCardRows> rowCaption;

    QImage background;
    // True once the operator changed the background (loaded, cleared,
    // rotated, touched up) since it was loaded or saved: only then is it
    // encoded and written, so the stored bytes otherwise stay as they are.
    bool backgroundEdited = false;
    bool printBackground = true;
    CardStyle style = CardStyle::Style1;
    bool custom = false;
    bool lines = true;
    bool captions = true;
    int position = 0; // mm from the card's left edge, 0 ... 86
    LabelAppearance sample; // the sample text label; only its font is used
    int paper = 0;     // 0 A6, 1 A4, -1 nothing selected
    // The ID-1 card page is chosen (kept in the layout's design document;
    // `paper` keeps the sheet stored in `psize` for older readers).
    bool idCard = false;
    int alignment = 0; // carried from loading to saving only
    int offsetX = 0;   // tenths of a millimetre, -20 ... 20
    int offsetY = 0;   // tenths of a millimetre, -30 ... 30

    // "Print the back": off, the cards print exactly as the front alone.
    bool printBack = false;
    BackSettings back;
    // What of the layout's design document could not be used when it was
    // loaded (left at its initial state); empty when all of it was.
    QString documentProblem;
    BarcodeElement frontBarcode = defaultBarcode(CardFace::Front, CardStyle::Style1);

    // A face's barcode.
    BarcodeElement &barcode(CardFace face) { return face == CardFace::Front ? frontBarcode : back.barcode; }
    const BarcodeElement &barcode(CardFace face) const { return face == CardFace::Front ? frontBarcode : back.barcode; }
    // The catalogue entry at position `position` of the field list (the
    // entry numbered so, as for the front's rows); nullptr for 0, -1 or a
    // number the catalogue does not have.
    const CatalogueEntry *entryAt(int position) const;
    // The catalogue entry a back row shows, as rowEntry for the front.
    const CatalogueEntry *backRowEntry(int row) const;
    // The member fields a barcode may encode, as (column, display name): the
    // staff number, the card number and the name, then every catalogue
    // field not among them.
    std::vector<std::pair<QString, QString>> barcodeFields() const;

    // The catalogue entry a row shows; nullptr when the row is not used, has
    // nothing selected or names no catalogue row.
    const CatalogueEntry *rowEntry(int row) const;
    const CatalogueEntry *entryBySeq(int seq) const;

    // The sample font (face, point size, style) and colour.
    QFont sampleFont() const;
    QColor sampleColor() const;
    // Takes a font and colour chosen by the operator into the sample label.
    void setSampleFont(const QFont &font, const QColor &color);
    // Takes a background changed by the operator (marks it edited).
    void setBackground(const QImage &picture);
};

// Loads the stored layout into `settings`, step by step: both queries are
// opened if needed, then the field lists and row captions, the paper,
// alignment and offsets, the background, and the remaining options. Values
// out of range are brought to the nearest bound. A failing step throws and
// leaves whatever was loaded before it in `settings`.
void loadLayoutSettings(Query &param, Query &fields, LayoutSettings &settings);

// The second half of loading: field lists, row selections, paper, alignment,
// offsets and captions, from the current `param` row and the catalogue.
void reloadFieldLists(Query &param, Query &fields, LayoutSettings &settings);

// Writes `settings` into the first `param` row (a new row for an empty table)
// and the row captions into the catalogue, all in one transaction: a failure
// at any step leaves `param` and `fields` as they were (and `settings`
// unchanged). A cleared caption of a used row becomes its field's display
// name. Rows sharing a field share its caption: the higher row's is the one
// kept. The background is written only when edited. Ends by reloading the
// field lists. Failures to store the font or the background are ignored.
void saveLayoutSettings(Query &param, Query &fields, LayoutSettings &settings);

} // namespace tessary
