#include "printerdialog.h"

#include "data/connection.h"
#include "data/errors.h"
#include "data/prompts.h"
#include "data/query.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QPrinterInfo>
#include <QVBoxLayout>

#include <cmath>

namespace tessary {

namespace {

QDoubleSpinBox *tenthsBox(QWidget *parent, int lowest, int highest, const QString &suffix)
{
    auto *box = new QDoubleSpinBox(parent);
    box->setDecimals(1);
    box->setSingleStep(0.1);
    box->setRange(lowest / 10.0, highest / 10.0);
    box->setSuffix(suffix);
    return box;
}

int tenths(const QDoubleSpinBox *box) { return int(std::lround(box->value() * 10)); }

// A row "caption: control"; the caption is the control's buddy, and the
// control is named for assistive technology with its side.
void addRow(QFormLayout *form, const QString &caption, QWidget *control, const QString &accessibleName)
{
    auto *label = new QLabel(caption, form->parentWidget());
    label->setBuddy(control);
    control->setAccessibleName(accessibleName);
    form->addRow(label, control);
}

} // namespace

TFmPrinterSettings::TFmPrinterSettings(const QStringList &printers, const QString &initial,
                                       PrinterSettingsEditor::OptionsSource options, SheetPaper paper, QWidget *owner)
    : QDialog(owner), m_editor(printers, initial, std::move(options)), m_paper(paper)
{
    setObjectName(QStringLiteral("PrinterSettings"));
    setWindowTitle(QStringLiteral("Printer Settings"));
    auto *layout = new QVBoxLayout(this);

    auto *top = new QFormLayout;
    layout->addLayout(top);
    cbPrinter = new QComboBox(this);
    cbPrinter->addItems(printers);
    auto *printerLabel = new QLabel(QStringLiteral("&Printer"), this);
    printerLabel->setBuddy(cbPrinter);
    // A combo box is named by the text it shows; what it chooses is said
    // in its description.
    cbPrinter->setAccessibleDescription(QStringLiteral("Printer"));
    top->addRow(printerLabel, cbPrinter);

    auto *sides = new QHBoxLayout;
    layout->addLayout(sides);
    sides->addWidget(sideBox(QStringLiteral("Front"), front));
    QWidget *backBox = sideBox(QStringLiteral("Back"), back);
    cbTurnBack = new QCheckBox(QStringLiteral("&Turn the back by 180°"), backBox);
    static_cast<QFormLayout *>(backBox->layout())->addRow(cbTurnBack);
    sides->addWidget(backBox);

    auto *bottom = new QFormLayout;
    layout->addLayout(bottom);
    cbTwoSided = new QComboBox(this);
    auto *twoSidedLabel = new QLabel(QStringLiteral("Two-&sided printing"), this);
    twoSidedLabel->setBuddy(cbTwoSided);
    cbTwoSided->setAccessibleDescription(QStringLiteral("Two-sided printing"));
    bottom->addRow(twoSidedLabel, cbTwoSided);

    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    bCalibrationCard = buttons->addButton(QStringLiteral("Print &Calibration Card"), QDialogButtonBox::ActionRole);
    layout->addWidget(buttons);
    connect(bCalibrationCard, &QPushButton::clicked, this, [this] {
        takeControls();
        guarded([this] {
            QString error;
            if (!printCalibrationCard(m_editor.current(), m_paper, m_editor.setup(), &error))
                throw Error(error);
        });
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &TFmPrinterSettings::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TFmPrinterSettings::reject);

    cbPrinter->setCurrentText(m_editor.current());
    showPrinter();
    connect(cbPrinter, &QComboBox::currentTextChanged, this, [this](const QString &queue) {
        takeControls();
        m_editor.select(queue);
        showPrinter();
    });
}

QWidget *TFmPrinterSettings::sideBox(const QString &title, SideControls &controls)
{
    auto *box = new QGroupBox(title, this);
    auto *form = new QFormLayout(box);
    const QString mm = QStringLiteral(" mm"), percent = QStringLiteral(" %");
    controls.offsetX = tenthsBox(box, kCalibrationOffsetMin, kCalibrationOffsetMax, mm);
    controls.offsetY = tenthsBox(box, kCalibrationOffsetMin, kCalibrationOffsetMax, mm);
    controls.scaleX = tenthsBox(box, kCalibrationScaleMin, kCalibrationScaleMax, percent);
    controls.scaleY = tenthsBox(box, kCalibrationScaleMin, kCalibrationScaleMax, percent);
    addRow(form, QStringLiteral("Horizontal offset"), controls.offsetX, title + QStringLiteral(" horizontal offset"));
    addRow(form, QStringLiteral("Vertical offset"), controls.offsetY, title + QStringLiteral(" vertical offset"));
    addRow(form, QStringLiteral("Horizontal scale"), controls.scaleX, title + QStringLiteral(" horizontal scale"));
    addRow(form, QStringLiteral("Vertical scale"), controls.scaleY, title + QStringLiteral(" vertical scale"));
    return box;
}

void TFmPrinterSettings::showPrinter()
{
    const bool any = !m_editor.current().isEmpty();
    for (QWidget *w : std::initializer_list<QWidget *>{front.offsetX, front.offsetY, front.scaleX, front.scaleY,
                                                       back.offsetX, back.offsetY, back.scaleX, back.scaleY,
                                                       cbTurnBack, cbTwoSided, cbPrinter, bCalibrationCard})
        w->setEnabled(any);
    cbTwoSided->clear();
    if (!any)
        return;
    const PrinterSettings &s = m_editor.settings();
    for (const auto &[controls, side] : {std::pair{&front, &s.front}, std::pair{&back, &s.back}}) {
        controls->offsetX->setValue(side->offsetX / 10.0);
        controls->offsetY->setValue(side->offsetY / 10.0);
        controls->scaleX->setValue(side->scaleX / 10.0);
        controls->scaleY->setValue(side->scaleY / 10.0);
    }
    cbTurnBack->setChecked(s.back.turned);
    for (const PrinterSettingsEditor::TwoSidedEntry &entry : m_editor.twoSidedEntries())
        cbTwoSided->addItem(entry.text);
    cbTwoSided->setCurrentIndex(m_editor.twoSidedEntry());
}

void TFmPrinterSettings::takeControls()
{
    if (m_editor.current().isEmpty())
        return;
    PrinterSettings &s = m_editor.settings();
    for (const auto &[controls, side] : {std::pair{&front, &s.front}, std::pair{&back, &s.back}}) {
        side->offsetX = tenths(controls->offsetX);
        side->offsetY = tenths(controls->offsetY);
        side->scaleX = tenths(controls->scaleX);
        side->scaleY = tenths(controls->scaleY);
    }
    s.back.turned = cbTurnBack->isChecked();
    if (cbTwoSided->currentIndex() != m_editor.twoSidedEntry())
        m_editor.chooseTwoSidedEntry(cbTwoSided->currentIndex());
}

void TFmPrinterSettings::accept()
{
    takeControls();
    if (guarded([this] { m_editor.save(); }))
        QDialog::accept();
}

void TFmPrinterSettings::ShowPrinterSettings(SheetPaper paper, QWidget *owner)
{
    const QStringList printers = QPrinterInfo::availablePrinterNames();
    if (printers.isEmpty())
        throw Error(QStringLiteral("No printer is installed."));
    TFmPrinterSettings dialog(printers, calibrationPrinter(printers, QPrinterInfo::defaultPrinterName()),
                              printerOptions, paper, owner);
    dialog.exec();
}

SheetPaper storedSheetPaper(Connection &database)
{
    if (!database.connected())
        return SheetPaper::A4;
    Query param(&database, QStringLiteral("calibrationPaper"));
    param.setSql({QStringLiteral("select psize from param")});
    param.open();
    const bool a4 = param.recordCount() > 0 && param.fieldByName(QStringLiteral("psize")).asInteger() == 1;
    return a4 ? SheetPaper::A4 : SheetPaper::A6;
}

void PrintCalibrationCard(SheetPaper paper)
{
    const QString queue = calibrationPrinter(QPrinterInfo::availablePrinterNames(), QPrinterInfo::defaultPrinterName());
    if (queue.isEmpty())
        throw Error(QStringLiteral("No printer is installed."));
    QString error;
    if (!printCalibrationCard(queue, paper, &error))
        throw Error(error);
}

void addPrinterCommands(QMenu &menu, QWidget &owner, const std::function<SheetPaper()> &sheetPaper)
{
    QAction *settings = menu.addAction(QStringLiteral("Printer &Settings…"));
    settings->setObjectName(QStringLiteral("actPrinterSettings"));
    QObject::connect(settings, &QAction::triggered, &owner, [&owner, sheetPaper] {
        guarded([&] { TFmPrinterSettings::ShowPrinterSettings(sheetPaper(), &owner); });
    });
    QAction *calibration = menu.addAction(QStringLiteral("Print Calibration C&ard"));
    calibration->setObjectName(QStringLiteral("actCalibrationCard"));
    QObject::connect(calibration, &QAction::triggered, &owner,
                     [sheetPaper] { guarded([&sheetPaper] { PrintCalibrationCard(sheetPaper()); }); });
}

} // namespace tessary
