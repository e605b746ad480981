#include "photoui/touchdialog.h"
#include "photoui/centring.h"

#include "data/prompts.h"
#include "photo/touchup.h"
#include "photoui/imagecontrol.h"
#include "photoui/progress.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace tessary {

namespace {

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx"))) void clearUpperVectorHalves()
{
    _mm256_zeroupper();
}
#endif

// Painting the gauge runs Qt's wide-vector drawing code, which can leave
// the upper halves of the vector registers in use; the plain SSE
// arithmetic of the pixel loop that follows then runs up to four times
// slower until they are cleared. Clear them on return to the loop.
void afterPainting()
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx)
        clearUpperVectorHalves();
#endif
}

// The progress window as the pixel loops see it. A row takes microseconds;
// the gauge repaints (at once) only when what it draws changes, so the bar
// on screen is current after every row at little cost.
class RowProgress : public ProgressSink
{
public:
    explicit RowProgress(TPg &window) : m_window(window) {}
    void SetRange(int maximum) override { m_window.SetRange(maximum); }
    void StepIt() override
    {
        m_window.StepIt();
        afterPainting();
    }
    void Show() override
    {
        m_window.ShowNow();
        afterPainting();
    }
    void Hide() override { m_window.hide(); }

private:
    TPg &m_window;
};

template <class Adjustment>
void withProgressWindow(QWidget *owner, QImage &picture, Adjustment adjust)
{
    std::unique_ptr<TPg> window = TPg::Create(owner);
    RowProgress progress(*window);
    // Checked before the window appears: a picture without rows is refused
    // without showing anything.
    progress.SetRange(picture.height() - 1);
    progress.Show();
    adjust(picture, progress);
}

} // namespace

void AdjustColorComponents(QWidget *owner, QImage &picture, int red, int green, int blue)
{
    withProgressWindow(owner, picture, [=](QImage &p, ProgressSink &progress) {
        AdjustColorComponents(p, red, green, blue, progress);
    });
}

void AdjustIntensitySaturation(QWidget *owner, QImage &picture, int intensity, int saturation)
{
    withProgressWindow(owner, picture, [=](QImage &p, ProgressSink &progress) {
        AdjustIntensitySaturation(p, intensity, saturation, progress);
    });
}

namespace {

constexpr int kClientWidth = 545;
constexpr int kClientHeight = 489;

QGroupBox *makeGroup(QWidget *parent, const char *name, const QString &caption, const QRect &geometry)
{
    auto *box = new QGroupBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(geometry);
    return box;
}

ImageControl *makeImage(QGroupBox *parent, const char *name)
{
    auto *image = new ImageControl(parent);
    image->setObjectName(QString::fromLatin1(name));
    image->setAccessibleName(parent->title());
    image->setGeometry(8, 20, 240, 180);
    return image;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption, int x, int y)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(x, y, 75, 25);
    button->setAutoDefault(false);
    return button;
}

// One bar row: the caption (the bar's buddy and accessible name), the bar
// and the label that shows its position.
QScrollBar *makeBar(QWidget *parent, const char *name, const QString &caption, int y, int largeStep,
                    QLabel *&positionLabel, const char *labelName)
{
    auto *bar = new QScrollBar(Qt::Horizontal, parent);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setRange(-100, 100);
    bar->setValue(0);
    bar->setSingleStep(1);
    bar->setPageStep(largeStep);
    bar->setGeometry(84, y, 250, 18);
    bar->setAccessibleName(caption);

    auto *title = new QLabel(caption, parent);
    title->setGeometry(12, y, 68, 18);
    title->setBuddy(bar);

    positionLabel = new QLabel(QStringLiteral("0%"), parent);
    positionLabel->setObjectName(QString::fromLatin1(labelName));
    positionLabel->setGeometry(342, y, 48, 18);
    positionLabel->setAccessibleName(caption + QStringLiteral(" percentage"));
    QLabel *shown = positionLabel;
    QObject::connect(bar, &QScrollBar::valueChanged, shown,
                     [shown](int value) { shown->setText(QString::number(value) + QLatin1Char('%')); });
    return bar;
}

} // namespace

TDlgTouch::TDlgTouch(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                         | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("DlgTouch"));
    setWindowTitle(QStringLiteral("Photo Touchup"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);

    gbSrc = makeGroup(this, "gbSrc", QStringLiteral("Original"), QRect(8, 6, 257, 208));
    imgSrc = makeImage(gbSrc, "imgSrc");
    GroupBox1 = makeGroup(this, "GroupBox1", QStringLiteral("Preview"), QRect(280, 6, 257, 208));
    imgDst = makeImage(GroupBox1, "imgDst");

    GroupBox2 = makeGroup(this, "GroupBox2", QStringLiteral("Color Component"), QRect(8, 220, 529, 104));
    sbRed = makeBar(GroupBox2, "sbRed", QStringLiteral("Red"), 22, 1, lbRed, "lbRed");
    sbGreen = makeBar(GroupBox2, "sbGreen", QStringLiteral("Green"), 48, 1, lbGreen, "lbGreen");
    sbBlue = makeBar(GroupBox2, "sbBlue", QStringLiteral("Blue"), 74, 10, lbBlue, "lbBlue");
    Button3 = makeButton(GroupBox2, "Button3", QStringLiteral("Preview"), 440, 18);
    CheckBox1 = new QCheckBox(QStringLiteral("Lock"), GroupBox2);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(396, 48, 60, 18);
    Button5 = makeButton(GroupBox2, "Button5", QStringLiteral("Reset"), 440, 70);

    GroupBox3 = makeGroup(this, "GroupBox3", QStringLiteral("Hue"), QRect(8, 330, 529, 104));
    sbBright = makeBar(GroupBox3, "sbBright", QStringLiteral("Intensity"), 22, 1, lbBright, "lbBright");
    sbSat = makeBar(GroupBox3, "sbSat", QStringLiteral("Saturation"), 48, 1, lbSat, "lbSat");
    Button4 = makeButton(GroupBox3, "Button4", QStringLiteral("Preview"), 440, 18);
    Button6 = makeButton(GroupBox3, "Button6", QStringLiteral("Reset"), 440, 70);
    CheckBox2 = new QCheckBox(QStringLiteral("Lock"), GroupBox3);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox2->setGeometry(396, 48, 60, 18);

    // The bottom strip.
    Button1 = makeButton(this, "Button1", QStringLiteral("Confirm"), kClientWidth - 176, kClientHeight - 40);
    Button2 = makeButton(this, "Button2", QStringLiteral("Cancel"), kClientWidth - 92, kClientHeight - 40);
    Button1->setDefault(true);

    connect(sbRed, &QScrollBar::valueChanged, this, [this] { sbRedChange(); });
    connect(sbBright, &QScrollBar::valueChanged, this, [this] { sbBrightChange(); });
    connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
    connect(CheckBox2, &QCheckBox::toggled, this, [this] { CheckBox2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { guarded([this] { Button3Click(); }); });
    connect(Button4, &QPushButton::clicked, this, [this] { guarded([this] { Button4Click(); }); });
    connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
    connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

bool TDlgTouch::TouchUp(QWidget *owner, QImage &picture)
{
    TDlgTouch dialog(owner);
    dialog.setSource(picture);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    picture = dialog.preview();
    return true;
}

void TDlgTouch::setSource(const QImage &picture)
{
    imgSrc->setPicture(picture);
}

const QImage &TDlgTouch::preview() const
{
    return imgDst->picture();
}

void TDlgTouch::sbRedChange()
{
    if (!CheckBox1->isChecked())
        return;
    sbGreen->setValue(sbRed->value());
    sbBlue->setValue(sbRed->value());
}

void TDlgTouch::sbBrightChange()
{
    if (CheckBox2->isChecked())
        sbSat->setValue(sbBright->value());
}

void TDlgTouch::CheckBox1Click()
{
    // Ticking only disables the followers; they take Red's position when
    // Red next moves.
    const bool locked = CheckBox1->isChecked();
    sbGreen->setEnabled(!locked);
    sbBlue->setEnabled(!locked);
}

void TDlgTouch::CheckBox2Click()
{
    sbSat->setEnabled(!CheckBox2->isChecked());
}

void TDlgTouch::Button3Click()
{
    // Start again from the unadjusted picture; if the adjustment fails the
    // preview shows the unadjusted copy.
    QImage picture = imgSrc->picture();
    imgDst->setPicture(picture);
    AdjustColorComponents(this, picture, sbRed->value(), sbGreen->value(), sbBlue->value());
    imgDst->setPicture(std::move(picture));
}

void TDlgTouch::Button4Click()
{
    QImage picture = imgSrc->picture();
    imgDst->setPicture(picture);
    AdjustIntensitySaturation(this, picture, sbBright->value(), sbSat->value());
    imgDst->setPicture(std::move(picture));
}

void TDlgTouch::Button5Click()
{
    sbRed->setValue(0);
    sbGreen->setValue(0);
    sbBlue->setValue(0);
}

void TDlgTouch::Button6Click()
{
    sbBright->setValue(0);
    sbSat->setValue(0);
}

void TDlgTouch::showEvent(QShowEvent *event)
{
    CentreOnScreen(*this);
    QDialog::showEvent(event);
}

} // namespace tessary
