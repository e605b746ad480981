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
// Stores what `param` cannot hold in the layout's document: the chosen
// paper beside the `psize` it goes with, "Print the back", the back and both
// barcodes. An unedited back background keeps its stored bytes.
void saveLayoutDocument(Connection &db, const LayoutSettings &settings, int storedPaper);
// Reads the back, "Print the back" and both barcodes from the layout's
// document into `settings` (its catalogue already loaded). What is missing
// keeps its initial state; a document that cannot be read leaves them all
// so, and says why in `warning`.
void loadLayoutDocument(Connection &db, LayoutSettings &settings, QString *warning = nullptr);

} // namespace tessary
