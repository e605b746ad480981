// Pictures: the stored JPEG reader (photo and background values of the card
// database, JPEG files) and the BMP file reader, each on the same bytes, and
// the decoded picture brought to a frame's size.

#include "fuzzinput.h"

#include "photo/jpegcodec.h"
#include "photo/picture.h"

using namespace tessary;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QImage stored = LoadPictureFromBlob(fuzz::bytesOf(data, size));
    if (stored.isNull())
        std::abort(); // a value that cannot be decoded gives the placeholder
    const QImage bitmap = ReadBitmapFile(fuzz::inputFile(data, size, "bmp"));
    (void)PictureAtSize(bitmap, 7, 9);
    return 0;
}
