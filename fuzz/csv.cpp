// The CSV reader on any bytes: the UTF-8 check, the separator and libcsv.

#include "sheetinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    tessary::fuzz::readSheet(tessary::fuzz::inputFile(data, size, "csv"));
    return 0;
}
