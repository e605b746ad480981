#pragma once

// Shared set-up of the card tests: a card database with members, an output
// that keeps the laid-out pages instead of printing them, and look-ups of
// the laid-out items by element name and card.

#include "../data/carddb.h"

#include "card/composition.h"
#include "card/layout.h"
#include "data/prompts.h"
#include "data/query.h"
#include "photo/picture.h"
#include "report/layout.h"

#include <QDate>
#include <QTest>

#include <functional>
#include <map>
#include <optional>

namespace cardtest {

using namespace tessary;

struct Member
{
    QString name{};
    int gid = 0;
    QString staffno{};
    QDate datejoin{};
    QDate expiry{};
    QByteArray photo{};
    QString post{};
    int cardno = 0;
};

inline void addMember(testing::CardDb &db, const Member &m)
{
    Query &q = db.ds->QAllStaff;
    if (!q.isOpen())
        q.open();
    q.append();
    q.fieldByName(QStringLiteral("name")).setString(m.name);
    q.fieldByName(QStringLiteral("gid")).setInteger(m.gid);
    q.fieldByName(QStringLiteral("cardno")).setInteger(m.cardno);
    if (!m.staffno.isEmpty())
        q.fieldByName(QStringLiteral("staffno")).setString(m.staffno);
    if (!m.post.isEmpty())
        q.fieldByName(QStringLiteral("post")).setString(m.post);
    if (m.datejoin.isValid())
        q.fieldByName(QStringLiteral("datejoin")).setDateTime(m.datejoin.startOfDay());
    if (m.expiry.isValid())
        q.fieldByName(QStringLiteral("expiry")).setDateTime(m.expiry.startOfDay());
    if (!m.photo.isEmpty())
        q.fieldByName(QStringLiteral("photo")).setBytes(m.photo);
    q.post();
}

// Members "M01", "M02", ... in group `gid`.
inline void addMembers(testing::CardDb &db, int count, int gid = 0)
{
    for (int i = 1; i <= count; ++i)
        addMember(db, {.name = QStringLiteral("M%1").arg(i, 2, 10, QLatin1Char('0')), .gid = gid});
}

inline QByteArray jpegOf(int width, int height, QColor colour)
{
    QImage picture(width, height, QImage::Format_BGR888);
    picture.fill(colour);
    return SavePictureToBlob(picture);
}

// A laid-out item with the name of the element it came from.
struct NamedItem
{
    QString name;
    LayoutItem item;
};
using PageItems = std::vector<NamedItem>;

// One run as the output received it, in the shapes of a laid-out report:
// pages with their placed cards (origin, column, record) and items.
struct Run
{
    CardMode mode = CardMode::Print;
    bool preview = false;
    ReportLayout layout;
    // Per page: the items with their pictures read, as painting gets them.
    std::vector<PageItems> pages;
    // For previews: the print version, laid out.
    std::optional<ReportLayout> printVersion;
    // The job itself, for painting afterwards.
    std::optional<CardJob> job;
};

// A card page as a report page (cards as placed bands); with `pictures` the
// items with their pictures, as painting gets them.
inline ReportLayout layoutOf(const CardJob &job, std::vector<PageItems> *pages = nullptr, bool pictures = false)
{
    ReportLayout layout;
    const Stock &stock = job.pages.stock;
    layout.page.paper = stock.paper == QPageSize::A4   ? Paper::A4
                        : stock.paper == QPageSize::A6 ? Paper::A6
                                                       : Paper::Custom;
    const QSizeF size = stock.pageSizeMm();
    const bool landscape = stock.orientation == QPageLayout::Landscape;
    layout.page.orientation = stock.orientation;
    layout.page.paperWidth = landscape ? size.height() : size.width();
    layout.page.paperLength = landscape ? size.width() : size.height();
    layout.page.title = job.title;
    for (int p = 0; p < job.pageCount(); ++p) {
        LayoutPage page;
        page.number = p + 1;
        for (const CardPlacement &c : job.pages.pages[size_t(p)].cards)
            page.bands.push_back(PlacedBand{nullptr, c.record, c.origin, c.column});
        PageItems named;
        for (const CardItem &c : job.items(p, pictures)) {
            LayoutItem i;
            i.kind = c.kind == CardItem::Kind::Text    ? LayoutItem::Kind::Text
                     : c.kind == CardItem::Kind::Image ? LayoutItem::Kind::Image
                                                       : LayoutItem::Kind::Line;
            i.box = c.box;
            i.line = c.line;
            i.text = c.text;
            i.font = ReportFont{c.font.family, c.font.pointSize, c.font.color, c.font.bold, c.font.italic, c.font.underline};
            i.clip = c.clip;
            i.picture = c.picture;
            i.penColor = c.pen;
            i.penWidth = c.penWidth;
            i.placement = c.card;
            page.items.push_back(i);
            named.push_back(NamedItem{c.element, i});
        }
        if (pages)
            pages->push_back(std::move(named));
        layout.pages.push_back(std::move(page));
    }
    return layout;
}

// Lays out what it is given and keeps it.
class RecordingOutput : public CardOutput
{
public:
    std::vector<Run> runs;
    std::function<void()> failWith; // throws from the output when set
    bool readPictures = true;

    void print(const CardJob &cards) override
    {
        if (failWith)
            failWith();
        Run r;
        r.mode = CardMode::Print;
        record(cards, r);
        runs.push_back(std::move(r));
    }
    void preview(const CardJob &cards, const std::function<CardJob()> &printVersion) override
    {
        if (failWith)
            failWith();
        Run r;
        r.mode = CardMode::Preview;
        r.preview = true;
        record(cards, r);
        r.printVersion = layoutOf(printVersion());
        runs.push_back(std::move(r));
    }

private:
    void record(const CardJob &cards, Run &r)
    {
        r.layout = layoutOf(cards, &r.pages, readPictures);
        r.job = cards;
    }
};

// The cards of a layout as the card run composes them, on A6 or A4, for the
// rows of an open query.
inline CardJob composeLayout(const LayoutSettings &s, bool a4, CardMode mode, Query &rows)
{
    const CardPaper paper = a4 ? CardPaper::A4 : CardPaper::A6;
    return composeCards(layoutDesign(s, paper), layoutStock(s.style, paper, mode, s.offsetX, s.offsetY),
                        std::make_shared<QueryRecords>(rows));
}

// The item of element `name` on card `card` (0-based placement) of a page;
// nullptr when it did not print.
inline const LayoutItem *item(const PageItems &items, int card, const QString &name)
{
    for (const NamedItem &i : items)
        if (i.item.placement == card && i.name == name)
            return &i.item;
    return nullptr;
}

// The item's box relative to its card's top-left corner.
inline QRectF inCard(const LayoutPage &page, const LayoutItem &i)
{
    return i.box.translated(-page.bands.at(size_t(i.placement)).origin);
}

inline bool near(double a, double b, double tolerance = 0.005)
{
    return std::abs(a - b) <= tolerance;
}

#define QCOMPARE_MM(actual, expected)                                                                                  \
    do {                                                                                                               \
        const double a_ = (actual), e_ = (expected);                                                                   \
        if (!cardtest::near(a_, e_))                                                                                   \
            QFAIL(qPrintable(QStringLiteral("%1 is %2 mm, expected %3 mm")                                             \
                                 .arg(QString::fromLatin1(#actual)).arg(a_, 0, 'f', 3).arg(e_, 0, 'f', 3)));       \
    } while (false)

// Stores whole-number layout values straight into the param row.
inline void setParam(testing::CardDb &db, std::initializer_list<std::pair<const char *, int>> values)
{
    Query q(&db.ds->src, QStringLiteral("p"));
    q.setSql({QStringLiteral("select * from param")});
    q.open();
    q.first();
    q.edit();
    for (const auto &[name, value] : values) {
        Field f = q.fieldByName(QString::fromLatin1(name));
        if (f.type() == FieldType::Boolean)
            f.setBoolean(value != 0);
        else
            f.setInteger(value);
    }
    q.post();
}

} // namespace cardtest
