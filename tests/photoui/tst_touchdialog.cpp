// The touch-up dialog driven through its controls: window, bars and labels,
// the lock and reset rules, previews, Confirm / Cancel / close box, and the
// progress window of a preview.

#include "data/prompts.h"
#include "photoui/imagecontrol.h"
#include "photoui/progress.h"
#include "photoui/touchdialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

using namespace tessary;

namespace {

QImage filled(int width, int height, QRgb colour)
{
    QImage picture(width, height, QImage::Format_BGR888);
    picture.fill(QColor::fromRgb(colour));
    return picture;
}

QRgb pixel(const QImage &picture)
{
    return picture.pixel(0, 0) & 0xFFFFFF;
}

// Runs `action` on the modal dialog once it is open.
void whenOpen(const std::function<void(TDlgTouch &)> &action)
{
    QTimer::singleShot(0, [action] {
        auto *dialog = qobject_cast<TDlgTouch *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        action(*dialog);
    });
}

// Counts the progress windows shown and the gauge's steps while open.
class ProgressWatch : public QObject
{
public:
    int shown = 0;
    int maximum = -2;
    int position = -2;
    int paints = 0;
    QString text;    // drawn by the last paint
    int filled = -1; // filled width drawn by the last paint

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto *window = qobject_cast<TPg *>(object)) {
                ++shown;
                maximum = window->bar().maximum();
            }
        }
        if (event->type() == QEvent::Paint && object->objectName() == QLatin1String("bar")) {
            const auto *gauge = static_cast<ProgressGauge *>(object);
            position = gauge->position();
            text = gauge->text();
            filled = gauge->filledWidth();
            ++paints;
        }
        return false;
    }
};

} // namespace

class TestTouchDialog : public QObject
{
    Q_OBJECT

private slots:
    void windowAndControls();
    void labelsFollowBars();
    void colourLock();
    void hueLock();
    void resetsChangeOnlyBars();
    void previewsStartFromTheOriginal();
    void previewOfPictureWithoutRows();
    void previewGaugeOnePerRow();
    void confirmHandsBackThePreview();
    void confirmWithoutPreviewEmpties();
    void cancelAndCloseBoxChangeNothing();
};

void TestTouchDialog::windowAndControls()
{
    TDlgTouch dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Photo Touchup"));
    QCOMPARE(dialog.size(), QSize(545, 489));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.gbSrc->title(), QStringLiteral("Original"));
    QCOMPARE(dialog.GroupBox1->title(), QStringLiteral("Preview"));
    QCOMPARE(dialog.GroupBox2->title(), QStringLiteral("Color Component"));
    QCOMPARE(dialog.GroupBox3->title(), QStringLiteral("Hue"));
    QCOMPARE(dialog.imgSrc->size(), QSize(240, 180));
    QCOMPARE(dialog.imgDst->size(), QSize(240, 180));
    QVERIFY(dialog.imgDst->picture().isNull());
    QCOMPARE(dialog.Button1->text(), QStringLiteral("Confirm"));
    QCOMPARE(dialog.Button2->text(), QStringLiteral("Cancel"));
    QCOMPARE(dialog.Button3->text(), QStringLiteral("Preview"));
    QCOMPARE(dialog.Button4->text(), QStringLiteral("Preview"));
    QCOMPARE(dialog.Button5->text(), QStringLiteral("Reset"));
    QCOMPARE(dialog.Button6->text(), QStringLiteral("Reset"));
    QCOMPARE(dialog.CheckBox1->text(), QStringLiteral("Lock"));
    QCOMPARE(dialog.CheckBox2->text(), QStringLiteral("Lock"));
    QVERIFY(!dialog.CheckBox1->isChecked() && !dialog.CheckBox2->isChecked());

    const QList<std::tuple<QScrollBar *, QString, int>> bars = {
        {dialog.sbRed, QStringLiteral("Red"), 1},           {dialog.sbGreen, QStringLiteral("Green"), 1},
        {dialog.sbBlue, QStringLiteral("Blue"), 10},        {dialog.sbBright, QStringLiteral("Intensity"), 1},
        {dialog.sbSat, QStringLiteral("Saturation"), 1}};
    for (const auto &[bar, caption, large] : bars) {
        QCOMPARE(bar->orientation(), Qt::Horizontal);
        QCOMPARE(bar->minimum(), -100);
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(bar->value(), 0);
        QCOMPARE(bar->singleStep(), 1);
        QCOMPARE(bar->pageStep(), large);
        QCOMPARE(bar->accessibleName(), caption);
        // The caption beside the bar is its buddy.
        bool hasBuddy = false;
        for (QLabel *label : bar->parentWidget()->findChildren<QLabel *>())
            hasBuddy |= label->buddy() == bar && label->text() == caption;
        QVERIFY2(hasBuddy, qPrintable(caption));
    }

    // Centred on the screen when shown.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QPoint centre = dialog.screen()->availableGeometry().center();
    QVERIFY((dialog.frameGeometry().center() - centre).manhattanLength() <= 2);
}

void TestTouchDialog::labelsFollowBars()
{
    TDlgTouch dialog;
    dialog.sbRed->setValue(-30);
    dialog.sbGreen->setValue(45);
    dialog.sbBlue->setValue(100);
    dialog.sbBright->setValue(-100);
    dialog.sbSat->setValue(7);
    QCOMPARE(dialog.lbRed->text(), QStringLiteral("-30%"));
    QCOMPARE(dialog.lbGreen->text(), QStringLiteral("45%"));
    QCOMPARE(dialog.lbBlue->text(), QStringLiteral("100%"));
    QCOMPARE(dialog.lbBright->text(), QStringLiteral("-100%"));
    QCOMPARE(dialog.lbSat->text(), QStringLiteral("7%"));
    dialog.sbBlue->triggerAction(QAbstractSlider::SliderPageStepSub);
    QCOMPARE(dialog.lbBlue->text(), QStringLiteral("90%"));
}

void TestTouchDialog::colourLock()
{
    TDlgTouch dialog;
    dialog.sbRed->setValue(20);
    dialog.sbGreen->setValue(-50);
    dialog.CheckBox1->click();
    // Ticking disables the followers without moving them.
    QVERIFY(!dialog.sbGreen->isEnabled() && !dialog.sbBlue->isEnabled());
    QCOMPARE(dialog.sbGreen->value(), -50);
    QCOMPARE(dialog.sbBlue->value(), 0);
    dialog.sbRed->setValue(25);
    QCOMPARE(dialog.sbGreen->value(), 25);
    QCOMPARE(dialog.sbBlue->value(), 25);
    QCOMPARE(dialog.lbGreen->text(), QStringLiteral("25%"));
    QCOMPARE(dialog.lbBlue->text(), QStringLiteral("25%"));
    QVERIFY(!dialog.sbGreen->isEnabled() && !dialog.sbBlue->isEnabled());
    // The hue bars are not touched by the colour lock.
    QCOMPARE(dialog.sbBright->value(), 0);

    dialog.CheckBox1->click();
    QVERIFY(dialog.sbGreen->isEnabled() && dialog.sbBlue->isEnabled());
    dialog.sbRed->setValue(-5);
    QCOMPARE(dialog.sbGreen->value(), 25);
}

void TestTouchDialog::hueLock()
{
    TDlgTouch dialog;
    dialog.sbSat->setValue(-40);
    dialog.CheckBox2->click();
    QVERIFY(!dialog.sbSat->isEnabled());
    QVERIFY(dialog.sbBright->isEnabled());
    QCOMPARE(dialog.sbSat->value(), -40);
    dialog.sbBright->setValue(60);
    QCOMPARE(dialog.sbSat->value(), 60);
    QCOMPARE(dialog.lbSat->text(), QStringLiteral("60%"));
    dialog.CheckBox2->click();
    QVERIFY(dialog.sbSat->isEnabled());
}

void TestTouchDialog::resetsChangeOnlyBars()
{
    TDlgTouch dialog;
    dialog.setSource(filled(4, 4, qRgb(100, 100, 100)));
    dialog.sbRed->setValue(50);
    dialog.Button3->click();
    const QImage preview = dialog.preview();
    QCOMPARE(pixel(preview), qRgb(150, 100, 100) & 0xFFFFFF);

    dialog.sbGreen->setValue(-10);
    dialog.sbBlue->setValue(30);
    dialog.sbBright->setValue(70);
    dialog.sbSat->setValue(-70);
    dialog.Button5->click();
    QCOMPARE(dialog.sbRed->value(), 0);
    QCOMPARE(dialog.sbGreen->value(), 0);
    QCOMPARE(dialog.sbBlue->value(), 0);
    QCOMPARE(dialog.lbBlue->text(), QStringLiteral("0%"));
    QCOMPARE(dialog.sbBright->value(), 70);
    dialog.Button6->click();
    QCOMPARE(dialog.sbBright->value(), 0);
    QCOMPARE(dialog.sbSat->value(), 0);
    QCOMPARE(dialog.lbSat->text(), QStringLiteral("0%"));
    QCOMPARE(dialog.preview(), preview);
}

void TestTouchDialog::previewsStartFromTheOriginal()
{
    TDlgTouch dialog;
    const QImage original = filled(3, 2, qRgb(200, 100, 50));
    dialog.setSource(original);
    dialog.sbRed->setValue(-100);
    dialog.Button3->click();
    QCOMPARE(pixel(dialog.preview()), qRgb(0, 100, 50) & 0xFFFFFF);
    // A second colour preview does not build on the first.
    dialog.Button3->click();
    QCOMPARE(pixel(dialog.preview()), qRgb(0, 100, 50) & 0xFFFFFF);
    // The hue preview replaces the colour one instead of combining.
    dialog.sbSat->setValue(-100);
    dialog.Button4->click();
    QCOMPARE(pixel(dialog.preview()), qRgb(124, 124, 124) & 0xFFFFFF);
    QCOMPARE(dialog.imgSrc->picture(), original);
    // Bars moved afterwards do not change the preview.
    dialog.sbSat->setValue(0);
    QCOMPARE(pixel(dialog.preview()), qRgb(124, 124, 124) & 0xFFFFFF);
}

void TestTouchDialog::previewOfPictureWithoutRows()
{
    ScopedScriptedPrompts prompts;
    TDlgTouch dialog;
    dialog.setSource(QImage());
    dialog.sbRed->setValue(10);
    dialog.Button3->click();
    QCOMPARE(prompts->messages(), QStringList{QStringLiteral("Value must be between 1 and 2147483647.")});
    QCOMPARE(prompts->asked.at(0).title, QStringLiteral("Tessary"));
    QVERIFY(dialog.preview().isNull());
    QVERIFY(dialog.findChildren<TPg *>().isEmpty());

    // After a successful preview, a failing one leaves the unadjusted copy.
    dialog.setSource(filled(2, 2, qRgb(10, 20, 30)));
    dialog.Button3->click();
    QVERIFY(!dialog.preview().isNull());
    dialog.setSource(QImage());
    dialog.Button4->click();
    QCOMPARE(prompts->messages().size(), 2);
    QVERIFY(dialog.preview().isNull());
}

void TestTouchDialog::previewGaugeOnePerRow()
{
    TDlgTouch dialog;
    dialog.setSource(filled(7, 200, qRgb(1, 2, 3)));
    ProgressWatch watch;
    qApp->installEventFilter(&watch);
    dialog.Button4->click();
    qApp->removeEventFilter(&watch);
    QCOMPARE(watch.shown, 1);
    QCOMPARE(watch.maximum, 199);
    QCOMPARE(watch.position, 199);
    // The last row's state is on screen, painted once per change of what
    // the gauge draws: on a 310-pixel gauge the fill moves at every one of
    // the 200 rows, so the fill is never behind the rows done.
    QCOMPARE(watch.text, QStringLiteral("100%"));
    QCOMPARE(watch.filled, 310);
    QVERIFY2(watch.paints >= 199 && watch.paints <= 202, qPrintable(QString::number(watch.paints)));
    // The window is gone once the preview is done.
    QVERIFY(dialog.findChildren<TPg *>().isEmpty());
}

void TestTouchDialog::confirmHandsBackThePreview()
{
    QImage picture = filled(5, 5, qRgb(0, 101, 0));
    whenOpen([](TDlgTouch &dialog) {
        QCOMPARE(pixel(dialog.imgSrc->picture()), qRgb(0, 101, 0) & 0xFFFFFF);
        dialog.sbGreen->setValue(50);
        dialog.Button3->click();
        dialog.sbGreen->setValue(-100); // after the preview: no effect
        dialog.Button1->click();
    });
    QVERIFY(TDlgTouch::TouchUp(nullptr, picture));
    QCOMPARE(picture.size(), QSize(5, 5));
    QCOMPARE(pixel(picture), qRgb(0, 151, 0) & 0xFFFFFF);
}

void TestTouchDialog::confirmWithoutPreviewEmpties()
{
    QImage picture = filled(5, 5, qRgb(9, 9, 9));
    whenOpen([](TDlgTouch &dialog) { dialog.Button1->click(); });
    QVERIFY(TDlgTouch::TouchUp(nullptr, picture));
    QVERIFY(picture.isNull());
}

void TestTouchDialog::cancelAndCloseBoxChangeNothing()
{
    const QImage original = filled(5, 5, qRgb(40, 50, 60));
    QImage picture = original;
    whenOpen([](TDlgTouch &dialog) {
        dialog.sbBlue->setValue(100);
        dialog.Button3->click();
        dialog.Button2->click();
    });
    QVERIFY(!TDlgTouch::TouchUp(nullptr, picture));
    QCOMPARE(picture, original);

    whenOpen([](TDlgTouch &dialog) {
        dialog.sbBright->setValue(100);
        dialog.Button4->click();
        dialog.close();
    });
    QVERIFY(!TDlgTouch::TouchUp(nullptr, picture));
    QCOMPARE(picture, original);
}

QTEST_MAIN(TestTouchDialog)
#include "tst_touchdialog.moc"
