#include "jetsql.h"
#include "errors.h"

#include <QRegularExpression>

namespace tessary {

TranslatedSql translateJetSql(const QString &jetSql)
{
    TranslatedSql out;
    QString body;
    body.reserve(jetSql.size());

    // Pass 1: replace double-quoted literals with parameters; copy
    // single-quoted literals and everything else unchanged.
    const qsizetype n = jetSql.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = jetSql.at(i);
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            QString literal;
            qsizetype j = i + 1;
            bool closed = false;
            while (j < n) {
                if (jetSql.at(j) == c) {
                    if (j + 1 < n && jetSql.at(j + 1) == c) {
                        literal += c;
                        j += 2;
                        continue;
                    }
                    closed = true;
                    break;
                }
                literal += jetSql.at(j);
                ++j;
            }
            if (!closed)
                throw Error(QStringLiteral("Syntax error in string in query expression"));
            if (c == QLatin1Char('"')) {
                body += QLatin1Char('?');
                out.parameters << literal;
            } else {
                body += jetSql.mid(i, j - i + 1);
            }
            i = j;
            continue;
        }
        body += c;
    }

    // Pass 2: "select top N" -> limit N at the end.
    static const QRegularExpression topRe(QStringLiteral("^(\\s*select\\s+)top\\s+(\\d+)\\s+"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = topRe.match(body);
    if (m.hasMatch()) {
        bool ok = false;
        const int limit = m.captured(2).toInt(&ok);
        if (!ok)
            throw Error(QStringLiteral("Invalid TOP value in query"));
        out.limit = limit;
        body = m.captured(1) + body.mid(m.capturedEnd(0));
    }

    out.body = body;
    out.sql = body;
    if (out.limit)
        out.sql += QStringLiteral("\nlimit ") + QString::number(*out.limit);
    return out;
}

std::optional<SelectShape> parseSelectStar(const QString &body)
{
    static const QRegularExpression re(
        QStringLiteral("^\\s*select\\s+\\*\\s+from\\s+(\\w+)"
                       "(?:\\s+left\\s+(?:outer\\s+)?join\\s+(\\w+)\\s+on\\s+(.+?))?"
                       "(?:\\s+where\\s+(.+?))?"
                       "(?:\\s+order\\s+by\\s+(.+?))?"
                       "\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = re.match(body);
    if (!m.hasMatch())
        return std::nullopt;
    SelectShape shape;
    shape.firstTable = m.captured(1);
    shape.joinedTable = m.captured(2);
    shape.fromClause = quoteIdentifier(shape.firstTable);
    if (!shape.joinedTable.isEmpty()) {
        shape.onClause = m.captured(3);
        shape.fromClause += QStringLiteral(" left join ") + quoteIdentifier(shape.joinedTable) +
                            QStringLiteral(" on ") + shape.onClause;
    }
    shape.whereClause = m.captured(4);
    shape.orderClause = m.captured(5);
    return shape;
}

QString quoteIdentifier(const QString &name)
{
    QString escaped = name;
    escaped.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace tessary
