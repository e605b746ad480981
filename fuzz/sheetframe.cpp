// The frames from the reader process, as the import decodes them: a frame's
// payload (without its 4-byte length). A payload that decodes must encode to
// a frame that decodes to the same.

#include "sheetinput.h"

#include <cstring>

using namespace tessary;

namespace {

bool sameCells(const QVector<SheetCell> &a, const QVector<SheetCell> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i].kind != b[i].kind || a[i].text != b[i].text ||
            std::memcmp(&a[i].number, &b[i].number, sizeof(double)) != 0)
            return false;
    return true;
}

QByteArray encoded(const sheetframe::Decoded &d)
{
    switch (d.tag) {
    case sheetframe::Tag::Header: return sheetframe::header(d.columns, d.rowCount);
    case sheetframe::Tag::Row: return sheetframe::row(d.cells);
    case sheetframe::Tag::Error: return sheetframe::error(d.message);
    case sheetframe::Tag::End: return sheetframe::end();
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const sheetframe::Decoded d = sheetframe::decode(fuzz::bytesOf(data, size));
    if (!d.ok)
        return 0;
    const sheetframe::Decoded again = sheetframe::decode(encoded(d).mid(4));
    if (!again.ok || again.tag != d.tag || again.rowCount != d.rowCount || again.columns != d.columns ||
        again.message != d.message || !sameCells(again.cells, d.cells))
        std::abort(); // the writer and the reader disagree
    return 0;
}
