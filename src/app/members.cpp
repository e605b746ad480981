// Member editing from the detail pane: save (new or overwrite), delete one,
// delete all listed, and sorting the list by a column title.
#include "mainwindow.h"

#include "lookups.h"
#include "staffmodel.h"

#include "data/errors.h"
#include "data/prompts.h"
#include "data/settings.h"
#include "photo/imagecontrol.h"
#include "photo/picture.h"
#include "photo/progress.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

using namespace tessary;

namespace {

// Dates are written as "d/mm/yyyy": day without a leading zero, two-digit
// month, four-digit year.
QString dateText(const QDate &date)
{
    return QStringLiteral("%1/%2/%3")
        .arg(date.day())
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.year(), 4, 10, QLatin1Char('0'));
}

} // namespace

void TVaraDavuz::connectMemberEditing()
{
    connect(bSave, &QPushButton::clicked, this, [this] { guarded([this] { bSaveClick(); }); });
    connect(bClear, &QPushButton::clicked, this, [this] { guarded([this] { ClearDetails(); }); });
    connect(bDelete, &QPushButton::clicked, this, [this] { guarded([this] { bDeleteClick(); }); });
    connect(bDelAll, &QPushButton::clicked, this, [this] { guarded([this] { bDelAllClick(); }); });
    connect(dbgInfo->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { guarded([this, column] { dbgInfoTitleClick(column); }); });
}

void TVaraDavuz::StoreDetails(bool rowExists)
{
    Query &staff = m_data.QStaff;
    if (rowExists)
        staff.edit();
    else
        staff.append();
    staff.fieldByName(QStringLiteral("gid")).setInteger(CurrentGroupId);
    staff.fieldByName(QStringLiteral("cardno")).setInteger(0);
    staff.fieldByName(QStringLiteral("name")).setString(eName->text());
    staff.fieldByName(QStringLiteral("cname")).setString(eCname->text());
    // The staff number is 8-bit text in the system code page.
    staff.fieldByName(QStringLiteral("staffno")).setString(QString::fromLocal8Bit(eStaffNo->text().toLocal8Bit()));
    staff.fieldByName(QStringLiteral("post")).setString(ePost->text());
    staff.fieldByName(QStringLiteral("remark")).setString(eRemark->text());
    staff.fieldByName(QStringLiteral("datejoin")).setString(dateText(dpJoin->date()));
    staff.fieldByName(QStringLiteral("expiry")).setString(dateText(dpExpiry->date()));
    staff.fieldByName(QStringLiteral("photo")).setBytes(SavePictureToBlob(imgPhoto->picture()));
    staff.post();
}

void TVaraDavuz::bSaveClick()
{
    const QString name = eName->text();
    if (name.isEmpty()) {
        ShowErrorBox(QStringLiteral("Name field cannot be empty."));
        return;
    }

    // A member of that name anywhere decides the group the row is saved in.
    int target = CurrentGroupId;
    bool exists = false;
    Query &all = m_data.QAllStaff;
    if (!all.isOpen())
        all.open();
    if (all.recordCount() > 0 && all.locate(QStringLiteral("name"), name)) {
        exists = true;
        target = all.fieldByName(QStringLiteral("gid")).asInteger();
    }
    all.close();
    if (exists && !ConfirmOverwrite())
        return;

    CurrentGroupId = target;
    QString groupName;
    FindTextById(m_data.QGroup, target, QStringLiteral("gid"), groupName, QStringLiteral("gdesc"));
    SelectListItem(lstGroup, groupName);
    ShowSelectedGroup();

    Query &staff = m_data.QStaff;
    const bool found = staff.recordCount() > 0 && staff.locate(QStringLiteral("name"), name);
    bool stored = true;
    try {
        StoreDetails(found);
    } catch (...) {
        staff.cancel();
        ShowPostError();
        stored = false;
    }
    UpdateCounts();
    // On a failed store the pane keeps what was typed so it can be
    // corrected and saved again.
    if (stored)
        ClearDetails();
}

void TVaraDavuz::bDeleteClick()
{
    Query &staff = m_data.QStaff;
    if (staff.isOpen() && staff.recordCount() > 0 && ConfirmDelete()) {
        staff.deleteRow();
        ShowCurrentMember();
    }
    UpdateCounts();
}

void TVaraDavuz::bDelAllClick()
{
    Query &staff = m_data.QStaff;
    if (staff.isOpen() && staff.recordCount() > 0 && ConfirmDelete()) {
        std::unique_ptr<TPg> progress = TPg::CreateRange(this, 0, staff.recordCount());
        progress->show();
        try {
            staff.first();
            while (staff.recordCount() > 0) {
                staff.deleteRow();
                progress->StepIt();
            }
        } catch (...) {
            progress.reset();
            ShowCurrentMember();
            UpdateCounts();
            throw;
        }
        progress.reset();
        ShowCurrentMember();
    }
    UpdateCounts();
}

void TVaraDavuz::dbgInfoTitleClick(int column)
{
    Query &staff = m_data.QStaff;
    QString current;
    if (staff.isOpen() && staff.recordCount() > 0)
        current = staff.fieldByName(QStringLiteral("name")).text();
    auto *model = static_cast<QueryTableModel *>(dbgInfo->model());
    SortOrder = model->fieldName(column) + QStringLiteral(",name");
    WriteStringSetting(QStringLiteral("SortField"), SortOrder);
    ShowSelectedGroup();
    if (staff.recordCount() > 0)
        staff.locate(QStringLiteral("name"), current);
    ShowCurrentMember();
}
