// The layout dialog's page "Barcode": the barcode of the side shown, its
// symbology, field, module width and box, and the drawing of where it goes.

#include "card/layout.h"

#include "card/layoutcontrols.h"
#include "card/layoutdrawings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>

#include <functional>

namespace tessary {

using layoutcontrols::makeGroup;
using layoutcontrols::named;

namespace {

// The largest box edge or position the page takes, in millimetres.
constexpr double kBoxMaxMm = 100;

// A label and, after it, the control it names: the label is the control's
// buddy and its text the control's accessible name.
template <class Control>
Control *labelled(Control *control, const char *name, const QString &label, const QString &description,
                  const QRect &labelBox, const QRect &controlBox)
{
    auto *caption = new QLabel(label, control->parentWidget());
    caption->setObjectName(QStringLiteral("lb%1").arg(QString::fromLatin1(name).mid(2)));
    caption->setGeometry(labelBox);
    caption->setBuddy(control);
    named(control, name)->setGeometry(controlBox);
    control->setAccessibleName(label);
    control->setAccessibleDescription(description);
    return control;
}

QDoubleSpinBox *numberBox(QWidget *parent, double minimum, double maximum, int decimals)
{
    auto *box = new QDoubleSpinBox(parent);
    box->setRange(minimum, maximum);
    box->setDecimals(decimals);
    box->setSingleStep(decimals == 1 ? 0.1 : 0.01);
    box->setSuffix(QStringLiteral(" mm"));
    box->setAlignment(Qt::AlignRight);
    return box;
}

QCheckBox *checkBox(QWidget *parent, const char *name, const QString &text, const QString &description,
                    const QRect &geometry)
{
    auto *box = named(new QCheckBox(text, parent), name);
    box->setGeometry(geometry);
    box->setAccessibleName(text);
    box->setAccessibleDescription(description);
    return box;
}

} // namespace

void TFmLayout::buildBarcodePage(QWidget *page)
{
    cbBarcode = checkBox(page, "cbBarcode", QStringLiteral("Print a barcode"),
                         QStringLiteral("Prints the chosen field as a barcode on this side of the card"),
                         QRect(10, 6, 240, 22));

    QGroupBox *symbol = makeGroup(page, "gbSymbol", QStringLiteral("Symbol"), QRect(8, 30, 280, 150));
    lstSymbology = labelled(new QComboBox(symbol), "lstSymbology", QStringLiteral("Symbology"),
                            QStringLiteral("The kind of barcode"), QRect(12, 24, 92, 26), QRect(108, 24, 160, 26));
    for (const Symbology s : symbologies())
        lstSymbology->addItem(symbologyTitle(s), int(s));
    lstBarcodeField = labelled(new QComboBox(symbol), "lstBarcodeField", QStringLiteral("Field"),
                               QStringLiteral("The member field the barcode encodes"), QRect(12, 56, 92, 26),
                               QRect(108, 56, 160, 26));
    seModule = labelled(numberBox(symbol, BarcodeElement::kMinModuleWidth, BarcodeElement::kMaxModuleWidth, 2),
                        "seModule", QStringLiteral("Module width"),
                        QStringLiteral("Width of the narrowest bar or smallest square, in millimetres"),
                        QRect(12, 88, 92, 26), QRect(108, 88, 96, 26));
    seModule->setValue(BarcodeElement::kDefaultModuleWidth);
    cbHumanReadable = checkBox(symbol, "cbHumanReadable", QStringLiteral("Human-readable text"),
                               QStringLiteral("Prints the encoded text under the bars; Code 128 only"),
                               QRect(12, 120, 240, 22));

    QGroupBox *box = makeGroup(page, "gbBarcodeBox", QStringLiteral("Box on the card"), QRect(8, 186, 280, 88));
    const auto edge = [box](const char *name, const QString &label, const QString &description, int column, int row) {
        const int x = 12 + column * 136, y = 22 + row * 32;
        return labelled(numberBox(box, 0, kBoxMaxMm, 1), name, label, description, QRect(x, y, 44, 26),
                        QRect(x + 46, y, 80, 26));
    };
    seBarcodeLeft = edge("seBarcodeLeft", QStringLiteral("Left"),
                         QStringLiteral("Millimetres from the card's left edge to the box"), 0, 0);
    seBarcodeTop = edge("seBarcodeTop", QStringLiteral("Top"),
                        QStringLiteral("Millimetres from the card's top edge to the box"), 1, 0);
    seBarcodeWidth = edge("seBarcodeWidth", QStringLiteral("Width"),
                          QStringLiteral("Width of the box in millimetres"), 0, 1);
    seBarcodeHeight = edge("seBarcodeHeight", QStringLiteral("Height"),
                           QStringLiteral("Height of the box in millimetres"), 1, 1);

    QGroupBox *place = makeGroup(page, "gbBarcodePlace", QStringLiteral("On the card"), QRect(296, 30, 216, 244));
    imgBarcodePlace = named(new BarcodePlacement(place), "imgBarcodePlace");
    imgBarcodePlace->move((place->width() - imgBarcodePlace->width()) / 2, 26);
}

void TFmLayout::connectBarcode()
{
    // Every edit goes into the barcode of the side shown, then to the drawing.
    const auto edit = [this](const std::function<void(BarcodeElement &)> &change) {
        if (m_showing)
            return;
        change(shown().barcode);
        showBarcodePlace();
    };
    connect(cbBarcode, &QCheckBox::toggled, this,
            [edit](bool on) { edit([on](BarcodeElement &b) { b.enabled = on; }); });
    connect(lstSymbology, &QComboBox::currentIndexChanged, this, [this, edit](int i) {
        if (i >= 0)
            edit([&](BarcodeElement &b) { b.symbology = Symbology(lstSymbology->itemData(i).toInt()); });
    });
    connect(lstBarcodeField, &QComboBox::currentIndexChanged, this, [this, edit](int i) {
        if (i >= 0)
            edit([&](BarcodeElement &b) { b.field = lstBarcodeField->itemData(i).toString(); });
    });
    connect(seModule, &QDoubleSpinBox::valueChanged, this,
            [edit](double v) { edit([v](BarcodeElement &b) { b.moduleWidth = v; }); });
    connect(cbHumanReadable, &QCheckBox::toggled, this,
            [edit](bool on) { edit([on](BarcodeElement &b) { b.humanReadable = on; }); });
    const std::pair<QDoubleSpinBox *, Distance MmBox::*> edges[] = {
        {seBarcodeLeft, &MmBox::left}, {seBarcodeTop, &MmBox::top},
        {seBarcodeWidth, &MmBox::width}, {seBarcodeHeight, &MmBox::height}};
    for (const auto &e : edges) {
        Distance MmBox::*part = e.second;
        connect(e.first, &QDoubleSpinBox::valueChanged, this,
                [edit, part](double v) { edit([&](BarcodeElement &b) { b.box.*part = Distance::mm(v); }); });
    }
}

// Called by ShowSettings, with the change signals not writing back.
void TFmLayout::showBarcode()
{
    const BarcodeElement &b = shown().barcode;
    cbBarcode->setChecked(b.enabled);
    lstSymbology->setCurrentIndex(lstSymbology->findData(int(b.symbology)));
    // The fields a barcode may encode, and a stored one not among them, so
    // that it is never lost.
    lstBarcodeField->clear();
    int chosen = -1;
    for (const auto &[column, title] : settings.barcodeFields()) {
        if (column.compare(b.field, Qt::CaseInsensitive) == 0)
            chosen = lstBarcodeField->count();
        lstBarcodeField->addItem(title, column);
    }
    if (chosen < 0 && !b.field.isEmpty()) {
        chosen = lstBarcodeField->count();
        lstBarcodeField->addItem(b.field, b.field);
    }
    lstBarcodeField->setCurrentIndex(chosen);
    seModule->setValue(b.moduleWidth);
    cbHumanReadable->setChecked(b.humanReadable);
    seBarcodeLeft->setValue(b.box.left.toMm());
    seBarcodeTop->setValue(b.box.top.toMm());
    seBarcodeWidth->setValue(b.box.width.toMm());
    seBarcodeHeight->setValue(b.box.height.toMm());
    showBarcodePlace();
}

void TFmLayout::showBarcodePlace()
{
    const BarcodeElement &b = shown().barcode;
    cbHumanReadable->setEnabled(b.symbology == Symbology::Code128);
    imgBarcodePlace->setPlacement(b.box.toRectF(), b.enabled, settings.style);
}

} // namespace tessary
