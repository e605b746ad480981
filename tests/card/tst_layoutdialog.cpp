// The "Card Layout" dialog driven through its controls: pages and controls,
// the background frame and its buttons, captions, custom options, the fine
// adjustment, what "Save Settings" stores, "Preview" with unsaved edits and
// the command that shows the same dialog again, and names for assistive
// technology.

#include "cardfixture.h"

#include "data/records.h"
#include "photoui/imagecontrol.h"
#include "photoui/touchdialog.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <sqlite3.h>


using namespace tessary;
using namespace cardtest;

namespace {

// Every stored value of `param` and `fields`, one "column=value" a line
// (BLOBs by their hash), read from the file around the program's queries.
QStringList storedRows(const testing::CardDb &db)
{
    QStringList rows;
    for (const char *sql : {"select * from param", "select * from fields order by seq"}) {
        const auto engine = db.otherConnection();
        auto st = engine->prepare(QString::fromLatin1(sql));
        while (st->next()) {
            QStringList row;
            for (int c = 0; c < st->columnCount(); ++c) {
                QString value;
                if (st->kind(c) == ValueKind::Blob)
                    value = QString::fromLatin1(QCryptographicHash::hash(st->bytes(c), QCryptographicHash::Md5).toHex());
                else if (st->kind(c) == ValueKind::Real)
                    value = QString::number(st->real(c)); // "30" on both engines
                else if (st->kind(c) != ValueKind::Null)
                    value = st->text(c);
                row << st->columnName(c) + QLatin1Char('=') + value;
            }
            rows << row.join(QLatin1Char(' '));
        }
    }
    return rows;
}

// One stored value of the param row; BLOBs as their bytes.
QVariant storedParam(const testing::CardDb &db, const char *column)
{
    return db.stored(QStringLiteral("select %1 from param").arg(QLatin1String(column)));
}

QStringList storedCaptions(const testing::CardDb &db)
{
    QStringList captions;
    for (const QString &row : storedRows(db))
        if (row.startsWith(QStringLiteral("seq=")) && row.contains(QStringLiteral(" uname=")))
            captions << row.mid(row.indexOf(QStringLiteral(" uname=")) + 7);
    return captions;
}

void storeBackground(testing::CardDb &db, const QImage &picture)
{
    Query q(&db.ds->src, QStringLiteral("p"));
    q.setSql({QStringLiteral("select * from param")});
    q.open();
    q.edit();
    q.fieldByName(QStringLiteral("bitmap")).setBytes(SavePictureToBlob(picture));
    q.post();
}

QImage filled(int width, int height, QColor colour)
{
    QImage picture(width, height, QImage::Format_BGR888);
    picture.fill(colour);
    return picture;
}

template <class T>
T *control(QWidget &dialog, const char *name)
{
    T *w = dialog.findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

void click(QAbstractButton *button)
{
    QVERIFY2(button->isEnabled(), qPrintable(button->objectName()));
    button->click();
}

// Runs `steps` one after the other, each when a layout dialog has just been
// shown (modally, by the command under test).
class WhenShown : public QObject
{
public:
    explicit WhenShown(std::vector<std::function<void(TFmLayout &)>> steps) : m_steps(std::move(steps))
    {
        qApp->installEventFilter(this);
    }
    ~WhenShown() override { qApp->removeEventFilter(this); }
    size_t done = 0;
    std::vector<TFmLayout *> shown;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *dialog = qobject_cast<TFmLayout *>(watched);
        if (dialog && event->type() == QEvent::Show) {
            shown.push_back(dialog);
            QTimer::singleShot(0, dialog, [this, dialog] {
                if (done < m_steps.size())
                    m_steps[done++](*dialog);
                else
                    ++done;
                // A failed step, or one step too many, ends the command.
                if (done > m_steps.size() || QTest::currentTestFailed() || (done == m_steps.size() && dialog->isVisible()))
                    dialog->reject();
            });
        }
        return false;
    }

private:
    std::vector<std::function<void(TFmLayout &)>> m_steps;
};

} // namespace

class TestLayoutDialog : public QObject
{
    Q_OBJECT

private slots:
    void pagesControlsAndStoredValues()
    {
        testing::CardDb db;
        ScopedScriptedPrompts prompts;
        setParam(db, {{"f3", 0}, {"f4", 42}, {"style", 2}, {"palign", 2}, {"osx", -7}, {"osy", 12}});
        TFmLayout dialog(*db.ds);
        QVERIFY(prompts->asked.empty());

        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Card Layout"));
        auto *pages = control<QTabWidget>(dialog, "pcLayout");
        QStringList tabs;
        for (int i = 0; i < pages->count(); ++i)
            tabs << pages->tabText(i);
        QCOMPARE(tabs, (QStringList{QStringLiteral("Data Fields"), QStringLiteral("Card Background"),
                                    QStringLiteral("Card Style"), QStringLiteral("Custom Options"),
                                    QStringLiteral("Paper"), QStringLiteral("Barcode")}));
        QCOMPARE(pages->currentIndex(), 0);
        QVERIFY(dialog.bPreview->x() < dialog.bSave->x() && dialog.bSave->x() < dialog.bExit->x());
        QCOMPARE(dialog.bSave->text(), QStringLiteral("Save Settings"));

        // Rows: stored 1, 2, 0, a number without a catalogue row, 5, 6, 8.
        const QStringList expected{kNotUsed, QStringLiteral("ID"), QStringLiteral("Name"), QStringLiteral("CName"),
                                   QStringLiteral("Position"), QStringLiteral("Date Join"),
                                   QStringLiteral("Expiry Date"), QStringLiteral("Remark"), QStringLiteral("Group"),
                                   QStringLiteral("Card No")};
        for (QComboBox *list : dialog.lstField) {
            QStringList items;
            for (int i = 0; i < list->count(); ++i)
                items << list->itemText(i);
            QCOMPARE(items, expected);
            QVERIFY(!list->isEditable());
        }
        QCOMPARE(dialog.lstField[0]->currentIndex(), 1);
        QCOMPARE(dialog.lstField[2]->currentText(), kNotUsed);
        QCOMPARE(dialog.lstField[3]->currentIndex(), -1);
        QCOMPARE(dialog.lstField[6]->currentText(), QStringLiteral("Group"));
        QCOMPARE(dialog.bCaption[0]->text(), QStringLiteral("ID"));
        QCOMPARE(dialog.bCaption[2]->text(), QString());
        QCOMPARE(dialog.bCaption[3]->text(), QString());

        // Style 3 opens with the narrow frame; the rest as stored.
        QVERIFY(dialog.rbStyle[2]->isChecked());
        QCOMPARE(dialog.imgBack->size(), QSize(125, 204));
        QVERIFY(dialog.cbPrintBack->isChecked());
        QVERIFY(dialog.rbPaper[0]->isChecked());
        QCOMPARE(dialog.sbX->value(), -7);
        QCOMPARE(dialog.lbX->text(), QStringLiteral("-7"));
        QCOMPARE(dialog.lbY->text(), QStringLiteral("12"));
        QCOMPARE(dialog.sePosition->value(), 30);
        QCOMPARE(dialog.lbFont->text(), QStringLiteral("Demo Text"));
        QCOMPARE(dialog.lbFont->alignment(), Qt::AlignCenter);

        // Never shown: "Adjust" and the alignment, which carries palign.
        dialog.show();
        QVERIFY(dialog.Button10->isHidden());
        QVERIFY(dialog.rgAlign->isHidden());
        QVERIFY(dialog.rbAlign[2]->isChecked());

        // Nothing selected in row 4 is saved as -1; the alignment unchanged.
        click(dialog.bSave);
        QCOMPARE(storedParam(db, "f4").toInt(), -1);
        QCOMPARE(storedParam(db, "palign").toInt(), 2);
        QCOMPARE(storedParam(db, "style").toInt(), 2);
    }

    void backgroundFrameFollowsTheStyle()
    {
        testing::CardDb db;
        ScopedScriptedPrompts prompts;
        storeBackground(db, filled(300, 200, Qt::red));
        TFmLayout dialog(*db.ds);
        QCOMPARE(dialog.imgBack->size(), QSize(324, 204));
        QCOMPARE(dialog.imgBack->toolTip(), QStringLiteral("300 x 200"));

        click(dialog.rbStyle[2]);
        QCOMPARE(dialog.imgBack->size(), QSize(125, 204));
        QCOMPARE(dialog.settings.style, CardStyle::Style3);
        // Squeezed into the frame, the picture itself unchanged.
        QCOMPARE(dialog.imgBack->picture().size(), QSize(300, 200));
        const QImage shown = dialog.imgBack->grab().toImage();
        QCOMPARE(shown.size(), QSize(125, 204));
        QCOMPARE(QColor(shown.pixel(120, 200)).red() > 200, true);

        click(dialog.rbStyle[0]);
        QCOMPARE(dialog.imgBack->size(), QSize(324, 204));
        click(dialog.rbStyle[1]);
        QCOMPARE(dialog.imgBack->size(), QSize(324, 204));
        QCOMPARE(dialog.settings.style, CardStyle::Style2);

        // "Rotate" turns it a quarter; the tooltip follows.
        click(dialog.bRotate);
        QCOMPARE(dialog.imgBack->picture().size(), QSize(200, 300));
        QCOMPARE(dialog.imgBack->toolTip(), QStringLiteral("200 x 300"));
        QCOMPARE(dialog.settings.background.size(), QSize(200, 300));
    }

    // The hidden "Adjust" opens the touch-up dialog on a copy of the
    // background; only "Confirm" replaces it, with the preview.
    void adjustOpensTheTouchUpOnTheBackground()
    {
        testing::CardDb db;
        ScopedScriptedPrompts prompts;
        storeBackground(db, filled(40, 30, QColor(200, 100, 50)));
        TFmLayout dialog(*db.ds);
        const auto inTouchUp = [](std::function<void(TDlgTouch &)> step) {
            QTimer::singleShot(0, [step] {
                auto *touch = qobject_cast<TDlgTouch *>(QApplication::activeModalWidget());
                QVERIFY(touch);
                step(*touch);
                if (touch->isVisible())
                    touch->reject();
            });
        };
        inTouchUp([](TDlgTouch &t) {
            QCOMPARE(t.imgSrc->picture().size(), QSize(40, 30));
            t.sbRed->setValue(-100);
            t.Button3->click();
            t.Button2->click(); // Cancel
        });
        const QImage before = dialog.settings.background;
        QVERIFY(before.pixelColor(1, 1).red() > 150);
        dialog.Button10->click();
        QCOMPARE(dialog.settings.background, before);
        QVERIFY(!dialog.settings.backgroundEdited);

        inTouchUp([](TDlgTouch &t) {
            t.sbRed->setValue(-100);
            t.Button3->click();
            t.Button1->click(); // Confirm
        });
        dialog.Button10->click();
        QCOMPARE(dialog.settings.background.pixelColor(1, 1).red(), 0);
        QVERIFY(dialog.settings.backgroundEdited);
        QCOMPARE(dialog.imgBack->picture().pixelColor(1, 1).red(), 0);
    }

    void clearThenSaveStoresAWhitePictureOfTheFormerSize()
    {
        testing::CardDb db;
        ScopedScriptedPrompts prompts;
        storeBackground(db, filled(300, 200, QColor(20, 90, 160)));
        TFmLayout dialog(*db.ds);
        dialog.show();
        click(dialog.bClear);
        QCOMPARE(dialog.imgBack->toolTip(), QStringLiteral("300 x 200"));
        // Only the working copy changed.
        QCOMPARE(LoadPictureFromBlob(storedParam(db, "bitmap").toByteArray()).pixelColor(5, 5).red(), 20);

        click(dialog.bSave);
        QCOMPARE(prompts->messages(), QStringList{QStringLiteral("Settings are saved.")});
        QCOMPARE(prompts->asked.back().title, QStringLiteral("Information"));
        QVERIFY(dialog.isVisible());
        const QImage stored = LoadPictureFromBlob(storedParam(db, "bitmap").toByteArray());
        QCOMPARE(stored.size(), QSize(300, 200));
        for (const QPoint p : {QPoint(0, 0), QPoint(150, 100), QPoint(299, 199)})
            QVERIFY(stored.pixelColor(p).lightness() >= 250);
    }

    // The stored background is written only when the operator changed it:
    // otherwise its bytes stay as they are, even bytes the program would
    // never have written (another quality, or nothing decodable at all).
    void backgroundBytesKeptUnlessChanged_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("written");
        QTest::newRow("other settings only") << "none" << false;
        QTest::newRow("load fails") << "load-bad" << false;
        QTest::newRow("load") << "load" << true;
        QTest::newRow("clear") << "clear" << true;
        QTest::newRow("rotate") << "rotate" << true;
    }

    void backgroundBytesKeptUnlessChanged()
    {
        QFETCH(QString, action);
        QFETCH(bool, written);
        for (const bool decodable : {true, false}) {
            testing::CardDb db;
            ScopedScriptedPrompts prompts;
            QByteArray bytes = "BM not a picture the program reads";
            if (decodable) {
                QBuffer buffer(&bytes);
                buffer.open(QIODevice::WriteOnly);
                QVERIFY(filled(60, 40, QColor(10, 200, 30)).save(&buffer, "JPG", 35));
            }
            Query q(&db.ds->src, QStringLiteral("p"));
            q.setSql({QStringLiteral("select * from param")});
            q.open();
            q.edit();
            q.fieldByName(QStringLiteral("bitmap")).setBytes(bytes);
            q.post();
            TFmLayout dialog(*db.ds);
            click(dialog.rbStyle[1]);
            dialog.sbX->setValue(-7);
            const QTemporaryDir dir;
            const QString file = dir.filePath(QStringLiteral("back.jpg"));
            if (action.startsWith(QLatin1String("load"))) {
                QFile out(file);
                QVERIFY(out.open(QIODevice::WriteOnly));
                out.write(action == QLatin1String("load") ? jpegOf(30, 20, Qt::blue) : QByteArray("junk"));
                out.close();
                prompts->fileAnswers = {file};
                click(dialog.bLoad);
            } else if (action == QLatin1String("clear")) {
                click(dialog.bClear);
            } else if (action == QLatin1String("rotate")) {
                click(dialog.bRotate);
            }
            click(dialog.bSave);
            QCOMPARE(storedParam(db, "osx").toInt(), -7);
            const QByteArray after = storedParam(db, "bitmap").toByteArray();
            QCOMPARE(after != bytes, written);
            if (written)
                QCOMPARE(LoadPictureFromBlob(after).size(), dialog.imgBack->picture().size());
            // Saved: a second save writes nothing new.
            QVERIFY(!dialog.settings.backgroundEdited);
            click(dialog.bSave);
            QCOMPARE(storedParam(db, "bitmap").toByteArray(), after);
        }
    }

    // "Save Settings" is one transaction: one commit, and a failure at any
    // step leaves `param` and `fields` exactly as they were.
    void savingIsOneTransaction()
    {
        testing::CardDb db;
        ScopedScriptedPrompts prompts;
        TFmLayout dialog(*db.ds);
        // Commits are counted by the file's engine.
        const bool counted = !testing::CardDb::onServer();
        int commits = 0;
        if (counted)
            sqlite3_commit_hook(
                db.ds->src.handle(), [](void *n) { return ++*static_cast<int *>(n), 0; }, &commits);
        click(dialog.bSave);
        if (counted)
            QCOMPARE(commits, 1);

        const QStringList before = storedRows(db);
        const QStringList captionsBefore(dialog.settings.rowCaption.begin(), dialog.settings.rowCaption.end());
        db.refuse(QStringLiteral("boom"), QStringLiteral("update"), QStringLiteral("new.uname = 'Boom'"),
                  QStringLiteral("caption refused"), QStringLiteral("fields"));
        click(dialog.rbStyle[2]);
        click(dialog.bClear);
        dialog.sbY->setValue(12);
        prompts->inputAnswers = {QStringLiteral("First"), QStringLiteral("Boom")};
        click(dialog.bCaption[0]);
        click(dialog.bCaption[4]); // after the param row and rows 1 to 4
        prompts->clear();
        click(dialog.bSave);
        QCOMPARE(prompts->asked.size(), size_t(1));
        QCOMPARE(prompts->asked[0].title, QStringLiteral("Tessary"));
        QVERIFY(prompts->asked[0].text.contains(QStringLiteral("caption refused")));
        QCOMPARE(storedRows(db), before);
        // The edits are still there to save once the cause is gone.
        QCOMPARE(dialog.settings.rowCaption[4], QStringLiteral("Boom"));
        QVERIFY(dialog.settings.backgroundEdited);
        db.stopRefusing(QStringLiteral("boom"), QStringLiteral("fields"));
        click(dialog.bSave);
        QCOMPARE(prompts->messages().last(), QStringLiteral("Settings are saved."));
        QCOMPARE(storedParam(db, "osy").toInt(), 12);
        QCOMPARE(storedParam(db, "style").toInt(), 2);
        QStringList captionsAfter = captionsBefore;
        captionsAfter[0] = QStringLiteral("First");
        captionsAfter[4] = QStringLiteral("Boom");
        QCOMPARE(QStringList(dialog.settings.rowCaption.begin(), dialog.settings.rowCaption.end()), captionsAfter);
        if (counted)
            sqlite3_commit_hook(db.ds->src.handle(), nullptr, nullptr);
    }

    void captionsThroughTheInputDialog()
    {
        testing::CardDb db;
        ScopedScriptedPrompts prompts;
        setParam(db, {{"f5", 2}}); // rows 2 and 5 share the field "Name"
        TFmLayout dialog(*db.ds);

        // Cancel changes nothing; OK takes the text, which may be empty.
        prompts->inputAnswers = {std::nullopt, QString(), QStringLiteral("Full name"), QStringLiteral("Known as")};
        click(dialog.bCaption[0]);
        QCOMPARE(prompts->asked[0].title, QStringLiteral("Change caption name"));
        QCOMPARE(prompts->asked[0].text, QStringLiteral("ID"));
        QCOMPARE(prompts->asked[0].initial, QStringLiteral("ID"));
        QCOMPARE(dialog.bCaption[0]->text(), QStringLiteral("ID"));
        click(dialog.bCaption[0]);
        QCOMPARE(dialog.bCaption[0]->text(), QString());
        QVERIFY(!dialog.bCaption[0]->accessibleName().isEmpty());
        click(dialog.bCaption[1]);
        click(dialog.bCaption[4]);
        // A row given another field keeps its caption, which is saved as
        // that field's caption.
        dialog.lstField[2]->setCurrentIndex(7);
        QCOMPARE(dialog.settings.rowField[2], 7);

        prompts->clear();
        click(dialog.bSave);
        QCOMPARE(prompts->messages(), QStringList{QStringLiteral("Settings are saved.")});
        // The emptied caption is the field's display name again; row 5's
        // caption, saved last, is the one both rows show.
        QCOMPARE(dialog.bCaption[0]->text(), QStringLiteral("ID"));
        QCOMPARE(dialog.bCaption[1]->text(), QStringLiteral("Known as"));
        QCOMPARE(dialog.bCaption[4]->text(), QStringLiteral("Known as"));
        QCOMPARE(dialog.bCaption[2]->text(), QStringLiteral("CName"));
        QCOMPARE(storedCaptions(db), (QStringList{QStringLiteral("ID"), QStringLiteral("Known as"),
                                                  QStringLiteral("CName"), QStringLiteral("Position"),
                                                  QStringLiteral("Date Join"), QStringLiteral("Expiry Date"),
                                                  QStringLiteral("CName"), QStringLiteral("Group"),
                                                  QStringLiteral("Card No")}));
        QCOMPARE(storedParam(db, "f3").toInt(), 7);
    }

    void customOptionsHiddenButSaved()
    {
        testing::CardDb db;
        ScopedScriptedPrompts prompts;
        TFmLayout dialog(*db.ds);
        dialog.show();
        QVERIFY(!dialog.cbCustom->isChecked());
        QVERIFY(dialog.gbOptions->isHidden() && dialog.gbFont->isHidden());

        click(dialog.cbCustom);
        QVERIFY(!dialog.gbOptions->isHidden() && !dialog.gbFont->isHidden());
        click(dialog.cbLines);
        dialog.sePosition->setValue(41);
        QFont courier(QStringLiteral("Courier New"));
        courier.setPointSize(14);
        courier.setItalic(true);
        courier.setUnderline(true);
        prompts->fontAnswers = {std::nullopt, FontChoice{courier, QColor(0, 0, 128)}};
        click(dialog.bChange); // cancelled
        QCOMPARE(dialog.settings.sample.fontName, QStringLiteral("Arial"));
        click(dialog.bChange);
        QCOMPARE(prompts->asked[0].what, QStringLiteral("font"));
        QCOMPARE(prompts->asked[0].font.font.family(), QStringLiteral("Arial"));
        QCOMPARE(prompts->asked[0].font.font.pointSize(), 10);
        QCOMPARE(prompts->asked[0].font.color, QColor(Qt::black));
        QCOMPARE(prompts->asked[0].sizes.minimum, 8);
        QCOMPARE(prompts->asked[0].sizes.maximum, 18);
        QCOMPARE(dialog.lbFont->font().family(), courier.family());
        QCOMPARE(dialog.lbFont->font().pointSize(), 14);
        QCOMPARE(dialog.lbFont->palette().color(QPalette::WindowText), QColor(0, 0, 128));

        click(dialog.cbCustom);
        QVERIFY(dialog.gbOptions->isHidden() && dialog.gbFont->isHidden());
        prompts->clear();
        click(dialog.bSave);
        QCOMPARE(storedParam(db, "custom").toInt(), 0);
        QCOMPARE(storedParam(db, "lines").toInt(), 0);
        QCOMPARE(storedParam(db, "captions").toInt(), 1);
        QCOMPARE(storedParam(db, "position").toInt(), 41);
        LabelAppearance font;
        QVERIFY(decodeComponentStream(storedParam(db, "font").toByteArray(), font));
        QCOMPARE(font.fontName, QStringLiteral("Courier New"));
        QCOMPARE(font.fontHeight, fontHeightFromPoints(14));
        QCOMPARE(font.fontStyle, LabelAppearance::Italic | LabelAppearance::Underline);
        QCOMPARE(font.fontColor, quint32(0x800000)); // navy as blue-green-red
        QCOMPARE(font.caption, QStringLiteral("Demo Text"));
    }

    void fineAdjustmentAndPaper()
    {
        testing::CardDb db;
        ScopedScriptedPrompts prompts;
        TFmLayout dialog(*db.ds);
        QCOMPARE(dialog.sbX->minimum(), -20);
        QCOMPARE(dialog.sbY->maximum(), 30);
        QCOMPARE(dialog.sbX->orientation(), Qt::Horizontal);
        QCOMPARE(dialog.sbY->orientation(), Qt::Vertical);
        dialog.sbX->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(dialog.lbX->text(), QStringLiteral("-20"));
        dialog.sbY->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(dialog.lbY->text(), QStringLiteral("30"));
        dialog.sbY->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QCOMPARE(dialog.lbY->text(), QStringLiteral("29"));
        click(dialog.rbPaper[1]);
        click(dialog.bSave);
        QCOMPARE(storedParam(db, "osx").toInt(), -20);
        QCOMPARE(storedParam(db, "osy").toInt(), 29);
        QCOMPARE(storedParam(db, "psize").toInt(), 1);

        click(dialog.bReset);
        QCOMPARE(dialog.sbX->value(), 0);
        QCOMPARE(dialog.lbX->text(), QStringLiteral("0"));
        QCOMPARE(dialog.lbY->text(), QStringLiteral("0"));
        QCOMPARE(dialog.settings.offsetY, 0);
    }

    // The whole stored layout after a save: every column of param and the
    // catalogue's captions, and nothing stored before "Save Settings".
    void storedRowsAfterSaving()
    {
        testing::CardDb db;
        ScopedScriptedPrompts prompts;
        const QStringList before = storedRows(db);
        TFmLayout dialog(*db.ds);
        dialog.lstField[0]->setCurrentIndex(0);
        dialog.lstField[6]->setCurrentIndex(9);
        click(dialog.rbStyle[1]);
        click(dialog.cbPrintBack);
        click(dialog.cbCaptions);
        dialog.sbX->setValue(5);
        prompts->inputAnswers = {QStringLiteral("No.")};
        click(dialog.bCaption[6]);
        QCOMPARE(storedRows(db), before);

        click(dialog.bSave);
        QStringList expected = before;
        expected[0] = before[0];
        for (const auto &[from, to] : std::initializer_list<std::pair<const char *, const char *>>{
                 {" f1=1 ", " f1=0 "}, {" f7=8 ", " f7=9 "}, {" printback=1 ", " printback=0 "},
                 {" style=0 ", " style=1 "}, {" captions=1 ", " captions=0 "}, {" osx=0", " osx=5"}})
            expected[0].replace(QString::fromLatin1(from), QString::fromLatin1(to));
        expected[9].replace(QStringLiteral("uname=Card No"), QStringLiteral("uname=No."));
        const QStringList after = storedRows(db);
        // The background and font are re-encoded on every save; compare the
        // rest column by column.
        auto withoutBlobs = [](QString row) {
            return row.remove(QRegularExpression(QStringLiteral("(bitmap|font)=[0-9a-f]+ ")));
        };
        QCOMPARE(after.size(), expected.size());
        QCOMPARE(withoutBlobs(after[0]), withoutBlobs(expected[0]));
        QCOMPARE(after.mid(1), expected.mid(1));
        QCOMPARE(dialog.bCaption[6]->text(), QStringLiteral("No."));
        QCOMPARE(dialog.bCaption[0]->text(), QString());
    }

    // "Preview" closes the dialog, previews the sample with the edits as
    // they stand on the stored paper, and shows the same dialog again;
    // "Exit" then leaves the database as it was.
    void previewWithUnsavedEditsThenExit()
    {
        testing::CardDb db;
        for (int i = 1; i <= 4; ++i)
            addMember(db, {.name = QStringLiteral("M%1").arg(i), .post = QStringLiteral("Post %1").arg(i)});
        ScopedScriptedPrompts prompts;
        const QStringList before = storedRows(db);
        RecordingOutput output;

        WhenShown script({
            [&](TFmLayout &d) {
                d.lstField[1]->setCurrentIndex(4); // row 2: Position
                prompts->inputAnswers = {QStringLiteral("Staff")};
                click(d.bCaption[0]);
                click(d.rbStyle[1]);
                click(d.bClear);
                click(d.rbPaper[1]); // not the stored paper: the sample stays 2
                d.pcLayout->setCurrentIndex(4);
                QVERIFY(output.runs.empty());
                click(d.bPreview);
            },
            [&](TFmLayout &d) {
                // Back with its edits, on the page it was left on.
                QCOMPARE(output.runs.size(), size_t(1));
                QCOMPARE(d.lstField[1]->currentIndex(), 4);
                QCOMPARE(d.bCaption[0]->text(), QStringLiteral("Staff"));
                QVERIFY(d.rbStyle[1]->isChecked());
                QVERIFY(d.rbPaper[1]->isChecked());
                QCOMPARE(d.pcLayout->currentIndex(), 4);
                QVERIFY(!db.ds->QList.isOpen());
                click(d.bExit);
            },
        });
        TFmLayout::ShowLayout(*db.ds, output);
        QCOMPARE(script.done, size_t(2));
        QCOMPARE(script.shown.size(), size_t(2));
        QCOMPARE(script.shown[0], script.shown[1]);
        QVERIFY(prompts->messages().isEmpty());

        const Run &run = output.runs.at(0);
        QVERIFY(run.preview);
        QCOMPARE(run.pages.size(), size_t(1));
        QCOMPARE(int(run.layout.pages[0].bands.size()), 2);
        const LayoutItem *caption = item(run.pages[0], 0, QStringLiteral("TntQRLabel1"));
        QVERIFY(caption);
        QCOMPARE(caption->text, QStringLiteral("Staff"));
        const LayoutItem *row2 = item(run.pages[0], 1, QStringLiteral("TntQRDBText2"));
        QVERIFY(row2);
        QCOMPARE(row2->text, QStringLiteral("Post 2"));
        const LayoutItem *background = item(run.pages[0], 0, QStringLiteral("QRImage1"));
        QVERIFY(background);
        QCOMPARE(background->picture.pixelColor(3, 3).lightness(), 255);
        // Style 2: the background box begins 0.2 mm before the card.
        QCOMPARE_MM(inCard(run.layout.pages[0], *background).left(), -0.20);

        QCOMPARE(storedRows(db), before);
        int alive = 0;
        for (QWidget *w : QApplication::allWidgets())
            alive += qobject_cast<TFmLayout *>(w) ? 1 : 0;
        QCOMPARE(alive, 0);
    }

    void accessibility()
    {
        testing::CardDb db;
        ScopedScriptedPrompts prompts;
        TFmLayout dialog(*db.ds);
        QSet<const QWidget *> labelled;
        for (const QLabel *label : dialog.findChildren<QLabel *>())
            if (label->buddy())
                labelled.insert(label->buddy());
        int checked = 0;
        for (QWidget *w : dialog.findChildren<QWidget *>()) {
            const bool input = qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) ||
                               qobject_cast<QSpinBox *>(w) || qobject_cast<QScrollBar *>(w) ||
                               qobject_cast<ImageControl *>(w);
            if (!input || w->objectName().isEmpty()) // parts of composite controls
                continue;
            ++checked;
            const auto *button = qobject_cast<QAbstractButton *>(w);
            QVERIFY2(labelled.contains(w) || !w->accessibleName().isEmpty() || (button && !button->text().isEmpty()),
                     qPrintable(w->objectName()));
        }
        // 7 captions, 7 lists, 4 background buttons, the check boxes, 8 radio
        // buttons, the frame, the number box, 2 bars and 5 more buttons.
        QVERIFY2(checked >= 38, qPrintable(QString::number(checked)));
        QVERIFY(labelled.contains(dialog.sbX) && labelled.contains(dialog.sbY));
        QVERIFY(!dialog.rbStyle[0]->icon().isNull());
        QCOMPARE(dialog.rbStyle[0]->text(), QString());
    }

    // What a screen reader hears: a control's name says what it is for
    // (or, for a list with a choice, the choice itself), its value what it
    // shows now, and the description what it is for when the name is the
    // choice.
    void screenReaderHearsNameAndValue()
    {
        testing::CardDb db;
        ScopedScriptedPrompts prompts;
        TFmLayout dialog(*db.ds);
        dialog.lstField[1]->setCurrentIndex(-1);
        dialog.lstField[2]->setCurrentIndex(3);
        dialog.sbX->setValue(-7);
        dialog.sbY->setValue(12);
        const QString chosen = dialog.lstField[2]->currentText();
        QVERIFY(!chosen.isEmpty());
        struct Heard
        {
            QWidget *control;
            QString name, value, description;
        };
        const Heard cases[] = {
            {dialog.lbX, QStringLiteral("Horizontal offset"), QStringLiteral("-7"), QStringLiteral("In tenths of a millimetre")},
            {dialog.lbY, QStringLiteral("Vertical offset"), QStringLiteral("12"), QStringLiteral("In tenths of a millimetre")},
            {dialog.sbX, QStringLiteral("Horizontal"), QStringLiteral("-7"), {}},
            {dialog.lstField[1], QStringLiteral("Data field of row 2"), QString(), QStringLiteral("Data field of row 2")},
            {dialog.lstField[2], chosen, chosen, QStringLiteral("Data field of row 3")},
            {dialog.sePosition, QStringLiteral("Text Position"), QString::number(dialog.sePosition->value()),
             QStringLiteral("In millimetres")},
        };
        for (const Heard &c : cases) {
            QAccessibleInterface *heard = QAccessible::queryAccessibleInterface(c.control);
            QVERIFY2(heard, qPrintable(c.control->objectName()));
            QCOMPARE(heard->text(QAccessible::Name), c.name);
            QCOMPARE(heard->text(QAccessible::Value), c.value);
            if (!c.description.isEmpty())
                QCOMPARE(heard->text(QAccessible::Description), c.description);
        }
        // The interface a reader holds follows the bar (the headless
        // platform has no accessibility bridge to see the change events).
        QAccessibleInterface *offset = QAccessible::queryAccessibleInterface(dialog.lbX);
        dialog.sbX->setValue(5);
        QCOMPARE(offset->text(QAccessible::Value), QStringLiteral("5"));
        click(dialog.bReset);
        QCOMPARE(offset->text(QAccessible::Value), QStringLiteral("0"));
        QCOMPARE(offset->text(QAccessible::Name), QStringLiteral("Horizontal offset"));
    }
};

QTEST_MAIN(TestLayoutDialog)
#include "tst_layoutdialog.moc"
