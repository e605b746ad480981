#include "fontdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tessary {

namespace {

// The colours the effects offer: the sixteen colours of the basic palette.
struct NamedColor
{
    const char *name;
    QRgb rgb;
};
constexpr NamedColor kColors[] = {
    {"Black", 0x000000},  {"Maroon", 0x800000}, {"Green", 0x008000},   {"Olive", 0x808000},
    {"Navy", 0x000080},   {"Purple", 0x800080}, {"Teal", 0x008080},    {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0xFF0000},    {"Lime", 0x00FF00},    {"Yellow", 0xFFFF00},
    {"Blue", 0x0000FF},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0x00FFFF},   {"White", 0xFFFFFF},
};

QPixmap swatch(QColor colour)
{
    QPixmap pixmap(24, 12);
    pixmap.fill(colour);
    QPainter painter(&pixmap);
    painter.setPen(Qt::darkGray);
    painter.drawRect(0, 0, 23, 11);
    return pixmap;
}

QLabel *caption(const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

} // namespace

FontDialog::FontDialog(const FontChoice &initial, FontSizes sizes, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FontDialog"));
    setWindowTitle(QStringLiteral("Font"));

    // The installed faces; a face the system only substitutes (such as
    // "Arial" drawn by a look-alike) is offered under its own name, so that
    // OK without a change keeps it.
    cbFace = new QComboBox(this);
    cbFace->setObjectName(QStringLiteral("cbFace"));
    QStringList faces = QFontDatabase::families();
    const QString face = initial.font.family();
    if (!face.isEmpty() && !faces.contains(face, Qt::CaseInsensitive)) {
        faces << face;
        faces.sort(Qt::CaseInsensitive);
    }
    cbFace->addItems(faces);
    cbFace->setCurrentIndex(std::max(0, cbFace->findText(face, Qt::MatchFixedString)));

    cbStyle = new QComboBox(this);
    cbStyle->setObjectName(QStringLiteral("cbStyle"));
    cbStyle->addItems({QStringLiteral("Regular"), QStringLiteral("Italic"), QStringLiteral("Bold"),
                       QStringLiteral("Bold Italic")});
    cbStyle->setCurrentIndex((initial.font.bold() ? 2 : 0) + (initial.font.italic() ? 1 : 0));

    cbSize = new QComboBox(this);
    cbSize->setObjectName(QStringLiteral("cbSize"));
    QList<int> points;
    if (sizes.minimum > 0 && sizes.maximum >= sizes.minimum) {
        for (int p = sizes.minimum; p <= sizes.maximum; ++p)
            points << p;
    } else {
        points = QFontDatabase::standardSizes();
    }
    for (int p : points)
        cbSize->addItem(QString::number(p), p);
    // The nearest offered size to the initial one.
    const int wanted = initial.font.pointSize() > 0 ? initial.font.pointSize() : 10;
    int best = 0;
    for (int i = 0; i < points.size(); ++i)
        if (std::abs(points.at(i) - wanted) < std::abs(points.at(best) - wanted))
            best = i;
    cbSize->setCurrentIndex(best);

    auto *effects = new QGroupBox(QStringLiteral("Effects"), this);
    cbStrikeOut = new QCheckBox(QStringLiteral("Stri&keout"), effects);
    cbStrikeOut->setObjectName(QStringLiteral("cbStrikeOut"));
    cbStrikeOut->setChecked(initial.font.strikeOut());
    cbUnderline = new QCheckBox(QStringLiteral("&Underline"), effects);
    cbUnderline->setObjectName(QStringLiteral("cbUnderline"));
    cbUnderline->setChecked(initial.font.underline());
    cbColor = new QComboBox(effects);
    cbColor->setObjectName(QStringLiteral("cbColor"));
    int colourIndex = -1;
    for (const NamedColor &c : kColors) {
        cbColor->addItem(QIcon(swatch(QColor(c.rgb))), QString::fromLatin1(c.name), QColor(c.rgb));
        if (QColor(c.rgb) == initial.color.toRgb())
            colourIndex = cbColor->count() - 1;
    }
    if (colourIndex < 0) {
        // A colour outside the palette is kept as it is.
        cbColor->addItem(QIcon(swatch(initial.color)), QStringLiteral("Custom"), initial.color);
        colourIndex = cbColor->count() - 1;
    }
    cbColor->setCurrentIndex(colourIndex);
    auto *effectsLayout = new QVBoxLayout(effects);
    effectsLayout->addWidget(cbStrikeOut);
    effectsLayout->addWidget(cbUnderline);
    effectsLayout->addWidget(caption(QStringLiteral("&Color:"), cbColor));
    effectsLayout->addWidget(cbColor);

    auto *sample = new QGroupBox(QStringLiteral("Sample"), this);
    lbSample = new QLabel(QStringLiteral("AaBbYyZz"), sample);
    lbSample->setObjectName(QStringLiteral("lbSample"));
    lbSample->setAlignment(Qt::AlignCenter);
    lbSample->setMinimumSize(180, 60);
    lbSample->setAccessibleName(QStringLiteral("Sample"));
    auto *sampleLayout = new QVBoxLayout(sample);
    sampleLayout->addWidget(lbSample);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *grid = new QGridLayout(this);
    grid->addWidget(caption(QStringLiteral("&Font:"), cbFace), 0, 0);
    grid->addWidget(caption(QStringLiteral("Font st&yle:"), cbStyle), 0, 1);
    grid->addWidget(caption(QStringLiteral("&Size:"), cbSize), 0, 2);
    grid->addWidget(cbFace, 1, 0);
    grid->addWidget(cbStyle, 1, 1);
    grid->addWidget(cbSize, 1, 2);
    grid->addWidget(effects, 2, 0);
    grid->addWidget(sample, 2, 1, 1, 2);
    grid->addWidget(buttons, 3, 0, 1, 3);

    for (QComboBox *box : {cbFace, cbStyle, cbSize, cbColor})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { updateSample(); });
    for (QCheckBox *box : {cbStrikeOut, cbUnderline})
        connect(box, &QCheckBox::toggled, this, [this] { updateSample(); });
    updateSample();
}

FontChoice FontDialog::choice() const
{
    FontChoice c;
    c.font = QFont(cbFace->currentText());
    c.font.setPointSize(cbSize->currentData().toInt());
    c.font.setItalic(cbStyle->currentIndex() % 2 == 1);
    c.font.setBold(cbStyle->currentIndex() >= 2);
    c.font.setUnderline(cbUnderline->isChecked());
    c.font.setStrikeOut(cbStrikeOut->isChecked());
    c.color = cbColor->currentData().value<QColor>();
    return c;
}

void FontDialog::updateSample()
{
    const FontChoice c = choice();
    lbSample->setFont(c.font);
    QPalette palette = lbSample->palette();
    palette.setColor(QPalette::WindowText, c.color);
    lbSample->setPalette(palette);
}

} // namespace tessary
