#pragma once

// Shared set-up of the data-exchange tests: workbooks written at test time
// by a real spreadsheet writer (xlwt, run with Debian's own Python), JPEG
// files, and short ways to read members back from the card database.

#include "../data/carddb.h"

#include "data/query.h"
#include "photo/picture.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>

namespace tessary::testing {

// A worksheet: its name and rows of cells (strings, numbers, null for an
// empty cell, or {"date": "yyyy-mm-dd"}, {"datetime": ...}, {"number": x}
// for a whole number kept as floating point).
struct SheetSpec
{
    QString name;
    QJsonArray rows;
};

inline QJsonObject dateCell(const QString &isoDate)
{
    return QJsonObject{{QStringLiteral("date"), isoDate}};
}

inline QJsonObject floatCell(double value)
{
    return QJsonObject{{QStringLiteral("number"), value}};
}

// Writes the workbook `path`; fails the test when the writer fails.
inline bool writeWorkbook(const QString &path, const QList<SheetSpec> &sheets)
{
    QJsonArray list;
    for (const SheetSpec &s : sheets)
        list.append(QJsonObject{{QStringLiteral("name"), s.name}, {QStringLiteral("rows"), s.rows}});
    const QString description = path + QStringLiteral(".json");
    QFile f(description);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QJsonDocument(QJsonObject{{QStringLiteral("sheets"), list}}).toJson());
    f.close();
    QProcess writer;
    writer.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(TESSARY_MAKEBOOK), path, description});
    if (!writer.waitForFinished(60000) || writer.exitCode() != 0) {
        qWarning("workbook writer failed: %s", writer.readAllStandardError().constData());
        return false;
    }
    return QFile::exists(path);
}

// A workbook whose only sheet is "RECORDS".
inline bool writeRecords(const QString &path, const QJsonArray &recordRows)
{
    return writeWorkbook(path, QList<SheetSpec>{{QStringLiteral("RECORDS"), recordRows}});
}

// A JPEG file of `width` x `height` in one colour.
inline bool writeJpeg(const QString &path, int width, int height, Qt::GlobalColor colour = Qt::red)
{
    QImage image(width, height, QImage::Format_BGR888);
    image.fill(colour);
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(SavePictureToBlob(image)) > 0;
}

// The file's access mode bits (0600 ...); -1 when it cannot be read.
inline int fileMode(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}

inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every row of the card database's four tables, each value with its stored
// kind, in key order: equal lists mean equal databases on either engine.
inline QStringList dump(SqlEngine &engine)
{
    QStringList out;
    for (const char *table : {"grptbl", "stafftbl", "param", "fields", "carddesign"}) {
        // A card database made before the design table has none.
        if (!engine.hasTable(QLatin1String(table)))
            continue;
        const std::unique_ptr<SqlStatement> s =
            engine.prepare(QStringLiteral("select * from %1 order by seq").arg(QLatin1String(table)));
        while (s->next()) {
            QStringList row{QLatin1String(table)};
            for (int c = 0; c < s->columnCount(); ++c) {
                switch (s->kind(c)) {
                case ValueKind::Null: row << QStringLiteral("null"); break;
                case ValueKind::Integer: row << QStringLiteral("i%1").arg(s->integer(c)); break;
                case ValueKind::Real: row << QStringLiteral("r%1").arg(s->real(c), 0, 'g', 17); break;
                case ValueKind::Text: row << QStringLiteral("t") + s->text(c); break;
                case ValueKind::Blob: row << QStringLiteral("b") + QString::fromLatin1(s->bytes(c).toHex()); break;
                }
            }
            out << row.join(QLatin1Char('|'));
        }
    }
    return out;
}

// The same for the card database file at `path`.
inline QStringList dumpFile(const QString &path)
{
    Connection c;
    c.setConnectionString(cardConnectionString(path));
    c.connect();
    return dump(c.engine());
}

// Moves `q` (opened if needed) to the first row whose `column` equals `value`.
inline bool findRow(Query &q, const QString &column, const QVariant &value)
{
    if (!q.isOpen())
        q.open();
    return q.recordCount() > 0 && q.locate(column, value);
}

} // namespace tessary::testing
