#pragma once

// What the layout tables (param, fields) cannot hold lives in the table
// `carddesign` as JSON documents, one per key: now the chosen stock. The
// table is created when missing; a database without it prints as before.

#include "card/carddesigns.h"

namespace tessary {

class Connection;

// The key of the layout's document.
inline const QString kLayoutDesignKey = QStringLiteral("layout");

// The stored document of `key`; nothing when there is none (or no table).
std::optional<QByteArray> readCardDesignDocument(Connection &db, const QString &key);
// Stores `document` under `key` (creating the table when missing), in one
// transaction.
void writeCardDesignDocument(Connection &db, const QString &key, const QByteArray &document);

// The paper a layout whose `psize` is `storedPaper` prints on: the stock the
// layout's document names when it was saved with that same `psize`, else A6
// or A4 from `psize`. A document that cannot be used is named in `warning`
// and the stored paper is used.
CardPaper storedCardPaper(Connection &db, int storedPaper, QString *warning = nullptr);
// Stores the chosen paper in the layout's document, beside the `psize` it
// goes with.
void saveCardPaper(Connection &db, CardPaper paper, int storedPaper);

} // namespace tessary
