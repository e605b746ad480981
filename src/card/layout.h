#pragma once

#include "card/composition.h"
#include "card/layoutsettings.h"
#include "data/datasrc.h"

#include <QDialog>

#include <array>
#include <memory>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QSpinBox;
class QTabWidget;

namespace tessary {

class BarcodePlacement;
class ImageControl;

// The card layout dialog object. It opens its own queries `param` and
// `fields` on the card database and keeps them open for its lifetime, and
// loads the stored layout into `settings` when it is created. Print and
// preview commands create one without showing it, only to hold the stored
// settings; the dialog "Card Layout" edits the same value through its
// controls: every control writes its edit into `settings` at once, and
// loading or saving shows `settings` in the controls again. Nothing reaches
// the database but "Save Settings".
class TFmLayout : public QDialog
{
    Q_OBJECT
public:
    // Loads the stored settings. A loading error is shown by the general
    // error report; what loaded before it stays, the rest keeps the initial
    // states.
    explicit TFmLayout(Tdsrc &data, QWidget *parent = nullptr);
    ~TFmLayout() override;

    Tdsrc &data() const { return m_data; }

    // The dialog's result when it was closed by "Preview".
    static constexpr int PreviewResult = 2;

    // The command "Card Layout": one dialog object, shown modally; after
    // "Preview" the sample cards are previewed through `output` and the same
    // object is shown again with its edits. Any other way of closing ends
    // the command and discards unsaved edits.
    static void ShowLayout(Tdsrc &data, CardOutput &output, QWidget *owner = nullptr);

    // The dialog's "Preview" after the dialog has closed: the sample members
    // with the settings as edited, on the stored paper, through `output`.
    void PreviewSample(CardOutput &output);

    // The working copy of the layout.
    LayoutSettings settings;

    Query param;
    Query fields;

    // Loads the stored settings into `settings` (throws on a database error).
    void LoadSettings();
    // Writes `settings` into the database, reloads the field lists and shows
    // "Settings are saved.".
    void SaveSettings();
    // Field lists, row selections, paper, alignment, offsets and captions
    // again from what is stored.
    void ReloadFieldLists();

    // The value of a column of the open `param` row as an integer, exactly
    // as stored (no range applied).
    int ReadStoredInteger(const QString &column);

    // The card run: the cards of the rows of the open member query `QList`
    // with these settings, on the stored paper (not the one being edited),
    // printed or previewed through `output`. QList is neither opened nor
    // closed here.
    void CardRun(CardMode mode, CardOutput &output);

    // Shows `settings` in the controls.
    void ShowSettings();

    // The side of the card the pages "Data Fields", "Card Background" and
    // "Barcode" show and edit ("Front" or "Back" above the pages); the other
    // pages apply to the whole card.
    CardFace face() const { return m_face; }
    // Shows `side` in those pages; `settings` stays as it is.
    void ShowFace(CardFace side);

    // Control events.
    void bCaptionClick(int row);
    void lstFieldChange(int row);
    void bLoadClick();
    void bClearClick();
    void bRotateClick();
    void Button10Click(); // "Adjust": the touch-up dialog on the background
    void rbStyleClick(CardStyle style);
    void cbCustomClick();
    void bChangeClick();
    void bResetClick();
    void bPreviewClick();
    void bSaveClick();

    // The controls, each named as its objectName.
    // Above the pages: the side shown, and "Print the back".
    QRadioButton *rbFront = nullptr;
    QRadioButton *rbBack = nullptr;
    QCheckBox *cbPrintTheBack = nullptr;
    QTabWidget *pcLayout = nullptr;
    // "Data Fields"
    QGroupBox *gbCaptions = nullptr;
    std::array<QPushButton *, kCardRows> bCaption{};
    QGroupBox *gbFields = nullptr;
    std::array<QComboBox *, kCardRows> lstField{};
    // "Card Background"
    QCheckBox *cbPrintBack = nullptr;
    QGroupBox *gbBack = nullptr;
    ImageControl *imgBack = nullptr;
    QPushButton *bLoad = nullptr;
    QPushButton *bClear = nullptr;
    QPushButton *bRotate = nullptr;
    QPushButton *Button10 = nullptr; // "Adjust", never visible
    // "Card Style"
    QGroupBox *rgStyle = nullptr;
    std::array<QRadioButton *, 3> rbStyle{};
    // "Custom Options"
    QCheckBox *cbCustom = nullptr;
    QGroupBox *gbOptions = nullptr;
    QCheckBox *cbLines = nullptr;
    QCheckBox *cbCaptions = nullptr;
    QGroupBox *gbPosition = nullptr;
    QSpinBox *sePosition = nullptr;
    QGroupBox *gbFont = nullptr;
    QLabel *lbFont = nullptr;
    QPushButton *bChange = nullptr;
    // "Paper"
    QGroupBox *rgSize = nullptr;
    std::array<QRadioButton *, 3> rbPaper{}; // A6, A4, ID-1 card
    QGroupBox *rgAlign = nullptr; // never visible; carries the alignment
    std::array<QRadioButton *, 3> rbAlign{};
    QGroupBox *gbAdjust = nullptr;
    QScrollBar *sbX = nullptr;
    QScrollBar *sbY = nullptr;
    QLabel *lbX = nullptr;
    QLabel *lbY = nullptr;
    QPushButton *bReset = nullptr;
    // "Barcode", of the side shown
    QCheckBox *cbBarcode = nullptr;
    QComboBox *lstSymbology = nullptr;
    QComboBox *lstBarcodeField = nullptr;
    QDoubleSpinBox *seModule = nullptr;
    QCheckBox *cbHumanReadable = nullptr;
    QDoubleSpinBox *seBarcodeLeft = nullptr;
    QDoubleSpinBox *seBarcodeTop = nullptr;
    QDoubleSpinBox *seBarcodeWidth = nullptr;
    QDoubleSpinBox *seBarcodeHeight = nullptr;
    BarcodePlacement *imgBarcodePlace = nullptr;
    // The bottom row.
    QPushButton *bPreview = nullptr;
    QPushButton *bSave = nullptr;
    QPushButton *bExit = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // What of `settings` the side-dependent controls show: the front's or
    // the back's.
    struct FaceValues
    {
        std::array<int, kCardRows> &rowField;
        std::array<QString, kCardRows> &rowCaption;
        QImage &background;
        bool &backgroundEdited;
        bool &printBackground;
        BarcodeElement &barcode;
    };
    FaceValues shown();

    void buildWindow();
    void buildFaceRow();
    void buildFieldsPage(QWidget *page);
    void buildBackgroundPage(QWidget *page);
    void buildStylePage(QWidget *page);
    void buildCustomPage(QWidget *page);
    void buildPaperPage(QWidget *page);
    void buildBarcodePage(QWidget *page);
    void connectControls();
    void connectBarcode();
    void showBackground();
    void showBarcode();
    // The drawing and the human-readable box after a barcode edit or a
    // style change.
    void showBarcodePlace();
    void showSampleFont();
    void fitPictureBox();

    Tdsrc &m_data;
    // Set while ShowSettings fills the controls, so their change signals do
    // not write back into `settings` half-way.
    bool m_showing = false;
    CardFace m_face = CardFace::Front;
};

} // namespace tessary
