#include "card/designstore.h"

#include "data/connection.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/schema.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tessary {

namespace {

// The document's own note of the psize it was saved with: when an older
// program changes the paper in `param`, the stored layout wins.
const QString kStoredPaper = QStringLiteral("psize");

} // namespace

std::optional<QByteArray> readCardDesignDocument(Connection &db, const QString &key)
{
    SqlEngine &engine = db.engine();
    if (!engine.hasTable(QStringLiteral("carddesign")))
        return std::nullopt;
    auto st = engine.prepare(
        QStringLiteral("select document from carddesign where designkey = ?1 order by seq desc limit 1"));
    st->bind(1, key);
    if (!st->next() || st->isNull(0))
        return std::nullopt;
    return st->bytes(0);
}

void writeCardDesignDocument(Connection &db, const QString &key, const QByteArray &document)
{
    Transaction transaction(db);
    SqlEngine &engine = db.engine();
    ensureCardDesignTable(engine);
    auto remove = engine.prepare(QStringLiteral("delete from carddesign where designkey = ?1"));
    remove->bind(1, key);
    remove->next();
    auto insert =
        engine.prepare(QStringLiteral("insert into carddesign (designkey, version, document) values (?1, ?2, ?3)"));
    insert->bind(1, key);
    insert->bind(2, DesignDocument::kVersion);
    insert->bind(3, document);
    insert->next();
    transaction.commit();
}

CardPaper storedCardPaper(Connection &db, int storedPaper, QString *warning)
{
    const CardPaper fallback = paperFromStored(storedPaper);
    const auto warn = [&](const QString &problem) {
        if (warning)
            *warning = QStringLiteral("The stored card design cannot be used: %1 The stored layout is printed.")
                           .arg(problem);
        return fallback;
    };
    std::optional<QByteArray> bytes;
    try {
        bytes = readCardDesignDocument(db, kLayoutDesignKey);
    } catch (const Error &e) {
        return warn(e.message());
    }
    if (!bytes)
        return fallback;
    const DesignReadResult read = readDesignDocument(*bytes);
    if (!read.document)
        return warn(read.error);
    if (!read.document->stock)
        return warn(read.skipped.isEmpty() ? QStringLiteral("it names no stock.") : read.skipped.join(QStringLiteral("; ")) + QLatin1Char('.'));
    const std::optional<CardPaper> paper = paperFromStockId(read.document->stock->id);
    if (!paper)
        return warn(QStringLiteral("the stock \"%1\" is unknown.").arg(read.document->stock->id));
    // Saved with another psize: an older program chose the paper since.
    const QJsonObject json = QJsonDocument::fromJson(*bytes).object();
    if (json.value(kStoredPaper).toInt(storedPaper) != storedPaper)
        return fallback;
    return *paper;
}

void saveCardPaper(Connection &db, CardPaper paper, int storedPaper)
{
    DesignDocument document;
    document.stock = builtInStock(stockId(paper));
    QJsonObject json = QJsonDocument::fromJson(writeDesignDocument(document)).object();
    json.insert(kStoredPaper, storedPaper);
    writeCardDesignDocument(db, kLayoutDesignKey, QJsonDocument(json).toJson(QJsonDocument::Compact));
}

} // namespace tessary
