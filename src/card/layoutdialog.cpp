// The window of the layout dialog: the side shown, its six pages, their
// controls and how each control's edit reaches the layout settings.

#include "card/layout.h"

#include "card/layoutcontrols.h"
#include "card/layoutdrawings.h"
#include "data/prompts.h"
#include "photoui/imagecontrol.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>

namespace tessary {

// A label that shows a number another control sets, such as a scroll bar's
// position. A screen reader hears its accessible name as what it is and its
// text as its value, and is told when the value changes.
class ValueLabel : public QLabel
{
    // Its own class name is what the accessibility factory answers to.
    Q_OBJECT
public:
    ValueLabel(const QString &name, const QString &description, QWidget *parent) : QLabel(QStringLiteral("0"), parent)
    {
        // The factory must be in place before anything asks for the label's
        // interface, which is then kept.
        static const bool installed = [] {
            QAccessible::installFactory(&ValueLabel::accessible);
            return true;
        }();
        Q_UNUSED(installed);
        setAccessibleName(name);
        setAccessibleDescription(description);
    }

    void showValue(int value)
    {
        const QString text = QString::number(value);
        if (text == this->text())
            return;
        setText(text);
        QAccessibleValueChangeEvent changed(this, value);
        QAccessible::updateAccessibility(&changed);
    }

private:
    class Accessible : public QAccessibleWidget
    {
    public:
        explicit Accessible(QWidget *label) : QAccessibleWidget(label, QAccessible::StaticText) {}
        QString text(QAccessible::Text t) const override
        {
            const auto *label = static_cast<const QLabel *>(widget());
            if (t == QAccessible::Value)
                return label->text();
            return QAccessibleWidget::text(t);
        }
    };

    static QAccessibleInterface *accessible(const QString &, QObject *object)
    {
        auto *label = qobject_cast<ValueLabel *>(object);
        return label ? new Accessible(label) : nullptr;
    }
};

namespace {

constexpr int kDialogWidth = 540;
// The row above the pages: the side shown and "Print the back".
constexpr int kFaceRowHeight = 32;
constexpr int kDialogHeight = 372 + kFaceRowHeight;
// Room beside the tabs for the tab widget's frame.
constexpr int kTabBarSlack = 4;
// The background frame for the landscape styles and for the portrait one.
constexpr QSize kLandscapeBox(324, 204);
constexpr QSize kPortraitBox(125, 204);
constexpr int kFrameWidth = 2;

using layoutcontrols::makeGroup;
using layoutcontrols::named;

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption, const QRect &geometry)
{
    auto *button = named(new QPushButton(caption, parent), name);
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

// A radio button without text beside its drawing: the drawing is the
// button's icon, so clicking it chooses too; the accessible name says what
// the drawing shows.
QRadioButton *makeChoice(QWidget *parent, const QString &name, const QPixmap &drawing, const QString &meaning,
                         const QPoint &at)
{
    auto *button = new QRadioButton(parent);
    button->setObjectName(name);
    button->setIcon(QIcon(drawing));
    button->setIconSize(drawing.size());
    button->setAccessibleName(meaning);
    button->setToolTip(meaning);
    button->move(at);
    button->resize(button->sizeHint());
    return button;
}

// Checks the button of `group` at `index`; any other index leaves none
// checked.
template <size_t N>
void checkOnly(const std::array<QRadioButton *, N> &buttons, int index)
{
    for (size_t i = 0; i < N; ++i) {
        QRadioButton *b = buttons[i];
        // An exclusive group refuses to clear its checked button: release
        // the group while setting.
        QButtonGroup *group = b->group();
        if (group)
            group->setExclusive(false);
        b->setChecked(int(i) == index);
        if (group)
            group->setExclusive(true);
    }
}

template <size_t N>
QButtonGroup *groupOf(QObject *owner, const std::array<QRadioButton *, N> &buttons)
{
    auto *group = new QButtonGroup(owner);
    for (size_t i = 0; i < N; ++i)
        group->addButton(buttons[i], int(i));
    return group;
}

void showOffset(QLabel *label, int value)
{
    if (auto *shown = qobject_cast<ValueLabel *>(label))
        shown->showValue(value);
    else
        label->setText(QString::number(value));
}

void setCaption(QPushButton *button, int row, const QString &caption)
{
    button->setText(caption);
    // An empty caption still leaves the button findable.
    button->setAccessibleName(caption.isEmpty() ? QStringLiteral("Caption of row %1").arg(row + 1) : caption);
    button->setAccessibleDescription(QStringLiteral("Caption of row %1; click to change it").arg(row + 1));
}

} // namespace

void TFmLayout::buildWindow()
{
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);

    buildFaceRow();
    pcLayout = named(new QTabWidget(this), "pcLayout");
    const auto page = [this](const char *name, const QString &title) {
        auto *w = named(new QWidget, name);
        pcLayout->addTab(w, title);
        return w;
    };
    buildFieldsPage(page("tsFields", QStringLiteral("Data Fields")));
    buildBackgroundPage(page("tsBackground", QStringLiteral("Card Background")));
    buildStylePage(page("tsStyle", QStringLiteral("Card Style")));
    buildCustomPage(page("tsCustom", QStringLiteral("Custom Options")));
    buildPaperPage(page("tsPaper", QStringLiteral("Paper")));
    buildBarcodePage(page("tsBarcode", QStringLiteral("Barcode")));

    // Wide enough for every page's tab to be seen at once; the pages'
    // controls keep their places.
    const int width = std::max(kDialogWidth, pcLayout->tabBar()->sizeHint().width() + 16 + kTabBarSlack);
    setFixedSize(width, kDialogHeight);
    pcLayout->setGeometry(8, 8 + kFaceRowHeight, width - 16, kDialogHeight - 56 - kFaceRowHeight);

    // The bottom row, left to right.
    const int y = kDialogHeight - 38;
    bPreview = makeButton(this, "bPreview", QStringLiteral("Preview"), QRect(width - 296, y, 90, 28));
    bSave = makeButton(this, "bSave", QStringLiteral("Save Settings"), QRect(width - 200, y, 100, 28));
    bExit = makeButton(this, "bExit", QStringLiteral("Exit"), QRect(width - 94, y, 86, 28));

    connectControls();
}

void TFmLayout::buildFaceRow()
{
    const auto side = [this](const char *name, const QString &text, const QString &description, int x) {
        auto *button = named(new QRadioButton(text, this), name);
        button->setGeometry(x, 12, 72, 22);
        button->setAccessibleName(text);
        button->setAccessibleDescription(description);
        return button;
    };
    rbFront = side("rbFront", QStringLiteral("Front"),
                   QStringLiteral("The pages Data Fields, Card Background and Barcode edit the front of the card"), 16);
    rbBack = side("rbBack", QStringLiteral("Back"),
                  QStringLiteral("The pages Data Fields, Card Background and Barcode edit the back of the card"), 92);
    rbFront->setChecked(true);
    auto *sides = new QButtonGroup(this);
    sides->addButton(rbFront);
    sides->addButton(rbBack);

    cbPrintTheBack = named(new QCheckBox(QStringLiteral("Print the back"), this), "cbPrintTheBack");
    cbPrintTheBack->setGeometry(184, 12, 200, 22);
    cbPrintTheBack->setAccessibleName(cbPrintTheBack->text());
    cbPrintTheBack->setAccessibleDescription(QStringLiteral("Prints each card's back after its front"));
}

void TFmLayout::buildFieldsPage(QWidget *page)
{
    gbCaptions = makeGroup(page, "gbCaptions", QStringLiteral("Captions"), QRect(8, 6, 200, 268));
    gbFields = makeGroup(page, "gbFields", QStringLiteral("Data Fields"), QRect(216, 6, 296, 268));
    for (int i = 0; i < kCardRows; ++i) {
        const int y = 22 + i * 34;
        bCaption[size_t(i)] = makeButton(gbCaptions, "", QString(), QRect(10, y, 180, 28));
        bCaption[size_t(i)]->setObjectName(QStringLiteral("bCaption%1").arg(i + 1));
        setCaption(bCaption[size_t(i)], i, QString());

        auto *list = new QComboBox(gbFields);
        list->setObjectName(QStringLiteral("lstField%1").arg(i + 1));
        list->setGeometry(10, y + 1, 276, 26);
        list->setEditable(false);
        // The list's name is its choice; with nothing chosen it is what the
        // list is for, which its description always says.
        list->setAccessibleName(QStringLiteral("Data field of row %1").arg(i + 1));
        list->setAccessibleDescription(QStringLiteral("Data field of row %1").arg(i + 1));
        lstField[size_t(i)] = list;
    }
}

void TFmLayout::buildBackgroundPage(QWidget *page)
{
    cbPrintBack = named(new QCheckBox(QStringLiteral("Print Background"), page), "cbPrintBack");
    cbPrintBack->setGeometry(10, 6, 200, 22);

    gbBack = makeGroup(page, "gbBack", QStringLiteral("Card Background"), QRect(8, 30, 504, 244));
    auto *frame = named(new QFrame(gbBack), "frBack");
    frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    frame->setLineWidth(kFrameWidth);
    frame->move(10, 22);
    imgBack = named(new ImageControl(frame), "imgBack");
    imgBack->move(kFrameWidth, kFrameWidth);
    imgBack->setAccessibleName(QStringLiteral("Card Background"));

    const int x = 10 + kLandscapeBox.width() + 2 * kFrameWidth + 12;
    bLoad = makeButton(gbBack, "bLoad", QStringLiteral("Load"), QRect(x, 22, 72, 28));
    bClear = makeButton(gbBack, "bClear", QStringLiteral("Clear"), QRect(x, 56, 72, 28));
    bRotate = makeButton(gbBack, "bRotate", QStringLiteral("Rotate"), QRect(x, 90, 72, 28));
    Button10 = makeButton(gbBack, "Button10", QStringLiteral("Adjust"), QRect(x, 124, 72, 28));
    Button10->setVisible(false);
    fitPictureBox();
}

void TFmLayout::buildStylePage(QWidget *page)
{
    rgStyle = makeGroup(page, "rgStyle", QStringLiteral("Card Style"), QRect(8, 6, 504, 268));
    rbStyle[0] = makeChoice(rgStyle, QStringLiteral("rbStyle1"), cardStyleDrawing(CardStyle::Style1),
                            QStringLiteral("Style 1: landscape card, photo at the left"), QPoint(36, 100));
    rbStyle[1] = makeChoice(rgStyle, QStringLiteral("rbStyle2"), cardStyleDrawing(CardStyle::Style2),
                            QStringLiteral("Style 2: landscape card, photo at the right"), QPoint(196, 100));
    rbStyle[2] = makeChoice(rgStyle, QStringLiteral("rbStyle3"), cardStyleDrawing(CardStyle::Style3),
                            QStringLiteral("Style 3: portrait card, photo at the top"), QPoint(356, 84));
    groupOf(rgStyle, rbStyle);
}

void TFmLayout::buildCustomPage(QWidget *page)
{
    cbCustom = named(new QCheckBox(QStringLiteral("Custom Options"), page), "cbCustom");
    cbCustom->setGeometry(10, 6, 200, 22);

    gbOptions = makeGroup(page, "gbOptions", QStringLiteral("Options"), QRect(8, 30, 240, 244));
    cbLines = named(new QCheckBox(QStringLiteral("Print Lines"), gbOptions), "cbLines");
    cbLines->setGeometry(12, 24, 176, 22);
    cbCaptions = named(new QCheckBox(QStringLiteral("Print Captions"), gbOptions), "cbCaptions");
    cbCaptions->setGeometry(12, 52, 176, 22);
    gbPosition = makeGroup(gbOptions, "gbPosition", QStringLiteral("Text Position"), QRect(12, 88, 216, 64));
    sePosition = named(new QSpinBox(gbPosition), "sePosition");
    sePosition->setGeometry(12, 26, 72, 26);
    sePosition->setRange(kPositionMin, kPositionMax);
    sePosition->setAccessibleName(QStringLiteral("Text Position"));
    sePosition->setAccessibleDescription(QStringLiteral("In millimetres"));
    auto *mm = named(new QLabel(QStringLiteral("mm"), gbPosition), "lbMm");
    mm->setGeometry(90, 26, 40, 26);

    gbFont = makeGroup(page, "gbFont", QStringLiteral("Text Options"), QRect(256, 30, 256, 244));
    lbFont = named(new QLabel(gbFont), "lbFont");
    lbFont->setGeometry(12, 24, 232, 150);
    lbFont->setAlignment(Qt::AlignCenter);
    lbFont->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    lbFont->setAutoFillBackground(true);
    bChange = makeButton(gbFont, "bChange", QStringLiteral("Change"), QRect(88, 190, 80, 28));
}

void TFmLayout::buildPaperPage(QWidget *page)
{
    rgSize = makeGroup(page, "rgSize", QStringLiteral("Size"), QRect(8, 6, 240, 268));
    rbPaper[0] = makeChoice(rgSize, QStringLiteral("rbPaper1"), paperDrawing(0),
                            QStringLiteral("A6 sheet, two cards"), QPoint(24, 92));
    rbPaper[1] = makeChoice(rgSize, QStringLiteral("rbPaper2"), paperDrawing(1),
                            QStringLiteral("A4 sheet, ten cards"), QPoint(130, 80));
    rbPaper[2] = makeChoice(rgSize, QStringLiteral("rbPaper3"), paperDrawing(2),
                            QStringLiteral("ID-1 card, one card per page"), QPoint(24, 200));
    groupOf(rgSize, rbPaper);

    // Never shown: the alignment is carried from loading to saving.
    rgAlign = makeGroup(page, "rgAlign", QStringLiteral("Alignment"), QRect(8, 6, 200, 268));
    rgAlign->setVisible(false);
    rbAlign[0] = makeChoice(rgAlign, QStringLiteral("rbAlign1"), alignmentDrawing(0),
                            QStringLiteral("Card at the left of the sheet"), QPoint(14, 30));
    rbAlign[1] = makeChoice(rgAlign, QStringLiteral("rbAlign2"), alignmentDrawing(1),
                            QStringLiteral("Card in the middle of the sheet"), QPoint(14, 100));
    rbAlign[2] = makeChoice(rgAlign, QStringLiteral("rbAlign3"), alignmentDrawing(2),
                            QStringLiteral("Card at the right of the sheet"), QPoint(14, 170));
    groupOf(rgAlign, rbAlign);

    gbAdjust = makeGroup(page, "gbAdjust", QStringLiteral("Fine adjustment"), QRect(256, 6, 256, 268));
    auto *horizontal = named(new QLabel(QStringLiteral("Horizontal"), gbAdjust), "lbHorizontal");
    horizontal->setGeometry(12, 24, 120, 20);
    sbX = named(new QScrollBar(Qt::Horizontal, gbAdjust), "sbX");
    sbX->setGeometry(12, 46, 180, 18);
    sbX->setRange(kOffsetXMin, kOffsetXMax);
    sbX->setPageStep(5);
    sbX->setAccessibleName(QStringLiteral("Horizontal"));
    horizontal->setBuddy(sbX);
    sbX->setAccessibleDescription(QStringLiteral("Moves the cards sideways on the sheet, in tenths of a millimetre"));
    lbX = named(new ValueLabel(QStringLiteral("Horizontal offset"), QStringLiteral("In tenths of a millimetre"), gbAdjust),
                "lbX");
    lbX->setGeometry(200, 46, 40, 18);

    auto *vertical = named(new QLabel(QStringLiteral("Vertical"), gbAdjust), "lbVertical");
    vertical->setGeometry(12, 78, 120, 20);
    sbY = named(new QScrollBar(Qt::Vertical, gbAdjust), "sbY");
    sbY->setGeometry(30, 100, 18, 150);
    sbY->setRange(kOffsetYMin, kOffsetYMax);
    sbY->setPageStep(5);
    sbY->setAccessibleName(QStringLiteral("Vertical"));
    vertical->setBuddy(sbY);
    sbY->setAccessibleDescription(QStringLiteral("Moves the cards up or down on the sheet, in tenths of a millimetre"));
    lbY = named(new ValueLabel(QStringLiteral("Vertical offset"), QStringLiteral("In tenths of a millimetre"), gbAdjust),
                "lbY");
    lbY->setGeometry(56, 166, 40, 18);

    bReset = makeButton(gbAdjust, "bReset", QStringLiteral("Reset"), QRect(162, 226, 80, 28));
}

void TFmLayout::connectControls()
{
    connect(rbFront, &QRadioButton::toggled, this, [this](bool on) {
        if (on && !m_showing)
            ShowFace(CardFace::Front);
    });
    connect(rbBack, &QRadioButton::toggled, this, [this](bool on) {
        if (on && !m_showing)
            ShowFace(CardFace::Back);
    });
    connect(cbPrintTheBack, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_showing)
            settings.printBack = on;
    });
    for (int i = 0; i < kCardRows; ++i) {
        connect(bCaption[size_t(i)], &QPushButton::clicked, this, [this, i] { guarded([this, i] { bCaptionClick(i); }); });
        connect(lstField[size_t(i)], &QComboBox::currentIndexChanged, this, [this, i] { lstFieldChange(i); });
    }
    connect(cbPrintBack, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_showing)
            shown().printBackground = on;
    });
    // The frame's picture is the side's background, whoever changed it; a
    // change other than showing the settings is the operator's edit. The
    // white picture shown for a back without one leaves it without one.
    connect(imgBack, &ImageControl::pictureChanged, this, [this] {
        const FaceValues side = shown();
        if (!m_showing) {
            side.background = imgBack->picture();
            side.backgroundEdited = true;
        } else if (!side.background.isNull()) {
            side.background = imgBack->picture();
        }
    });
    connect(bLoad, &QPushButton::clicked, this, [this] { guarded([this] { bLoadClick(); }); });
    connect(bClear, &QPushButton::clicked, this, [this] { guarded([this] { bClearClick(); }); });
    connect(bRotate, &QPushButton::clicked, this, [this] { guarded([this] { bRotateClick(); }); });
    connect(Button10, &QPushButton::clicked, this, [this] { guarded([this] { Button10Click(); }); });
    for (int i = 0; i < 3; ++i)
        connect(rbStyle[size_t(i)], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on && !m_showing)
                rbStyleClick(CardStyle(i));
        });
    connect(cbCustom, &QCheckBox::toggled, this, [this] { cbCustomClick(); });
    connect(cbLines, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_showing)
            settings.lines = on;
    });
    connect(cbCaptions, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_showing)
            settings.captions = on;
    });
    connect(sePosition, &QSpinBox::valueChanged, this, [this](int value) {
        if (!m_showing)
            settings.position = value;
    });
    connect(bChange, &QPushButton::clicked, this, [this] { guarded([this] { bChangeClick(); }); });
    for (int i = 0; i < 3; ++i)
        connect(rbPaper[size_t(i)], &QRadioButton::toggled, this, [this, i](bool on) {
            if (!on || m_showing)
                return;
            // The ID-1 card keeps the sheet stored for older readers.
            settings.idCard = i == 2;
            if (i < 2)
                settings.paper = i;
        });
    for (int i = 0; i < 3; ++i)
        connect(rbAlign[size_t(i)], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on && !m_showing)
                settings.alignment = i;
        });
    connect(sbX, &QScrollBar::valueChanged, this, [this](int value) {
        showOffset(lbX, value);
        if (!m_showing)
            settings.offsetX = value;
    });
    connect(sbY, &QScrollBar::valueChanged, this, [this](int value) {
        showOffset(lbY, value);
        if (!m_showing)
            settings.offsetY = value;
    });
    connect(bReset, &QPushButton::clicked, this, [this] { bResetClick(); });
    connect(bPreview, &QPushButton::clicked, this, [this] { bPreviewClick(); });
    connect(bSave, &QPushButton::clicked, this, [this] { guarded([this] { bSaveClick(); }); });
    connect(bExit, &QPushButton::clicked, this, &QDialog::reject);
    connectBarcode();
}

void TFmLayout::ShowSettings()
{
    m_showing = true;
    (m_face == CardFace::Front ? rbFront : rbBack)->setChecked(true);
    cbPrintTheBack->setChecked(settings.printBack);
    const FaceValues side = shown();
    for (int i = 0; i < kCardRows; ++i) {
        QComboBox *list = lstField[size_t(i)];
        if (list->count() != settings.fieldList.size() || [&] {
                for (int n = 0; n < list->count(); ++n)
                    if (list->itemText(n) != settings.fieldList.at(n))
                        return true;
                return false;
            }()) {
            list->clear();
            list->addItems(settings.fieldList);
        }
        const int selected = side.rowField[size_t(i)];
        list->setCurrentIndex(selected >= 0 && selected < list->count() ? selected : -1);
        setCaption(bCaption[size_t(i)], i, side.rowCaption[size_t(i)]);
    }
    cbPrintBack->setChecked(side.printBackground);
    showBackground();
    showBarcode();
    checkOnly(rbStyle, int(settings.style));
    cbCustom->setChecked(settings.custom);
    cbLines->setChecked(settings.lines);
    cbCaptions->setChecked(settings.captions);
    sePosition->setValue(settings.position);
    showSampleFont();
    checkOnly(rbPaper, settings.idCard ? 2 : settings.paper);
    checkOnly(rbAlign, settings.alignment);
    sbX->setValue(settings.offsetX);
    sbY->setValue(settings.offsetY);
    showOffset(lbX, sbX->value());
    showOffset(lbY, sbY->value());
    m_showing = false;
    cbCustomClick();
    fitPictureBox();
}

void TFmLayout::fitPictureBox()
{
    const QSize box = settings.style == CardStyle::Style3 ? kPortraitBox : kLandscapeBox;
    imgBack->resize(box);
    if (QWidget *frame = imgBack->parentWidget())
        frame->resize(box + QSize(2 * kFrameWidth, 2 * kFrameWidth));
}

void TFmLayout::showSampleFont()
{
    lbFont->setText(settings.sample.caption);
    lbFont->setFont(settings.sampleFont());
    QPalette palette = lbFont->palette();
    palette.setColor(QPalette::WindowText, settings.sampleColor());
    palette.setColor(QPalette::Window, Qt::white);
    lbFont->setPalette(palette);
}

} // namespace tessary

#include "layoutdialog.moc"
