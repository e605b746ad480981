#pragma once

#include "query.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace tessary {

// A field's value as text; the empty text when there is no such field, when
// the value is empty or when it cannot be converted. Never fails.
QString FieldText(const std::optional<Field> &field);

// Sets a text field to the lines joined, each followed by CR LF.
void SetFieldFromLines(Field field, const QStringList &lines);

// The appearance of a text label as kept in a BLOB column: position, size,
// alignment, caption and font. Colours are 0x00BBGGRR values; font heights
// are negative pixel heights. The defaults are those of the card layout's
// sample label.
struct LabelAppearance
{
    enum class Align { Left, Right, Center };
    enum class VAlign { Top, Center, Bottom };
    enum StyleFlag { Bold = 1, Italic = 2, Underline = 4, StrikeOut = 8 };

    QString className = QStringLiteral("TLabel");
    QString componentName = QStringLiteral("lbFont");
    int left = 8;
    int top = 8;
    int width = 200;
    int height = 40;
    Align alignment = Align::Center;
    bool autoSize = false;
    QString caption = QStringLiteral("Demo Text");
    int fontCharset = 1; // DEFAULT_CHARSET
    quint32 fontColor = 0; // black
    int fontHeight = -17;
    QString fontName = QStringLiteral("Arial");
    int fontStyle = 0; // StyleFlag bits
    bool parentFont = false;
    VAlign layout = VAlign::Center;

    bool operator==(const LabelAppearance &) const = default;
};

// The component stream: "TPF0", class name, component name, the property
// list ended by a zero byte, and an empty child list (one zero byte).
QByteArray encodeComponentStream(const LabelAppearance &label);
// Applies a stream to `label`. Unknown properties of any value type are
// skipped; on empty, truncated or malformed bytes `label` is left exactly as
// it was and false is answered.
bool decodeComponentStream(const QByteArray &bytes, LabelAppearance &label);

// Writes the label's stream into the BLOB field of the row in edit; a failure
// to store it is ignored.
void SaveComponentToBlob(Field field, const LabelAppearance &label);
// Reads the field and applies it; the label is unchanged on any failure.
void LoadComponentFromBlob(Field field, LabelAppearance &label);

} // namespace tessary
