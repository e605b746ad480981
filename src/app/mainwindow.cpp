#include "mainwindow.h"

#include "about.h"
#include "datafolder.h"
#include "finddialog.h"
#include "card/cardprinting.h"
#include "card/layout.h"
#include "card/memlist.h"
#include "lookups.h"
#include "placement.h"
#include "printerdialog.h"
#include "staffmodel.h"

#include "data/busy.h"
#include "data/databasechoice.h"
#include "data/errors.h"
#include "data/prompts.h"
#include "data/records.h"
#include "data/schema.h"
#include "data/settings.h"
#include "exchange/databasefiles.h"
#include "photoui/imagecontrol.h"
#include "photoui/picturecontrol.h"
#include "photo/picture.h"
#include "reader/reader.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <map>

using namespace tessary;

namespace {

// Column widths of the member grid, as kept in the settings store. A hidden
// column keeps its own width so it is saved and restored like the others.
class GridWidths : public ColumnWidthTarget
{
public:
    explicit GridWidths(QTableView *view) : m_view(view) {}
    int columnCount() const override { return m_view->model() ? m_view->model()->columnCount() : 0; }
    ColumnKind columnKind(int) const override { return ColumnKind::Other; }
    int columnWidth(int column) const override
    {
        if (m_view->isColumnHidden(column)) {
            const QVariant kept = m_view->property(hiddenKey(column));
            return kept.isValid() ? kept.toInt() : 100;
        }
        return m_view->columnWidth(column);
    }
    void setColumnWidth(int column, int width) override
    {
        if (m_view->isColumnHidden(column))
            m_view->setProperty(hiddenKey(column), width);
        else
            m_view->setColumnWidth(column, width);
    }

private:
    static const char *hiddenKey(int column)
    {
        static const char *keys[] = {"hiddenWidth0", "hiddenWidth1", "hiddenWidth2", "hiddenWidth3",
                                     "hiddenWidth4", "hiddenWidth5", "hiddenWidth6", "hiddenWidth7"};
        return keys[std::clamp(column, 0, 7)];
    }
    QTableView *m_view;
};

// A date picker that is one stop of the tab order: Tab leaves it instead of
// stepping through its day, month and year (the arrow keys and typing still
// reach those).
class DatePicker : public QDateEdit
{
public:
    using QDateEdit::QDateEdit;

protected:
    bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
};

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption, int x, int y, int w = 75, int h = 25)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, y, w, h);
    return b;
}

QLabel *makeLabel(QWidget *parent, const QString &caption, int x, int y, QWidget *buddy)
{
    auto *l = new QLabel(caption, parent);
    l->move(x, y);
    l->adjustSize();
    if (buddy) {
        l->setBuddy(buddy);
        // Controls without a caption of their own take their label's text.
        QString name = caption;
        name.remove(QLatin1Char('&'));
        if (name.endsWith(QLatin1Char(':')))
            name.chop(1);
        if (buddy->accessibleName().isEmpty())
            buddy->setAccessibleName(name);
    }
    return l;
}

QIcon themedIcon(const char *themeName, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QString::fromLatin1(themeName), QApplication::style()->standardIcon(fallback));
}

} // namespace

TVaraDavuz::TVaraDavuz(Tdsrc &data, const QString &programFolder, QWidget *parent)
    : QMainWindow(parent), cardOutput(std::make_unique<tessary::SystemCardOutput>(this)), m_data(data)
{
    setObjectName(QStringLiteral("VaraDavuz"));
    setWindowTitle(QStringLiteral("Tessary"));
    setWindowIcon(AboutBox::logo());
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    // Design bounds; the stored placement replaces them at start-up.
    setGeometry(265, 195, 811, 598);

    ProgramFolder = programFolder;
    buildControls();
    buildMenus();
    buildShortcuts();
    connectListing();
    connectMemberEditing();
    connectGroupCommands();
    connectPhotoCommands();
    connectCardIssuing();
    connectExchangeCommands();
    connectReconnection();
    startUp();
}

TVaraDavuz::~TVaraDavuz()
{
    guarded([this] { shutDown(); });
    // The grid must let go of the model before the query goes away.
    dbgInfo->setModel(nullptr);
}

void TVaraDavuz::buildControls()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("central"));
    setCentralWidget(central);
    auto *mainLayout = new QHBoxLayout(central);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->setSpacing(0);

    // --- Left: "Card List" ---------------------------------------------------
    gbList = new QGroupBox(QStringLiteral("Card List"), central);
    gbList->setObjectName(QStringLiteral("gbList"));
    mainLayout->addWidget(gbList, 1);
    auto *listLayout = new QVBoxLayout(gbList);
    listLayout->setContentsMargins(2, 2, 2, 2);
    listLayout->setSpacing(0);

    auto *topStrip = new QWidget(gbList);
    topStrip->setObjectName(QStringLiteral("pnGroup"));
    topStrip->setFixedHeight(26);
    listLayout->addWidget(topStrip);
    lstGroup = new QComboBox(topStrip);
    lstGroup->setObjectName(QStringLiteral("lstGroup"));
    lstGroup->setEditable(false);
    lstGroup->setGeometry(46, 0, 143, 21);
    makeLabel(topStrip, QStringLiteral("Group"), 4, 4, lstGroup);
    bNewGrp = makeButton(topStrip, "bNewGrp", QStringLiteral("New"), 200, 0, 51, 21);
    bRemove = makeButton(topStrip, "bRemove", QStringLiteral("Remove"), 256, 0, 51, 21);

    GroupBox1 = new QGroupBox(QStringLiteral("Member List"), gbList);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    listLayout->addWidget(GroupBox1, 1);
    auto *memberLayout = new QVBoxLayout(GroupBox1);
    memberLayout->setContentsMargins(2, 2, 2, 2);
    memberLayout->setSpacing(0);

    dbgInfo = new QTableView(GroupBox1);
    dbgInfo->setObjectName(QStringLiteral("dbgInfo"));
    dbgInfo->setAccessibleName(QStringLiteral("Member List"));
    dbgInfo->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dbgInfo->setSelectionBehavior(QAbstractItemView::SelectRows);
    dbgInfo->setSelectionMode(QAbstractItemView::SingleSelection);
    dbgInfo->setContextMenuPolicy(Qt::CustomContextMenu);
    dbgInfo->verticalHeader()->setDefaultSectionSize(18);
    dbgInfo->verticalHeader()->setFixedWidth(12);
    dbgInfo->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    dbgInfo->horizontalHeader()->setSectionsClickable(true);
    dbgInfo->horizontalHeader()->setHighlightSections(false);
    dbgInfo->setSortingEnabled(false);
    memberLayout->addWidget(dbgInfo, 1);
    m_model = std::make_unique<QueryTableModel>(
        &m_data.QStaff, QVector<QueryTableModel::Column>{{QStringLiteral("staffno"), QStringLiteral("ID")},
                                                          {QStringLiteral("name"), QStringLiteral("Name")},
                                                          {QStringLiteral("cname"), QStringLiteral("CName")},
                                                          {QStringLiteral("cardno"), QStringLiteral("Card No")}});
    dbgInfo->setModel(m_model.get());
    for (int c = 0; c < 4; ++c)
        dbgInfo->setColumnWidth(c, 100);
    dbgInfo->setColumnHidden(3, true);
    puMenu = new QMenu(this);
    puMenu->setObjectName(QStringLiteral("puMenu"));

    auto *buttonStrip = new QWidget(GroupBox1);
    buttonStrip->setObjectName(QStringLiteral("pnButtons"));
    buttonStrip->setFixedHeight(61);
    memberLayout->addWidget(buttonStrip);
    bDelete = makeButton(buttonStrip, "bDelete", QStringLiteral("Delete"), 4, 4);
    bDelAll = makeButton(buttonStrip, "bDelAll", QStringLiteral("Delete All"), 84, 4);
    bClearNo = makeButton(buttonStrip, "bClearNo", QStringLiteral("Clear Card No"), 164, 4);
    bClearNo->setVisible(false);
    bPreview = makeButton(buttonStrip, "bPreview", QStringLiteral("Preview"), 4, 32);
    bPrint = makeButton(buttonStrip, "bPrint", QStringLiteral("Print"), 84, 32);
    bPrintAll = makeButton(buttonStrip, "bPrintAll", QStringLiteral("Print All"), 164, 32);

    // --- Right: "Card Details" -------------------------------------------------
    gbDetails = new QGroupBox(QStringLiteral("Card Details"), central);
    gbDetails->setObjectName(QStringLiteral("gbDetails"));
    gbDetails->setFixedWidth(324);
    mainLayout->addWidget(gbDetails);
    auto *detailLayout = new QVBoxLayout(gbDetails);
    detailLayout->setContentsMargins(2, 2, 2, 2);
    detailLayout->setSpacing(0);

    auto *upper = new QWidget(gbDetails);
    upper->setObjectName(QStringLiteral("pnDetails"));
    upper->setFixedHeight(296);
    detailLayout->addWidget(upper);

    auto makeEdit = [&](const char *name, int top) {
        auto *e = new QLineEdit(upper);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(8, top, 157, 21);
        return e;
    };
    eStaffNo = makeEdit("eStaffNo", 24);
    makeLabel(upper, QStringLiteral("ID:"), 8, 8, eStaffNo);
    eName = makeEdit("eName", 65);
    makeLabel(upper, QStringLiteral("Name:"), 8, 48, eName);
    eCname = makeEdit("eCname", 104);
    makeLabel(upper, QStringLiteral("CName:"), 8, 88, eCname);
    ePost = makeEdit("ePost", 143);
    makeLabel(upper, QStringLiteral("Position:"), 8, 128, ePost);
    auto makeDate = [&](const char *name, int top) {
        auto *d = new DatePicker(upper);
        d->setObjectName(QString::fromLatin1(name));
        d->setGeometry(8, top, 157, 21);
        d->setDisplayFormat(QStringLiteral("d/MMM, yyyy"));
        d->setCalendarPopup(true);
        d->setDate(QDate::currentDate());
        d->setCursor(Qt::PointingHandCursor);
        return d;
    };
    dpJoin = makeDate("dpJoin", 184);
    makeLabel(upper, QStringLiteral("Date Join:"), 8, 168, dpJoin);
    dpExpiry = makeDate("dpExpiry", 224);
    makeLabel(upper, QStringLiteral("Expiry Date:"), 8, 208, dpExpiry);
    eRemark = makeEdit("eRemark", 267);
    makeLabel(upper, QStringLiteral("Remark:"), 8, 248, eRemark);

    GroupBox2 = new QGroupBox(QStringLiteral("Photo"), upper);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(176, 4, 137, 245);
    auto *photoFrame = new QFrame(GroupBox2);
    photoFrame->setObjectName(QStringLiteral("pnPhoto"));
    photoFrame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    photoFrame->setGeometry(5, 16, 124, 164);
    imgPhoto = new ImageControl(photoFrame);
    imgPhoto->setObjectName(QStringLiteral("imgPhoto"));
    imgPhoto->setAccessibleName(QStringLiteral("Photo"));
    imgPhoto->setGeometry(2, 2, 120, 160);
    bRotate = makeButton(GroupBox2, "bRotate", QStringLiteral("Rotate"), 8, 184, 57, 25);
    bPhoto = makeButton(GroupBox2, "bPhoto", QStringLiteral("Photo"), 70, 184, 59, 25);
    bpClear = makeButton(GroupBox2, "bpClear", QStringLiteral("Clear"), 8, 212, 57, 25);
    bpClear->setAccessibleName(QStringLiteral("Clear Photo"));

    auto *lower = new QWidget(gbDetails);
    lower->setObjectName(QStringLiteral("pnCommands"));
    detailLayout->addWidget(lower, 1);
    bSave = makeButton(lower, "bSave", QStringLiteral("Save"), 4, 8);
    bClear = makeButton(lower, "bClear", QStringLiteral("Clear"), 84, 8);
    bResizeAll = makeButton(lower, "bResizeAll", QStringLiteral("Resize All"), 164, 8);
    bResizeAll->setVisible(false);

    GroupBox3 = new QGroupBox(QStringLiteral("Issue Card"), lower);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    GroupBox3->setGeometry(4, 36, 309, 81);
    cbReadCard = new QCheckBox(QStringLiteral("Allow Reader On Port"), GroupBox3);
    cbReadCard->setObjectName(QStringLiteral("cbReadCard"));
    cbReadCard->setGeometry(8, 16, 140, 17);
    sePort = new QSpinBox(GroupBox3);
    sePort->setObjectName(QStringLiteral("sePort"));
    sePort->setRange(1, 8);
    sePort->setValue(1);
    sePort->setGeometry(150, 14, 41, 22);
    sePort->setAccessibleName(QStringLiteral("Reader Port"));
    cbWrite = new QCheckBox(QStringLiteral("Add Card No"), GroupBox3);
    cbWrite->setObjectName(QStringLiteral("cbWrite"));
    cbWrite->setGeometry(204, 16, 97, 17);
    gbPostAction = new QGroupBox(QStringLiteral("Post-Action"), GroupBox3);
    gbPostAction->setObjectName(QStringLiteral("rgPost"));
    gbPostAction->setGeometry(8, 38, 293, 37);
    rgPost = new QButtonGroup(gbPostAction);
    const QString postCaptions[] = {QStringLiteral("No Change"), QStringLiteral("Auto Up"), QStringLiteral("Auto Down")};
    for (int i = 0; i < 3; ++i) {
        auto *radio = new QRadioButton(postCaptions[i], gbPostAction);
        radio->setObjectName(QStringLiteral("rgPost%1").arg(i));
        radio->setGeometry(8 + i * 95, 15, 90, 17);
        rgPost->addButton(radio, i);
    }
    rgPost->button(0)->setChecked(true);
    GroupBox3->setVisible(false);

    // Pointing hand over the buttons the operator uses most.
    for (QWidget *w : {static_cast<QWidget *>(bNewGrp), static_cast<QWidget *>(bRemove),
                       static_cast<QWidget *>(bDelete), static_cast<QWidget *>(bPreview),
                       static_cast<QWidget *>(bSave), static_cast<QWidget *>(bClear),
                       static_cast<QWidget *>(bPhoto), static_cast<QWidget *>(bRotate)})
        w->setCursor(Qt::PointingHandCursor);

    // Tab order of the detail pane: the boxes from top to bottom, the photo
    // buttons, then Save and Clear.
    const QList<QWidget *> detailOrder{eStaffNo, eName,  eCname,  ePost, dpJoin, dpExpiry,
                                       eRemark,  bPhoto, bRotate, bpClear, bSave, bClear};
    for (qsizetype i = 1; i < detailOrder.size(); ++i)
        setTabOrder(detailOrder.at(i - 1), detailOrder.at(i));

    // --- Status bar: three panels ------------------------------------------------
    QStatusBar *sbInfo = statusBar();
    sbInfo->setObjectName(QStringLiteral("sbInfo"));
    sbInfo->setSizeGripEnabled(true);
    for (int i = 0; i < 3; ++i) {
        sbPanels[i] = new QLabel(sbInfo);
        sbPanels[i]->setObjectName(QStringLiteral("sbPanel%1").arg(i + 1));
        sbPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (i < 2) {
            sbPanels[i]->setFixedWidth(200);
            sbInfo->addWidget(sbPanels[i]);
        } else {
            sbInfo->addWidget(sbPanels[i], 1);
        }
    }
}

void TVaraDavuz::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnFile"));
    actAbout = file->addAction(themedIcon("help-about", QStyle::SP_MessageBoxInformation), QStringLiteral("&About"));
    actAbout->setObjectName(QStringLiteral("actAbout"));
    file->addSeparator();
    actExit = file->addAction(themedIcon("application-exit", QStyle::SP_DialogCloseButton), QStringLiteral("&Exit"));
    actExit->setObjectName(QStringLiteral("actExit"));

    QMenu *database = menuBar()->addMenu(QStringLiteral("&Database"));
    database->setObjectName(QStringLiteral("mnDatabase"));
    actCardDb = database->addAction(themedIcon("network-server-database", QStyle::SP_DriveNetIcon),
                                    QStringLiteral("Card Database…"));
    actCardDb->setObjectName(QStringLiteral("actCardDb"));
    connect(actCardDb, &QAction::triggered, this, [this] { guarded([this] { actCardDbExecute(); }); });
    database->addSeparator();
    actBackup = database->addAction(themedIcon("document-save-as", QStyle::SP_DialogSaveButton),
                                    QStringLiteral("Backup Database"));
    actBackup->setObjectName(QStringLiteral("actBackup"));
    actRestore = database->addAction(themedIcon("document-revert", QStyle::SP_BrowserReload),
                                     QStringLiteral("Restore Database"));
    actRestore->setObjectName(QStringLiteral("actRestore"));
    database->addSeparator();
    actImport = database->addAction(themedIcon("document-import", QStyle::SP_FileDialogDetailedView),
                                    QStringLiteral("&Import From Speadsheet"));
    actImport->setObjectName(QStringLiteral("actImport"));
    database->addSeparator();
    QAction *actFind = database->addAction(themedIcon("edit-find", QStyle::SP_FileDialogContentsView),
                                           QStringLiteral("Find Member…"));
    actFind->setObjectName(QStringLiteral("actFind"));
    actFind->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(actFind, &QAction::triggered, this, [this] {
        // One window, kept while the main window lives.
        auto *find = findChild<TFmFind *>(QStringLiteral("FindMember"), Qt::FindDirectChildrenOnly);
        if (!find)
            find = new TFmFind(*this);
        find->show();
        find->raise();
        find->activateWindow();
        find->eFind->setFocus();
    });

    QMenu *card = menuBar()->addMenu(QStringLiteral("&Card"));
    card->setObjectName(QStringLiteral("mnCard"));
    actLayout = card->addAction(themedIcon("document-properties", QStyle::SP_FileDialogContentsView),
                                QStringLiteral("&Card Layout"));
    actLayout->setObjectName(QStringLiteral("actLayout"));
    card->addSeparator();
    actPreview = card->addAction(themedIcon("document-print-preview", QStyle::SP_FileDialogInfoView),
                                 QStringLiteral("&Preview"));
    actPreview->setObjectName(QStringLiteral("actPreview"));
    actPrint = card->addAction(themedIcon("document-print", QStyle::SP_DialogApplyButton), QStringLiteral("P&rint Card"));
    actPrint->setObjectName(QStringLiteral("actPrint"));
    card->addSeparator();
    actCheckList = card->addAction(themedIcon("view-list-details", QStyle::SP_FileDialogListView),
                                   QStringLiteral("C&heck List"));
    actCheckList->setObjectName(QStringLiteral("actCheckList"));
    card->addSeparator();
    tessary::addPrinterCommands(*card, *this, [this] { return tessary::storedSheetPaper(m_data.src); });

    // Defined with the others but placed on no menu.
    actExport = new QAction(QStringLiteral("Export to KESMAR"), this);
    actExport->setObjectName(QStringLiteral("actExport"));

    connect(actAbout, &QAction::triggered, this, [this] { guarded([this] { showAbout(); }); });
    connect(actExit, &QAction::triggered, this, &QWidget::close);
    connect(actCheckList, &QAction::triggered, this,
            [this] { guarded([this] { tessary::TqrMemList::ShowCheckList(m_data.src, this); }); });

    connect(actLayout, &QAction::triggered, this, [this] { guarded([this] { actLayoutExecute(); }); });

    // Card printing and preview, with the stored layout.
    const auto cards = [this](void (*command)(tessary::CardPrinting &, int)) {
        return [this, command] {
            guarded([this, command] {
                // A card run is one operation: nothing else runs inside it.
                BusyScope busy;
                tessary::CardPrinting printing(m_data, *cardOutput);
                command(printing, CurrentGroupId);
            });
        };
    };
    const auto preview = cards([](tessary::CardPrinting &p, int) { p.Preview(); });
    const auto print = cards([](tessary::CardPrinting &p, int) { p.Print(); });
    connect(bPreview, &QPushButton::clicked, this, preview);
    connect(actPreview, &QAction::triggered, this, preview);
    connect(bPrint, &QPushButton::clicked, this, print);
    connect(actPrint, &QAction::triggered, this, print);
    connect(bPrintAll, &QPushButton::clicked, this,
            cards([](tessary::CardPrinting &p, int group) { p.PrintAll(group); }));
}

void TVaraDavuz::actLayoutExecute()
{
    tessary::TFmLayout::ShowLayout(m_data, *cardOutput, this);
}

void TVaraDavuz::showAbout()
{
    AboutBox box(this);
    box.exec();
}

void TVaraDavuz::connectListing()
{
    connect(lstGroup, &QComboBox::activated, this, [this](int) {
        guarded([this] {
            ShowSelectedGroup();
            ShowCurrentMember();
        });
    });
    connect(dbgInfo, &QTableView::clicked, this, [this](const QModelIndex &) { guarded([this] { ShowCurrentMember(); }); });
    dbgInfo->viewport()->installEventFilter(this);
    dbgInfo->installEventFilter(this);
    connect(dbgInfo->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current, const QModelIndex &) {
                if (m_syncingGrid || !current.isValid())
                    return;
                guarded([this, current] {
                    if (m_data.QStaff.isOpen() && current.row() != m_data.QStaff.recNo())
                        m_data.QStaff.setRecNo(current.row());
                });
            });
    connect(&m_data.QStaff, &Query::currentRowChanged, this, [this](int row) { syncGridToQuery(row); });
    // Commands below the window that change the database wholesale (import,
    // restore) announce it on the connection; the window lists it again.
    connectLiveUpdates();
    connect(&m_data.src, &Connection::dataChanged, this, [this] {
        guarded([this] {
            // The group list is read again: the command wrote through
            // queries of its own.
            if (m_data.QGroup.isOpen())
                m_data.QGroup.refresh();
            ReloadAll();
            updateCommandStates();
        });
    });
    connect(m_model.get(), &QAbstractItemModel::modelReset, this,
            [this] { syncGridToQuery(m_data.QStaff.isOpen() ? m_data.QStaff.recNo() : -1); });
    // The right button has already made the row under it current; the menu
    // takes the button's release, so the pane is brought to that member here,
    // before the menu opens: the pane, the highlight and the row that
    // Delete, Save and Move act on stay the same member.
    connect(dbgInfo, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        guarded([this] { ShowCurrentMember(); });
        puMenu->popup(dbgInfo->viewport()->mapToGlobal(pos));
    });
}

void TVaraDavuz::syncGridToQuery(int row)
{
    if (m_deferGridSync)
        return;
    m_syncingGrid = true;
    if (row >= 0 && row < m_model->rowCount()) {
        const QModelIndex index = m_model->index(row, 1);
        dbgInfo->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        // Bring the row into view without scrolling sideways: before the
        // window is laid out the viewport is narrow, and scrolling to the
        // name column would leave the ID column out of view.
        const int sideways = dbgInfo->horizontalScrollBar()->value();
        dbgInfo->scrollTo(index);
        dbgInfo->horizontalScrollBar()->setValue(sideways);
    } else {
        dbgInfo->selectionModel()->clearSelection();
    }
    m_syncingGrid = false;
}

bool TVaraDavuz::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == dbgInfo->viewport() && event->type() == QEvent::MouseButtonRelease) ||
        (watched == dbgInfo && event->type() == QEvent::KeyRelease)) {
        guarded([this] { ShowCurrentMember(); });
    }
    return QMainWindow::eventFilter(watched, event);
}

QString TVaraDavuz::statusText(int panel) const
{
    return sbPanels[panel]->text();
}

// --- Start-up and shut-down ---------------------------------------------------

void TVaraDavuz::startUp()
{
    // A failing step ends the start-up; the window opens with what the
    // steps before it produced.
    bool started = false;
    guarded([this, &started] {
        if (ProgramFolder.isEmpty())
            ProgramFolder = QCoreApplication::applicationDirPath();
        // A program folder that cannot be written (a system-wide install)
        // keeps the database in the user's data folder, made on first start.
        const QString programFolder = ProgramFolder;
        ProgramFolder = chooseDataFolder(programFolder, folderWritableCheck());
        // The card database on a server needs no file here; the folder
        // still keeps the export template.
        if (QDir(ProgramFolder) != QDir(programFolder))
            prepareDataFolder(ProgramFolder, readServerSetting().isEmpty());
        if (!QDir::setCurrent(ProgramFolder))
            throw Error(QStringLiteral("Cannot change to the folder %1").arg(ProgramFolder));
        if (!openCardDatabase())
            return;
        // The member list is opened for the group shown, never on every
        // member (the statement the query is defined with).
        SortOrder = ReadStringSetting(QStringLiteral("SortField"), QStringLiteral("name"));
        ReloadAll();
        sePort->setValue(ReadIntSetting(QStringLiteral("PORT"), 1, sePort->minimum(), sePort->maximum()));
        started = true;
    });
    if (!started)
        listShownGroupOrNothing();
    updateCommandStates();
}

bool TVaraDavuz::lockDatabase()
{
    // One program per card database. A lock left by a program that was
    // killed names a process that no longer runs, and QLockFile takes it
    // over; an age alone never makes a lock stale.
    // Windows of one program share its lock (a window opened again in the
    // same process, as after a restart of the window alone).
    static std::map<QString, std::weak_ptr<QLockFile>> held;
    const QString lockPath = QFileInfo(DatabasePath).absoluteFilePath() + QStringLiteral(".lock");
    std::weak_ptr<QLockFile> &slot = held[lockPath];
    m_lock = slot.lock();
    if (m_lock)
        return true;
    auto lock = std::make_shared<QLockFile>(lockPath);
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        // A folder the lock cannot be written into cannot take the
        // database's journal either: nothing can be written there, so the
        // database opens without the lock and says so at the first write.
        if (lock->error() != QLockFile::LockFailedError)
            return true;
        m_databaseInUse = true;
        ShowErrorBox(QStringLiteral("The card database is in use by another Tessary window."));
        return false;
    }
    slot = lock;
    m_lock = std::move(lock);
    // Temporary files of a backup, restore or copy that was cut off.
    RemoveStaleTemporaries(ProgramFolder);
    return true;
}

void TVaraDavuz::listShownGroupOrNothing()
{
    // Whatever failed, the grid lists the group in the group box or
    // nothing: never the members of every group.
    try {
        if (lstGroup->currentIndex() >= 0 && m_data.QGroup.isOpen()) {
            ShowSelectedGroup();
            return;
        }
    } catch (...) {
    }
    m_data.QStaff.close();
    CurrentGroupId = 0;
    guarded([this] { ClearDetails(); });
}

void TVaraDavuz::shutDown()
{
    CloseReader();
    SaveWindowPlacement(QStringLiteral("MainWin"), this);
    GridWidths widths(dbgInfo);
    SaveColumnWidths(QStringLiteral("MainGrid"), widths);
    WriteIntSetting(QStringLiteral("PORT"), sePort->value());
}

// --- Listing and display --------------------------------------------------------

void TVaraDavuz::ReloadAll()
{
    FillGroupList(m_data.QGroup, QStringLiteral("gdesc"), lstGroup);
    ShowSelectedGroup();
    ShowCurrentMember();
    RestoreWindowPlacement(QStringLiteral("MainWin"), this);
    GridWidths widths(dbgInfo);
    RestoreColumnWidths(QStringLiteral("MainGrid"), widths);
}

void TVaraDavuz::UpdateCounts()
{
    Query &all = m_data.QAllStaff;
    if (!all.isOpen())
        all.open();
    sbPanels[0]->setText(QStringLiteral("Total Staffs=") + QString::number(all.recordCount()));
    all.close();
    sbPanels[1]->setText(QStringLiteral("Total Groups=") + QString::number(m_data.QGroup.recordCount()));
    sbPanels[2]->setText(QStringLiteral("Group Members=") + QString::number(m_data.QStaff.recordCount()));
}

QString TVaraDavuz::effectiveSortOrder() const
{
    // Only the orders the sort command writes reach the statement; anything
    // else in the settings (empty, hand-edited) falls back to the name.
    static const QStringList known = {QStringLiteral("name"), QStringLiteral("staffno,name"),
                                      QStringLiteral("name,name"), QStringLiteral("cname,name")};
    return known.contains(SortOrder) ? SortOrder : QStringLiteral("name");
}

void TVaraDavuz::ShowSelectedGroup()
{
    // The list entry carries its group's id, so a group without a name (or
    // sharing its name) lists its own members.
    const QVariant id = lstGroup->currentIndex() >= 0 ? lstGroup->currentData() : QVariant();
    if (id.isValid()) {
        CurrentGroupId = id.toInt();
    } else {
        const QString text = lstGroup->currentIndex() >= 0 ? lstGroup->currentText() : QString();
        FindIdByText(m_data.QGroup, text, QStringLiteral("gdesc"), CurrentGroupId, QStringLiteral("gid"));
    }
    listCurrentGroup();
}

void TVaraDavuz::listCurrentGroup()
{
    m_data.QStaff.setSql(memberListSql(CurrentGroupId, effectiveSortOrder()));
    m_data.QStaff.open();
    FillGroupMenu(m_data.QGroup, QStringLiteral("gdesc"), QStringLiteral("gid"),
                  [this](int id) { guarded([this, id] { MoveMemberToGroup(id); }); }, puMenu);
    UpdateCounts();
}

void TVaraDavuz::ShowGroupById(int id)
{
    CurrentGroupId = id;
    QString name;
    const bool found = FindTextById(m_data.QGroup, id, QStringLiteral("gid"), name, QStringLiteral("gdesc"));
    int entry = -1;
    if (found)
        entry = lstGroup->findData(id);
    if (found && entry < 0)
        for (int i = 0; i < lstGroup->count(); ++i)
            if (lstGroup->itemText(i) == name) {
                entry = i;
                break;
            }
    lstGroup->setCurrentIndex(entry);
    listCurrentGroup();
}

void TVaraDavuz::ShowCurrentMember()
{
    Query &staff = m_data.QStaff;
    if (!staff.isOpen() || staff.recordCount() == 0 || staff.recNo() < 0) {
        ClearDetails();
        return;
    }
    // An empty column shows as an empty box rather than an error.
    const QString staffNo = FieldText(staff.findField(QStringLiteral("staffno")));
    eStaffNo->setText(QString::fromLocal8Bit(staffNo.toLocal8Bit()));
    eName->setText(FieldText(staff.findField(QStringLiteral("name"))));
    eCname->setText(FieldText(staff.findField(QStringLiteral("cname"))));
    ePost->setText(FieldText(staff.findField(QStringLiteral("post"))));
    // A date that cannot be read back shows today.
    auto shownDate = [&](const QString &column) {
        const QDateTime value = staff.fieldByName(column).asDateTime();
        return value.isValid() ? value.date() : QDate::currentDate();
    };
    dpJoin->setDate(shownDate(QStringLiteral("datejoin")));
    dpExpiry->setDate(shownDate(QStringLiteral("expiry")));
    eRemark->setText(FieldText(staff.findField(QStringLiteral("remark"))));
    m_shownPhoto = staff.fieldByName(QStringLiteral("photo")).asBytes();
    m_photoChanged = false;
    imgPhoto->setPicture(LoadPictureFromBlob(m_shownPhoto));
    ShowPictureSize(*imgPhoto);
    m_shown = MemberStore(m_data).current();
    m_shownTexts = paneTexts();
}

void TVaraDavuz::ClearDetails()
{
    eStaffNo->clear();
    eName->clear();
    eCname->clear();
    ePost->clear();
    dpJoin->setDate(QDate::currentDate());
    dpExpiry->setDate(dpJoin->date());
    eRemark->clear();
    QImage blank(kPlaceholderWidth, kPlaceholderHeight, QImage::Format_BGR888);
    blank.fill(Qt::white);
    imgPhoto->setPicture(blank);
    m_shownPhoto.clear();
    m_photoChanged = false;
    m_shown = MemberRef();
    m_shownTexts = paneTexts();
}
