#include "card/designstore.h"

#include "data/connection.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/schema.h"

#include "photo/picture.h"

#include <QJsonArray>
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

namespace {

const QString kPrintBack = QStringLiteral("printBack");
const QString kBack = QStringLiteral("back");
const QString kFrontBarcode = QStringLiteral("frontBarcode");

QJsonObject backToJson(const LayoutSettings &settings, const QJsonObject &stored)
{
    const BackSettings &back = settings.back;
    QJsonArray rows;
    for (int i = 0; i < kCardRows; ++i) {
        const CatalogueEntry *entry = settings.backRowEntry(i);
        rows.append(QJsonObject{{QStringLiteral("field"), entry ? entry->fname : QString()},
                                {QStringLiteral("caption"), back.rowCaption[size_t(i)]}});
    }
    QJsonObject json{{QStringLiteral("rows"), rows},
                     {QStringLiteral("printBackground"), back.printBackground},
                     {QStringLiteral("barcode"), elementToJson(back.barcode)}};
    // Re-encoding loses a little each time: an unedited picture keeps its bytes.
    if (!back.backgroundEdited)
        json.insert(QStringLiteral("background"), stored.value(QStringLiteral("background")));
    else if (!back.background.isNull()) {
        try {
            json.insert(QStringLiteral("background"),
                        QString::fromLatin1(SavePictureToBlob(back.background).toBase64()));
        } catch (...) {
            // As the front's: the picture is best effort, the rest still saves.
            json.insert(QStringLiteral("background"), stored.value(QStringLiteral("background")));
        }
    }
    return json;
}

// The barcode of `json`, or `fallback` (named in `skipped`) when it is not one.
BarcodeElement barcodeFromJson(const QJsonValue &json, const QString &where, const BarcodeElement &fallback,
                               QStringList &skipped)
{
    if (!json.isObject())
        return fallback;
    std::unique_ptr<CardElement> read = elementFromJson(json.toObject(), where, skipped);
    auto *barcode = dynamic_cast<BarcodeElement *>(read.get());
    if (!barcode) {
        if (read)
            skipped << QStringLiteral("%1: not a barcode").arg(where);
        return fallback;
    }
    barcode->id = fallback.id;
    return *barcode;
}

void backFromJson(const QJsonObject &json, LayoutSettings &settings, QStringList &skipped)
{
    BackSettings &back = settings.back;
    const QJsonArray rows = json.value(QStringLiteral("rows")).toArray();
    for (int i = 0; i < kCardRows; ++i) {
        const QJsonObject row = rows.at(i).toObject();
        const QString field = row.value(QStringLiteral("field")).toString();
        int position = 0;
        for (const CatalogueEntry &e : settings.catalogue)
            if (!field.isEmpty() && e.fname.compare(field, Qt::CaseInsensitive) == 0) {
                position = e.seq;
                break;
            }
        if (!field.isEmpty() && position == 0)
            skipped << QStringLiteral("back, row %1: the field \"%2\" is not in the catalogue").arg(i + 1).arg(field);
        back.rowField[size_t(i)] = position;
        back.rowCaption[size_t(i)] = row.value(QStringLiteral("caption")).toString();
    }
    back.printBackground = json.value(QStringLiteral("printBackground")).toBool(true);
    const QByteArray picture = QByteArray::fromBase64(json.value(QStringLiteral("background")).toString().toLatin1());
    back.background = picture.isEmpty() ? QImage() : LoadPictureFromBlob(picture);
    back.backgroundEdited = false;
    back.barcode = barcodeFromJson(json.value(QStringLiteral("barcode")), QStringLiteral("back barcode"),
                                   defaultBarcode(CardFace::Back, settings.style), skipped);
}

QJsonObject storedLayoutJson(Connection &db)
{
    const std::optional<QByteArray> bytes = readCardDesignDocument(db, kLayoutDesignKey);
    return bytes ? QJsonDocument::fromJson(*bytes).object() : QJsonObject();
}

} // namespace

void saveLayoutDocument(Connection &db, const LayoutSettings &settings, int storedPaper)
{
    const QJsonObject stored = storedLayoutJson(db);
    DesignDocument document;
    document.stock = builtInStock(stockId(settings.idCard ? CardPaper::Id1 : paperFromStored(storedPaper)));
    QJsonObject json = QJsonDocument::fromJson(writeDesignDocument(document)).object();
    json.insert(kStoredPaper, storedPaper);
    json.insert(kPrintBack, settings.printBack);
    json.insert(kFrontBarcode, elementToJson(settings.frontBarcode));
    json.insert(kBack, backToJson(settings, stored.value(kBack).toObject()));
    writeCardDesignDocument(db, kLayoutDesignKey, QJsonDocument(json).toJson(QJsonDocument::Compact));
}

void loadLayoutDocument(Connection &db, LayoutSettings &settings, QString *warning)
{
    if (warning)
        warning->clear();
    settings.printBack = false;
    settings.back = BackSettings();
    settings.back.barcode = defaultBarcode(CardFace::Back, settings.style);
    settings.frontBarcode = defaultBarcode(CardFace::Front, settings.style);
    std::optional<QByteArray> bytes;
    try {
        bytes = readCardDesignDocument(db, kLayoutDesignKey);
    } catch (const Error &e) {
        if (warning)
            *warning = e.message();
        return;
    }
    if (!bytes)
        return;
    const DesignReadResult read = readDesignDocument(*bytes);
    if (!read.document) {
        if (warning)
            *warning = read.error;
        return;
    }
    const QJsonObject json = QJsonDocument::fromJson(*bytes).object();
    QStringList skipped;
    settings.printBack = json.value(kPrintBack).toBool(false);
    settings.frontBarcode = barcodeFromJson(json.value(kFrontBarcode), QStringLiteral("front barcode"),
                                            settings.frontBarcode, skipped);
    if (json.value(kBack).isObject())
        backFromJson(json.value(kBack).toObject(), settings, skipped);
    if (warning && !skipped.isEmpty())
        *warning = skipped.join(QStringLiteral("; "));
}

} // namespace tessary
