#pragma once

#include "data/query.h"
#include "report/report.h"
#include "report/rowsource.h"

#include <QString>
#include <QVector>

#include <array>
#include <memory>

class QWidget;

namespace tessary {

class Connection;
class TReportPreview;

// The members a check list shows, read once when it is opened: the texts
// it prints and, per member, its key and what identifies its photo as it
// was then. Photos are not held: the check list fetches a member's photo
// by key when a page showing the member is painted.
class MemberListSource : public RowSource
{
public:
    // The data texts' columns, in the order they are kept.
    static const QStringList &columns();

    struct Member
    {
        qint64 seq = 0;
        std::array<QString, 6> texts; // cname, name, post, gdesc, staffno, datejoin
        qint64 photoLength = 0;       // bytes of the stored photo when read
    };

    void clear() { m_members.clear(); }
    void append(Member member) { m_members.append(std::move(member)); }
    int count() const { return int(m_members.size()); }
    const Member &member(int row) const { return m_members.at(row); }

    // True while the current row was reached with moveTo(): the report
    // engine moves so only to paint a page (laying out walks with first()
    // and next()), which is when a band's pictures are read.
    bool painting() const { return m_painting; }

    void first() override;
    void next() override;
    bool eof() const override { return m_current >= m_members.size(); }
    int rowIndex() const override { return m_current; }
    void moveTo(int row) override;
    QString text(const QString &column) override;

private:
    QVector<Member> m_members;
    int m_current = 0;
    bool m_painting = false;
};

// The check list: every member with photo and main data, three across an
// A4 portrait page, ordered by group id and then name.
//
// Opening reads the members into a snapshot (MemberListSource), so the list
// shows them as they were when it was opened whatever is edited meanwhile.
// A member's photo is read by key when its page is painted; if the member
// has been deleted or changed since the list was opened, the photo box
// stays blank (framed) rather than showing a photo the printed texts do not
// belong to.
class TqrMemList
{
public:
    explicit TqrMemList(Connection &connection);
    ~TqrMemList();
    TqrMemList(const TqrMemList &) = delete;
    TqrMemList &operator=(const TqrMemList &) = delete;

    // "select * from stafftbl" / "left join grptbl on
    // stafftbl.gid=grptbl.gid" / "order by stafftbl.gid,name".
    static QStringList statement();

    // Opens `data` and reads the members into the snapshot.
    void open();

    // Loads the current member's photo into qrPhoto (the placeholder for
    // none), scaled to 120 x 160.
    void QRSubDetail1BeforePrint();

    // The "Check List" command: opens the list and shows it in the preview
    // window without making it modal; returns when the window is closed. A
    // second call while one list is open brings that window to the front.
    static void ShowCheckList(Connection &connection, QWidget *owner);

    Report report;
    Query data;
    MemberListSource members;
    ReportBand &QRSubDetail1;
    ReportImage &qrPhoto;

private:
    QByteArray currentPhoto();

    Connection &m_connection;
};

} // namespace tessary
