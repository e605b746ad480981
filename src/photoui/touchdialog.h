#pragma once

#include <QDialog>
#include <QImage>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace tessary {

class ImageControl;

// The colour adjustments with the progress window "Progress" (owned by
// `owner`, may be null) advancing once per pixel row; see photo/touchup.h.
// A picture without rows is refused with the window's range error before
// the window appears, and the picture is left unchanged.
void AdjustColorComponents(QWidget *owner, QImage &picture, int red, int green, int blue);
void AdjustIntensitySaturation(QWidget *owner, QImage &picture, int intensity, int saturation);

// The touch-up dialog "Photo Touchup": the unadjusted picture (imgSrc) and
// a preview (imgDst) side by side, percentages for red, green and blue, and
// for intensity and saturation. Each "Preview" starts again from the
// unadjusted picture, so the preview shows only the one adjustment last
// run. "Confirm" closes with Accepted, "Cancel" and the close box with
// Rejected.
class TDlgTouch : public QDialog
{
    Q_OBJECT

public:
    explicit TDlgTouch(QWidget *owner = nullptr);

    // Opens the dialog modally on a copy of `picture`. On "Confirm" the
    // picture becomes a copy of the preview (empty when no preview was run);
    // otherwise it is left alone. True when confirmed.
    static bool TouchUp(QWidget *owner, QImage &picture);

    // The picture to adjust: shown in imgSrc. The preview is left as it is.
    void setSource(const QImage &picture);
    // What "Confirm" hands back: the preview's picture.
    const QImage &preview() const;

    // Bar and button events.
    void sbRedChange();
    void CheckBox1Click();
    void CheckBox2Click();
    void sbBrightChange();
    void Button3Click(); // colour-component preview
    void Button4Click(); // intensity/saturation preview
    void Button5Click(); // colour reset
    void Button6Click(); // intensity/saturation reset

    QGroupBox *gbSrc;
    ImageControl *imgSrc;
    QGroupBox *GroupBox1;
    ImageControl *imgDst;
    QGroupBox *GroupBox2;
    QScrollBar *sbRed;
    QScrollBar *sbGreen;
    QScrollBar *sbBlue;
    QLabel *lbRed;
    QLabel *lbGreen;
    QLabel *lbBlue;
    QPushButton *Button3;
    QCheckBox *CheckBox1;
    QPushButton *Button5;
    QGroupBox *GroupBox3;
    QScrollBar *sbBright;
    QScrollBar *sbSat;
    QLabel *lbBright;
    QLabel *lbSat;
    QPushButton *Button4;
    QPushButton *Button6;
    QCheckBox *CheckBox2;
    QPushButton *Button1; // "Confirm"
    QPushButton *Button2; // "Cancel"

protected:
    void showEvent(QShowEvent *event) override;
};

} // namespace tessary
