#pragma once

#include "data/prompts.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;

namespace tessary {

// The program's font dialog "Font": face, style and size, the effects
// (strike-out, underline, colour) and a sample. The size list holds only the
// sizes it is given, so a caller can keep a font within what it prints well.
class FontDialog : public QDialog
{
    Q_OBJECT

public:
    FontDialog(const FontChoice &initial, FontSizes sizes, QWidget *parent = nullptr);

    FontChoice choice() const;

    QComboBox *cbFace;
    QComboBox *cbStyle;
    QComboBox *cbSize;
    QCheckBox *cbStrikeOut;
    QCheckBox *cbUnderline;
    QComboBox *cbColor;
    QLabel *lbSample;

private:
    void updateSample();
};

} // namespace tessary
