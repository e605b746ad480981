#pragma once

// A card design: the card's size and its sides (a front now; a back is a
// second side), each a list of elements painted in order. Designs are
// written to and read from a JSON document.

#include "cardmodel/elements.h"
#include "cardmodel/stock.h"

#include <QByteArray>

#include <optional>

namespace tessary {

struct CardSide
{
    QString name = QStringLiteral("front");
    std::vector<std::unique_ptr<CardElement>> elements;

    CardSide() = default;
    explicit CardSide(const QString &sideName) : name(sideName) {}
    CardSide(const CardSide &other);
    CardSide &operator=(const CardSide &other);
    CardSide(CardSide &&) = default;
    CardSide &operator=(CardSide &&) = default;

    template <class T>
    T &add(const QString &id)
    {
        auto e = std::make_unique<T>();
        e->id = id;
        T &ref = *e;
        elements.push_back(std::move(e));
        return ref;
    }
    // The element with `id`; nullptr when there is none.
    CardElement *find(const QString &id) const;
};

struct CardDesign
{
    QString name;
    Distance width = Distance::mm(88);
    Distance height = Distance::mm(56);
    std::vector<CardSide> sides{CardSide()};

    bool landscape() const { return width >= height; }
    CardSide &front() { return sides.front(); }
    const CardSide &front() const { return sides.front(); }

    QJsonObject toJson() const;
    // Equal when they write the same document.
    bool operator==(const CardDesign &other) const { return toJson() == other.toJson(); }
};

// The largest design document read; a larger one is refused unread.
inline constexpr qint64 kMaxDesignDocumentBytes = 10 * 1000 * 1000;

// The stored document: its format version, the chosen stock and, when it
// holds one, a design.
struct DesignDocument
{
    static constexpr int kVersion = 1;
    int version = kVersion;
    std::optional<Stock> stock;
    std::optional<CardDesign> design;
};

struct DesignReadResult
{
    std::optional<DesignDocument> document; // nothing when it could not be read at all
    QString error;      // why nothing was read
    QStringList skipped; // what was left out of a document that was read
};

QByteArray writeDesignDocument(const DesignDocument &document);
// Reads what it can: unknown element kinds, elements with a negative box and
// data texts without a field are skipped and named in `skipped`; a document
// that is not JSON, of a later version, or larger than 10 MB is refused with
// `error`.
DesignReadResult readDesignDocument(const QByteArray &bytes);

// One element as JSON (its kind, id, box, whether enabled, and its own
// properties), and back. Reading skips, naming it in `skipped` after
// `where`, an element of an unknown kind, without a box or a negative one,
// or that its kind cannot use.
QJsonObject elementToJson(const CardElement &element);
std::unique_ptr<CardElement> elementFromJson(const QJsonObject &json, const QString &where, QStringList &skipped);

// A design read from a JSON object (the "design" part of a document).
std::optional<CardDesign> designFromJson(const QJsonObject &json, QStringList &skipped);

} // namespace tessary
