#pragma once

// Shared by the fuzz targets of the sheet readers.

#include "fuzzinput.h"

#include "exchange/sheetreader.h"

#include "data/errors.h"

namespace tessary::fuzz {

// Opens the sheet (by the file's extension, as the reader process does) and
// reads every row, each cell as the import reads it. A file the reader
// refuses is fine; anything else escaping is a fault.
inline void readSheet(const QString &path)
{
    try {
        const std::unique_ptr<SheetReader> sheet = openSheet(path);
        (void)sheet->columnNames();
        (void)sheet->rowCount();
        QVector<SheetCell> row;
        while (sheet->nextRow(row))
            for (const SheetCell &cell : row)
                (void)cell.asText();
    } catch (const Error &) {
    }
}

} // namespace tessary::fuzz
