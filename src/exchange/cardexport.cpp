#include "exchange/cardexport.h"

#include "exchange/filecopy.h"

#include "data/connection.h"
#include "data/datasrc.h"
#include "data/errors.h"
#include "data/progresssink.h"
#include "data/prompts.h"
#include "data/query.h"
#include "data/records.h"
#include "data/schema.h"
#include "data/scopeexit.h"

#include <QDir>

#include <memory>

namespace tessary {

namespace {

void ShowExportFailed()
{
    ShowErrorBox(QStringLiteral("Fail to export record."));
}

} // namespace

CardExport::CardExport(Tdsrc &data, const QString &programFolder, ProgressMaker progress)
    : m_data(data), m_programFolder(programFolder), m_progress(std::move(progress))
{
}

QString CardExport::templatePath() const
{
    return QDir(m_programFolder).filePath(QStringLiteral("namecard-b.mdb"));
}

int CardExport::run()
{
    const QString target = prompts().saveFileName(QStringLiteral("Select Card Database"),
                                                  QStringLiteral("Card Database|*.mdb"), QString(),
                                                  QStringLiteral("mdb"));
    if (target.isEmpty())
        return 0;
    if (!CopyFileReplacing(templatePath(), target)) {
        ShowErrorBox(QStringLiteral("Cannot copy card database."));
        return 0;
    }

    Connection &exp = m_data.exp;
    exp.disconnect();
    OnExit closeExport([&] { exp.disconnect(); });
    exp.setConnectionString(exportConnectionString(target));
    exp.connect();

    int members = 0;
    if (ExportGroups() > 0) {
        members = ExportMembers();
        if (members > 0)
            ShowPlainMessage(QStringLiteral("Card exported = ") + QString::number(members));
    }
    return members;
}

int CardExport::ExportGroups()
{
    const std::unique_ptr<Query> listed =
        openQuery(m_data.src, QStringLiteral("ExportGroups"), groupListSql(), groupColumns());
    Query &groups = *listed;
    std::unique_ptr<ProgressSink> progress =
        m_progress(QStringLiteral("Exporting Group Information"), groups.recordCount());
    OnExit closeProgress([&] { progress->Hide(); });
    groups.first();
    Query &out = m_data.DbGrp;
    out.open();
    OnExit closeOut([&] { out.close(); });
    progress->Show();

    // One transaction for the table; a failure keeps the rows before it.
    Transaction transaction(m_data.exp);
    int count = 0;
    Field gid = groups.fieldByName(QStringLiteral("gid"));
    Field gdesc = groups.fieldByName(QStringLiteral("gdesc"));
    while (!groups.eof()) {
        progress->ProcessMessages();
        try {
            out.append();
            out.fieldByName(QStringLiteral("id")).setValue(gid.value());
            out.fieldByName(QStringLiteral("descx")).setValue(gdesc.value());
            out.post();
        } catch (const Error &) {
            out.cancel();
            transaction.commit();
            ShowExportFailed();
            return 0;
        }
        ++count;
        groups.next();
        progress->StepIt();
    }
    transaction.commit();
    return count;
}

int CardExport::ExportMembers()
{
    const std::unique_ptr<Query> listed =
        openQuery(m_data.src, QStringLiteral("ExportMembers"), allMembersSql(), memberColumns());
    Query &all = *listed;
    std::unique_ptr<ProgressSink> progress = m_progress(QStringLiteral("Exporting Card Database"), all.recordCount());
    OnExit closeProgress([&] { progress->Hide(); });
    progress->Show();
    Query &out = m_data.DbOut;
    out.open();
    OnExit closeOut([&] { out.close(); });
    all.first();

    Transaction transaction(m_data.exp);
    int count = 0;
    while (!all.eof()) {
        progress->ProcessMessages();
        const int cardNo = all.fieldByName(QStringLiteral("cardno")).asInteger();
        if (cardNo > 0) {
            try {
                out.append();
                out.fieldByName(QStringLiteral("CARDNO")).setInteger(cardNo);
                out.fieldByName(QStringLiteral("NAME")).setValue(all.fieldByName(QStringLiteral("name")).value());
                out.fieldByName(QStringLiteral("WORKGRP")).setInteger(all.fieldByName(QStringLiteral("gid")).asInteger());
                out.fieldByName(QStringLiteral("TIMEGRP")).setInteger(1);
                out.fieldByName(QStringLiteral("ACCESSGRP")).setInteger(1);
                out.fieldByName(QStringLiteral("OFFLINE")).setBoolean(false);
                out.fieldByName(QStringLiteral("PICKED")).setBoolean(false);
                for (int port = 1; port <= 8; ++port)
                    out.fieldByName(QStringLiteral("COM%1").arg(port)).setBoolean(false);
                // Each value as text; an empty (null) one cannot be turned
                // into a line and fails the row.
                QStringList memo;
                for (const char *column : {"cname", "staffno", "post", "datejoin", "expiry", "remark"})
                    memo << all.fieldByName(QString::fromLatin1(column)).asString();
                SetFieldFromLines(out.fieldByName(QStringLiteral("MEMO")), memo);
                out.fieldByName(QStringLiteral("PHOTO")).setBytes(all.fieldByName(QStringLiteral("photo")).asBytes());
                out.post();
            } catch (const Error &) {
                out.cancel();
                transaction.commit();
                ShowExportFailed();
                return 0;
            }
            ++count;
        }
        all.next();
        progress->StepIt();
    }
    transaction.commit();
    return count;
}

} // namespace tessary
