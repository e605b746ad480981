// Card issuing with the proximity card reader: switching the reader on and
// off, looking up or writing a presented card's number, clearing a number.
//
// The window holds at most one reader link: the port box is disabled while
// the reader is on, so only one port can be in use at a time.
#include "mainwindow.h"
#include "members/memberstore.h"

#include "data/errors.h"
#include "data/prompts.h"
#include "data/scopeexit.h"
#include "reader/reader.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>

using namespace tessary;

namespace {

// The choices of the "Post-Action" group, by button id.
enum PostAction { NoChange = 0, AutoUp = 1, AutoDown = 2 };

// What the all-members query knows of the holder of a card.
struct CardHolder
{
    bool found = false;
    QString name;
    int groupId = 0;
};

} // namespace

void TVaraDavuz::connectCardIssuing()
{
    connect(cbReadCard, &QCheckBox::toggled, this, [this](bool) { guarded([this] { cbReadCardClick(); }); });
    connect(bClearNo, &QPushButton::clicked, this, [this] { guarded([this] { bClearNoClick(); }); });
}

void TVaraDavuz::cbReadCardClick()
{
    if (cbReadCard->isChecked()) {
        // A link left from before (it cannot normally exist) is closed first.
        CloseReader();
        m_reader = std::make_unique<TRfidReader>();
        m_reader->PortNo = sePort->value();
        sePort->setEnabled(false);
        sePort->setToolTip(QStringLiteral("The reader is on: switch it off to choose another port."));
        // The reader always starts in look-up mode.
        cbWrite->setChecked(false);
        OpenReader();
    } else {
        CloseReader();
        m_reader.reset();
        sePort->setEnabled(true);
        sePort->setToolTip(QString());
    }
}

bool TVaraDavuz::OpenReader()
{
    if (!m_reader)
        return false;
    TRfidReader &link = *m_reader;
    link.OnCardCode = [this](bool offline, qint32 port, qint32 code, const QDateTime &stamp, qint8 cmode) {
        guarded([&] { CardCodeReceived(offline, port, code, stamp, cmode); });
    };
    link.Enable = true;
    link.LockTime = 1;
    link.DataBits = QSerialPort::Data8;
    link.StopBits = QSerialPort::OneStop;
    link.Parity = QSerialPort::NoParity;
    link.ApplyPortSettings();
    if (!link.Enable)
        return false;
    try {
        link.SetConnected(true);
    } catch (const Error &) {
        link.Enable = false;
        // Clearing the box switches the reader off again (the link is
        // destroyed there), before the operator is told.
        cbReadCard->setChecked(false);
        if (m_reader) {
            // The box was already clear: switch off here.
            CloseReader();
            m_reader.reset();
            sePort->setEnabled(true);
            sePort->setToolTip(QString());
        }
        ShowErrorBox(QStringLiteral("Cannot open communication port."));
        return false;
    }
    return true;
}

void TVaraDavuz::CloseReader()
{
    if (!m_reader)
        return;
    m_reader->Enable = false;
    m_reader->SetConnected(false);
}

void TVaraDavuz::CardCodeReceived(bool, qint32 port, qint32 code, const QDateTime &, qint8)
{
    Query &staff = m_data.QStaff;
    // An empty list, or one moved beyond its last member, takes no cards.
    if (staff.eof())
        return;

    // The link that delivered the card gets the answer; a card that comes
    // from no open link is handled without one.
    TRfidReader *link = m_reader && m_reader->PortNo == port ? m_reader.get() : nullptr;

    CardHolder holder;
    {
        Query &all = m_data.QAllStaff;
        OnExit closeAll([&all] { all.close(); });
        if (!all.isOpen())
            all.open();
        // The all-members query is in name order: the first holder by name.
        if (all.recordCount() > 0 && all.locate(QStringLiteral("cardno"), code)) {
            holder.found = true;
            holder.name = all.fieldByName(QStringLiteral("name")).text();
            // A member without a group id belongs with the members of no
            // group, group 0.
            holder.groupId = all.fieldByName(QStringLiteral("gid")).asInteger();
        }
    }

    if (!cbWrite->isChecked()) {
        // Look-up mode. The reader is answered before anything is shown.
        if (!holder.found) {
            if (link)
                link->SendReject();
            ShowErrorBox(QStringLiteral("Card no (") + QString::number(code) + QStringLiteral(") is not used."));
            return;
        }
        if (link)
            link->SendAccept();
        ShowGroupById(holder.groupId);
        if (staff.recordCount() > 0 && staff.locate(QStringLiteral("cardno"), code))
            ShowCurrentMember();
        else
            // The holder is not among the listed members (a member whose
            // group id is empty is listed under no group): show no one
            // rather than another member as the holder.
            ClearDetails();
        return;
    }

    // Add mode.
    if (holder.found) {
        ShowErrorBox(QStringLiteral("Card no is used by ") + holder.name);
        return;
    }
    // The member highlighted, checked to be as this station read it.
    MemberStore store(m_data);
    const MemberRef member = store.current();
    try {
        store.setCardNumber(member.seq == m_shown.seq ? m_shown : member, code);
        if (member.seq == m_shown.seq)
            m_shown = store.member(member.seq); // as written here
    } catch (const RowChangedError &changed) {
        showChangedElsewhere(member.seq, changed);
        return;
    } catch (...) {
        ShowErrorBox(QStringLiteral("Cannot update database. Please retry!"));
        return;
    }
    if (link)
        link->SendAcknowledge();
    switch (rgPost->checkedId()) {
    case AutoUp:
        if (!staff.bof()) {
            staff.prior();
            ShowCurrentMember();
        }
        break;
    case AutoDown:
        // From the last member this leaves the list at its end, so the next
        // card is ignored until another member is selected.
        if (!staff.eof()) {
            staff.next();
            ShowCurrentMember();
        }
        break;
    default:
        break;
    }
}

void TVaraDavuz::bClearNoClick()
{
    Query &staff = m_data.QStaff;
    if (staff.eof())
        return;
    MemberStore store(m_data);
    const MemberRef member = store.current();
    try {
        store.setCardNumber(member.seq == m_shown.seq ? m_shown : member, 0);
        if (member.seq == m_shown.seq)
            m_shown = store.member(member.seq); // as written here
    } catch (const RowChangedError &changed) {
        showChangedElsewhere(member.seq, changed);
        return;
    } catch (...) {
        ShowErrorBox(QStringLiteral("Cannot clear the card no."));
        return;
    }
    ShowInformationBox(QStringLiteral("Card no cleared."));
}
