// The .xlsx reader on any bytes: the archive, its parts and the sheet's XML.

#include "sheetinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    tessary::fuzz::readSheet(tessary::fuzz::inputFile(data, size, "xlsx"));
    return 0;
}
