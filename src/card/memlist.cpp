#include "card/memlist.h"

#include "data/connection.h"
#include "data/datetext.h"
#include "data/errors.h"
#include "photo/picture.h"
#include "photo/transforms.h"
#include "report/preview.h"

#include <QPointer>

namespace tessary {

namespace {

constexpr double kBandHeight = 29.24;
constexpr double kBandWidth = 61.25;
constexpr double kGapHeight = 1.32;
constexpr double kTextLeft = 22.36;

// Tops of the six data texts, in the order of MemberListSource::columns().
constexpr std::array<double, 6> kTextTops = {0.79, 5.29, 9.79, 14.29, 18.65, 23.15};

ReportFont arial(double points)
{
    ReportFont font;
    font.family = QStringLiteral("Arial");
    font.pointSize = points;
    font.color = Qt::black;
    return font;
}

// A centred page text: its box is centred on x = `centre`, top at `top`;
// auto-size keeps it centred there whatever its width.
void addCentredSystemText(Report &report, const QString &name, ReportSystemText::Data data, double centre,
                          double top)
{
    auto &text = report.addPageElement<ReportSystemText>(name);
    text.data = data;
    text.font = arial(10);
    text.alignment = TextAlignment::Centre;
    text.autoSize = true;
    text.transparent = true;
    text.setBox(centre - 5, top, 10, 4);
}

int columnOf(Query &query, const QString &joined, const QString &plain)
{
    const int index = query.columnIndex(joined);
    return index >= 0 ? index : query.columnIndex(plain);
}

QString valueText(const QVariant &value)
{
    if (value.isNull())
        return {};
    if (value.typeId() == QMetaType::QDateTime)
        return dateTimeText(value.toDateTime());
    return value.toString();
}

TReportPreview *g_openList = nullptr; // the check list window, while one is open

} // namespace

// --- MemberListSource --------------------------------------------------------

const QStringList &MemberListSource::columns()
{
    static const QStringList names = {QStringLiteral("cname"), QStringLiteral("name"),
                                      QStringLiteral("post"),  QStringLiteral("gdesc"),
                                      QStringLiteral("staffno"), QStringLiteral("datejoin")};
    return names;
}

void MemberListSource::first()
{
    m_current = 0;
    m_painting = false;
}

void MemberListSource::next()
{
    if (m_current < m_members.size())
        ++m_current;
    m_painting = false;
}

void MemberListSource::moveTo(int row)
{
    if (row < 0 || row >= m_members.size())
        throw Error(QStringLiteral("Row %1 is out of range").arg(row));
    m_current = row;
    m_painting = true;
}

QString MemberListSource::text(const QString &column)
{
    const int index = int(columns().indexOf(column));
    if (index < 0)
        throw Error(QStringLiteral("Field '%1' not found").arg(column));
    if (eof())
        return {};
    return m_members.at(m_current).texts.at(size_t(index));
}

// --- TqrMemList --------------------------------------------------------------

TqrMemList::TqrMemList(Connection &connection)
    : data(&connection, QStringLiteral("data"))
    , QRSubDetail1(report.addBand(QStringLiteral("QRSubDetail1")))
    , qrPhoto(QRSubDetail1.add<ReportImage>(QStringLiteral("qrPhoto")))
    , m_connection(connection)
{
    data.setSql(statement());

    PageSetup &page = report.page;
    page.paper = Paper::A4;
    page.orientation = QPageLayout::Portrait;
    page.topMargin = page.bottomMargin = page.leftMargin = page.rightMargin = 10;
    page.columns = 3;
    page.columnGap = 3;
    page.title = QStringLiteral("Member List");
    report.setRowSource(&members);

    addCentredSystemText(report, QStringLiteral("qrTitle"), ReportSystemText::Data::ReportTitle, 19.45, 3.97);
    addCentredSystemText(report, QStringLiteral("qrPage"), ReportSystemText::Data::PageNumber, 197.91, 288.40);

    QRSubDetail1.height = kBandHeight;
    QRSubDetail1.width = kBandWidth;
    QRSubDetail1.frame.setAll(true);
    QRSubDetail1.childGap = kGapHeight;
    QRSubDetail1.beforePrint = [this] { QRSubDetail1BeforePrint(); };

    qrPhoto.setBox(0.53, 0.53, 20.90, 28.05);
    qrPhoto.frame.setAll(true);

    const QStringList &columns = MemberListSource::columns();
    for (int i = 0; i < columns.size(); ++i) {
        auto &text = QRSubDetail1.add<ReportDataText>(QStringLiteral("qr") + columns.at(i));
        text.column = columns.at(i);
        text.font = arial(8);
        text.alignment = TextAlignment::Left;
        text.autoSize = true;
        text.transparent = true;
        text.setBox(kTextLeft, kTextTops.at(size_t(i)), 10, 3);
    }
}

TqrMemList::~TqrMemList()
{
    if (data.isOpen())
        data.close();
}

QStringList TqrMemList::statement()
{
    return {QStringLiteral("select * from stafftbl"), QStringLiteral("left join grptbl on stafftbl.gid=grptbl.gid"),
            QStringLiteral("order by stafftbl.gid,name")};
}

void TqrMemList::open()
{
    data.open();
    members.clear();

    // What identifies each member's photo: its length, read without the
    // photo's bytes.
    Query lengths(&m_connection, QStringLiteral("photoLengths"));
    lengths.setSql({QStringLiteral("select seq, length(photo) as photolength from stafftbl")});
    lengths.open();
    QHash<qint64, qint64> photoLengths;
    photoLengths.reserve(lengths.recordCount());
    for (int row = 0; row < lengths.recordCount(); ++row)
        photoLengths.insert(lengths.valueAt(row, 0).toLongLong(), lengths.valueAt(row, 1).toLongLong());
    lengths.close();

    const int seqColumn = columnOf(data, QStringLiteral("stafftbl.seq"), QStringLiteral("seq"));
    std::array<int, 6> textColumns{};
    const QStringList &columns = MemberListSource::columns();
    for (int i = 0; i < columns.size(); ++i) {
        textColumns[size_t(i)] = data.columnIndex(columns.at(i));
        if (textColumns[size_t(i)] < 0)
            throw Error(QStringLiteral("Field '%1' not found").arg(columns.at(i)));
    }
    const int count = data.recordCount();
    for (int row = 0; row < count; ++row) {
        MemberListSource::Member member;
        member.seq = data.valueAt(row, seqColumn).toLongLong();
        for (size_t i = 0; i < textColumns.size(); ++i)
            member.texts[i] = valueText(data.valueAt(row, textColumns[i]));
        member.photoLength = photoLengths.value(member.seq, 0);
        members.append(std::move(member));
    }
}

QByteArray TqrMemList::currentPhoto()
{
    const MemberListSource::Member &member = members.member(members.rowIndex());
    Query photo(&m_connection, QStringLiteral("photo"));
    photo.setSql({QStringLiteral("select *, length(photo) as photolength from stafftbl"),
                  QStringLiteral("where seq=%1").arg(member.seq)});
    photo.open();
    if (photo.recordCount() != 1)
        return {}; // deleted since the list was opened
    // The photo belongs to the texts shown only if the member's own row is
    // unchanged (a renamed group changes no member).
    const QStringList &columns = MemberListSource::columns();
    for (int i = 0; i < columns.size(); ++i) {
        if (columns.at(i) == QLatin1String("gdesc"))
            continue;
        if (valueText(photo.valueAt(0, photo.columnIndex(columns.at(i)))) != member.texts.at(size_t(i)))
            return {};
    }
    if (photo.valueAt(0, photo.columnIndex(QStringLiteral("photolength"))).toLongLong() != member.photoLength)
        return {};
    return photo.valueAt(0, photo.columnIndex(QStringLiteral("photo"))).toByteArray();
}

void TqrMemList::QRSubDetail1BeforePrint()
{
    // Laying out does not keep pictures; they are read when a page is
    // painted, so only then is the photo fetched.
    if (!members.painting()) {
        qrPhoto.picture = QImage();
        return;
    }
    QImage picture;
    LoadPictureFromBlob(currentPhoto(), picture);
    ScalePicture(picture, kPlaceholderWidth, kPlaceholderHeight);
    qrPhoto.picture = std::move(picture);
}

void TqrMemList::ShowCheckList(Connection &connection, QWidget *owner)
{
    if (g_openList) {
        g_openList->raise();
        g_openList->activateWindow();
        return;
    }
    TqrMemList list(connection);
    list.open();
    TReportPreview preview(list.report, owner);
    g_openList = &preview;
    struct Forget
    {
        ~Forget() { g_openList = nullptr; }
    } forget;
    preview.showAndWait();
}

} // namespace tessary
