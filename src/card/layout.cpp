#include "layout.h"
#include "photoui/centring.h"

#include "card/cardprinting.h"
#include "data/errors.h"
#include "data/prompts.h"
#include "photo/picture.h"
#include "photoui/imagecontrol.h"
#include "photoui/picturecontrol.h"
#include "photoui/touchdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>

namespace tessary {

namespace {

// The longest caption the catalogue stores.
constexpr int kCaptionMaxLength = 255;
// The sizes the font dialog offers for the sample font.
constexpr FontSizes kSampleFontSizes{kSampleFontMinPoints, kSampleFontMaxPoints};

} // namespace

TFmLayout::TFmLayout(Tdsrc &data, QWidget *parent)
    : QDialog(parent)
    , param(&data.src, QStringLiteral("param"), this)
    , fields(&data.src, QStringLiteral("fields"), this)
    , m_data(data)
{
    setObjectName(QStringLiteral("FmLayout"));
    setWindowTitle(QStringLiteral("Card Layout"));
    setModal(true);
    param.setSql(layoutParamSql());
    param.setDeclaredColumns(layoutParamColumns());
    fields.setSql(layoutFieldsSql());
    fields.setDeclaredColumns(layoutFieldsColumns());
    buildWindow();
    // A loading error is reported; the controls show what loaded and the
    // initial states for the rest.
    guarded([this] { LoadSettings(); });
}

TFmLayout::~TFmLayout() = default;

void TFmLayout::LoadSettings()
{
    try {
        loadLayoutSettings(param, fields, settings);
    } catch (...) {
        ShowSettings();
        pcLayout->setCurrentIndex(0);
        throw;
    }
    ShowSettings();
    pcLayout->setCurrentIndex(0);
}

void TFmLayout::SaveSettings()
{
    try {
        saveLayoutSettings(param, fields, settings);
    } catch (...) {
        ShowSettings();
        throw;
    }
    ShowSettings();
    ShowSettingsSaved();
}

void TFmLayout::ReloadFieldLists()
{
    param.first();
    reloadFieldLists(param, fields, settings);
    ShowSettings();
}

int TFmLayout::ReadStoredInteger(const QString &column)
{
    if (!param.isOpen())
        param.open();
    return param.fieldByName(column).asInteger();
}

void TFmLayout::CardRun(CardMode mode, CardOutput &output)
{
    runLayoutCards(m_data, settings, ReadStoredInteger(QStringLiteral("psize")), mode, output);
}

void TFmLayout::ShowLayout(Tdsrc &data, CardOutput &output, QWidget *owner)
{
    TFmLayout dialog(data, owner);
    if (!dialog.settings.documentProblem.isEmpty())
        ShowErrorBox(partlyUnusableDesign(dialog.settings.documentProblem) +
                     QStringLiteral(" Saving the settings replaces it."));
    while (dialog.exec() == PreviewResult) {
        // A failing preview is reported and the dialog comes back with its
        // edits, as after any preview.
        guarded([&] { dialog.PreviewSample(output); });
    }
}

void TFmLayout::PreviewSample(CardOutput &output)
{
    CardPrinting printing(m_data, output);
    printing.PreviewSample(*this);
}

// ---------------------------------------------------------------------------

void TFmLayout::bCaptionClick(int row)
{
    QPushButton *button = bCaption[size_t(row)];
    const QString current = button->text();
    const std::optional<QString> entered =
        prompts().inputText(QStringLiteral("Change caption name"), current, kCaptionMaxLength, current);
    if (!entered)
        return;
    shown().rowCaption[size_t(row)] = *entered;
    button->setText(*entered);
    button->setAccessibleName(entered->isEmpty() ? QStringLiteral("Caption of row %1").arg(row + 1) : *entered);
}

void TFmLayout::lstFieldChange(int row)
{
    if (!m_showing)
        shown().rowField[size_t(row)] = lstField[size_t(row)]->currentIndex();
}

TFmLayout::FaceValues TFmLayout::shown()
{
    if (m_face == CardFace::Back) {
        BackSettings &b = settings.back;
        return {b.rowField, b.rowCaption, b.background, b.backgroundEdited, b.printBackground, b.barcode};
    }
    return {settings.rowField,         settings.rowCaption,      settings.background,
            settings.backgroundEdited, settings.printBackground, settings.frontBarcode};
}

void TFmLayout::ShowFace(CardFace side)
{
    m_face = side;
    ShowSettings();
}

void TFmLayout::showBackground()
{
    const QImage &picture = shown().background;
    // A back without a background prints on white, and shows so.
    if (picture.isNull() && m_face == CardFace::Back) {
        imgBack->setPicture(ClearedPicture());
        imgBack->setHint(QStringLiteral("No background"));
        imgBack->setShowHint(true);
        return;
    }
    imgBack->setPicture(picture);
    ShowPictureSize(*imgBack);
}

void TFmLayout::bLoadClick()
{
    LoadPictureFile(this, *imgBack, 0, 0);
}

void TFmLayout::bClearClick()
{
    QImage white = imgBack->picture();
    if (white.isNull())
        white = ClearedPicture();
    white.fill(Qt::white);
    imgBack->setPicture(std::move(white));
    ShowPictureSize(*imgBack);
}

void TFmLayout::bRotateClick()
{
    RotatePicture(this, *imgBack);
    ShowPictureSize(*imgBack);
}

void TFmLayout::Button10Click()
{
    QImage picture = imgBack->picture();
    if (TDlgTouch::TouchUp(this, picture)) {
        imgBack->setPicture(std::move(picture));
        ShowPictureSize(*imgBack);
    }
}

void TFmLayout::rbStyleClick(CardStyle style)
{
    settings.style = style;
    // A barcode not yet printed takes the new style's place for it.
    for (CardFace face : {CardFace::Front, CardFace::Back})
        if (!settings.barcode(face).enabled)
            settings.barcode(face).box = defaultBarcode(face, style).box;
    fitPictureBox();
    m_showing = true;
    showBarcode();
    m_showing = false;
}

void TFmLayout::cbCustomClick()
{
    const bool on = cbCustom->isChecked();
    if (!m_showing)
        settings.custom = on;
    // Hidden groups keep their values; they are saved all the same.
    gbOptions->setVisible(on);
    gbFont->setVisible(on);
}

void TFmLayout::bChangeClick()
{
    const std::optional<FontChoice> chosen =
        prompts().chooseFont({settings.sampleFont(), settings.sampleColor()}, kSampleFontSizes);
    if (!chosen)
        return;
    settings.setSampleFont(chosen->font, chosen->color);
    showSampleFont();
}

void TFmLayout::bResetClick()
{
    sbX->setValue(0);
    sbY->setValue(0);
}

void TFmLayout::bPreviewClick()
{
    done(PreviewResult);
}

void TFmLayout::bSaveClick()
{
    SaveSettings();
}

void TFmLayout::showEvent(QShowEvent *event)
{
    CentreOnScreen(*this);
    QDialog::showEvent(event);
}

} // namespace tessary
