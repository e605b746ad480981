#include "cardmodel/design.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace tessary {

CardSide::CardSide(const CardSide &other) : name(other.name)
{
    for (const auto &e : other.elements)
        elements.push_back(e->clone());
}

CardSide &CardSide::operator=(const CardSide &other)
{
    if (this != &other) {
        CardSide copy(other);
        *this = std::move(copy);
    }
    return *this;
}

CardElement *CardSide::find(const QString &id) const
{
    for (const auto &e : elements)
        if (e->id == id)
            return e.get();
    return nullptr;
}

QJsonObject elementToJson(const CardElement &e)
{
    QJsonObject json{{QStringLiteral("kind"), e.kind()},
                     {QStringLiteral("id"), e.id},
                     {QStringLiteral("box"), QJsonArray{e.box.left.toMm(), e.box.top.toMm(), e.box.width.toMm(),
                                                        e.box.height.toMm()}},
                     {QStringLiteral("enabled"), e.enabled}};
    if (const CardElementKind *kind = findElementKind(e.kind()))
        kind->write(e, json);
    return json;
}

std::unique_ptr<CardElement> elementFromJson(const QJsonObject &json, const QString &where, QStringList &skipped)
{
    const QString kindId = json.value(QStringLiteral("kind")).toString();
    const QString id = json.value(QStringLiteral("id")).toString();
    const QString name = id.isEmpty() ? where : QStringLiteral("%1 (%2)").arg(where, id);
    const CardElementKind *kind = findElementKind(kindId);
    if (!kind) {
        skipped << QStringLiteral("%1: unknown element kind \"%2\"").arg(name, kindId);
        return nullptr;
    }
    const QJsonArray box = json.value(QStringLiteral("box")).toArray();
    bool boxOk = box.size() == 4;
    for (const QJsonValue &v : box)
        boxOk = boxOk && v.isDouble();
    if (!boxOk) {
        skipped << QStringLiteral("%1: no box").arg(name);
        return nullptr;
    }
    if (box.at(2).toDouble() < 0 || box.at(3).toDouble() < 0) {
        skipped << QStringLiteral("%1: negative box").arg(name);
        return nullptr;
    }
    std::unique_ptr<CardElement> element = kind->create();
    element->id = id;
    element->box = MmBox{Distance::mm(box.at(0).toDouble()), Distance::mm(box.at(1).toDouble()),
                         Distance::mm(box.at(2).toDouble()), Distance::mm(box.at(3).toDouble())};
    element->enabled = json.value(QStringLiteral("enabled")).toBool(true);
    QStringList problems;
    const bool usable = kind->read(*element, json, problems);
    for (const QString &p : problems)
        skipped << QStringLiteral("%1: %2").arg(name, p);
    if (!usable)
        return nullptr;
    return element;
}

QJsonObject CardDesign::toJson() const
{
    QJsonArray sideArray;
    for (const CardSide &side : sides) {
        QJsonArray elementArray;
        for (const auto &e : side.elements)
            elementArray.append(elementToJson(*e));
        sideArray.append(QJsonObject{{QStringLiteral("name"), side.name}, {QStringLiteral("elements"), elementArray}});
    }
    return QJsonObject{{QStringLiteral("name"), name},
                       {QStringLiteral("card"), QJsonArray{width.toMm(), height.toMm()}},
                       {QStringLiteral("sides"), sideArray}};
}

std::optional<CardDesign> designFromJson(const QJsonObject &json, QStringList &skipped)
{
    CardDesign design;
    design.name = json.value(QStringLiteral("name")).toString();
    const QJsonArray card = json.value(QStringLiteral("card")).toArray();
    if (card.size() != 2 || !(card.at(0).toDouble() > 0) || !(card.at(1).toDouble() > 0)) {
        skipped << QStringLiteral("design: no card size");
        return std::nullopt;
    }
    design.width = Distance::mm(card.at(0).toDouble());
    design.height = Distance::mm(card.at(1).toDouble());
    design.sides.clear();
    const QJsonArray sides = json.value(QStringLiteral("sides")).toArray();
    for (qsizetype s = 0; s < sides.size(); ++s) {
        const QJsonObject sideJson = sides.at(s).toObject();
        CardSide side(sideJson.value(QStringLiteral("name")).toString(QStringLiteral("side %1").arg(s + 1)));
        const QJsonArray elements = sideJson.value(QStringLiteral("elements")).toArray();
        for (qsizetype i = 0; i < elements.size(); ++i) {
            const QString where = QStringLiteral("%1, element %2").arg(side.name).arg(i + 1);
            if (auto e = elementFromJson(elements.at(i).toObject(), where, skipped))
                side.elements.push_back(std::move(e));
        }
        design.sides.push_back(std::move(side));
    }
    if (design.sides.empty())
        design.sides.emplace_back();
    return design;
}

QByteArray writeDesignDocument(const DesignDocument &document)
{
    QJsonObject json{{QStringLiteral("format"), QStringLiteral("tessary-card-design")},
                     {QStringLiteral("version"), document.version}};
    if (document.stock)
        json.insert(QStringLiteral("stock"), document.stock->toJson());
    if (document.design)
        json.insert(QStringLiteral("design"), document.design->toJson());
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

DesignReadResult readDesignDocument(const QByteArray &bytes)
{
    DesignReadResult result;
    if (bytes.size() >= kMaxDesignDocumentBytes) {
        result.error = QStringLiteral("The card design is larger than 10 MB.");
        return result;
    }
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        result.error = QStringLiteral("The card design is damaged (%1).")
                           .arg(parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                                              : QStringLiteral("not an object"));
        return result;
    }
    const QJsonObject json = doc.object();
    if (json.value(QStringLiteral("format")).toString() != QLatin1String("tessary-card-design")) {
        result.error = QStringLiteral("The card design is of an unknown kind.");
        return result;
    }
    DesignDocument document;
    document.version = json.value(QStringLiteral("version")).toInt(0);
    if (document.version < 1 || document.version > DesignDocument::kVersion) {
        result.error = QStringLiteral("The card design is of an unknown version (%1).").arg(document.version);
        return result;
    }
    if (json.contains(QStringLiteral("stock"))) {
        const QJsonObject stockJson = json.value(QStringLiteral("stock")).toObject();
        document.stock = Stock::fromJson(stockJson);
        if (!document.stock)
            result.skipped << QStringLiteral("stock: unusable");
    }
    if (json.contains(QStringLiteral("design")))
        document.design = designFromJson(json.value(QStringLiteral("design")).toObject(), result.skipped);
    result.document = std::move(document);
    return result;
}

} // namespace tessary
