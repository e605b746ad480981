// The component stream a layout keeps its label font in, as
// LoadComponentFromBlob reads it from the card database. A stream that
// decodes must encode to one that decodes to the same label.

#include "fuzzinput.h"

#include "data/records.h"

using namespace tessary;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    LabelAppearance label;
    if (!decodeComponentStream(fuzz::bytesOf(data, size), label))
        return 0;
    // The writer leaves out what a stream without it means (left and top
    // alignment, automatic size, no caption, the parent's font): read back
    // onto those values.
    LabelAppearance again;
    again.alignment = LabelAppearance::Align::Left;
    again.autoSize = true;
    again.caption.clear();
    again.parentFont = true;
    again.layout = LabelAppearance::VAlign::Top;
    if (!decodeComponentStream(encodeComponentStream(label), again) || !(again == label))
        std::abort(); // the writer and the reader disagree
    return 0;
}
