#include "finddialog.h"

#include "mainwindow.h"

#include "card/cardprinting.h"
#include "cardmodel/carddate.h"
#include "data/busy.h"
#include "data/datetext.h"
#include "data/prompts.h"

#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QTableView>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

using namespace tessary;

TFmFind::TFmFind(TVaraDavuz &main)
    : QWidget(&main, Qt::Window), m_main(main), m_search(main.data().src)
{
    setObjectName(QStringLiteral("FindMember"));
    setWindowTitle(QStringLiteral("Find Member"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(640, 380);
    buildControls();

    m_debounce.setSingleShot(true);
    m_debounce.setInterval(DebounceMs);
    connect(&m_debounce, &QTimer::timeout, this, [this] { guarded([this] { runSearch(); }); });
    connect(eFind, &QLineEdit::textEdited, this, [this] {
        // Typing returns to the text search.
        cbExpiring->setCurrentIndex(0);
        m_debounce.start();
    });
    connect(cbExpiring, &QComboBox::activated, this, [this] { guarded([this] { runSearch(); }); });
    connect(lvFound, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) {
        const int row = lvFound->indexOfTopLevelItem(item);
        guarded([this, row] { chooseHit(row); });
    });
    connect(bPrintFound, &QPushButton::clicked, this, [this] { guarded([this] { printFound(); }); });
    // Enter in the box chooses the first hit, as Enter in the list chooses
    // the selected one; Down goes on into the list.
    connect(eFind, &QLineEdit::returnPressed, this, [this] {
        guarded([this] {
            if (m_debounce.isActive() || !m_searched)
                runSearch();
            chooseHit(0);
        });
    });
    eFind->installEventFilter(this);
    // Saved, deleted or moved in the main window: listed again at once.
    connect(&main, &TVaraDavuz::membersChanged, this, [this] {
        if (isVisible() && m_searched)
            guarded([this] { runSearch(); });
    });
    // A restore or an import replaces what was listed.
    connect(&main.data().src, &Connection::dataChanged, this, [this] {
        if (isVisible())
            m_debounce.start();
    });
}

void TFmFind::buildControls()
{
    auto *grid = new QGridLayout(this);
    eFind = new QLineEdit(this);
    eFind->setObjectName(QStringLiteral("eFind"));
    eFind->setAccessibleName(QStringLiteral("Find"));
    eFind->setClearButtonEnabled(true);
    auto *findLabel = new QLabel(QStringLiteral("&Find"), this);
    findLabel->setBuddy(eFind);

    cbExpiring = new QComboBox(this);
    cbExpiring->setObjectName(QStringLiteral("cbExpiring"));
    cbExpiring->setAccessibleName(QStringLiteral("Expiring within"));
    cbExpiring->addItem(QString(), int(ExpiryWindow::None));
    cbExpiring->addItem(QStringLiteral("30 days"), int(ExpiryWindow::Days30));
    cbExpiring->addItem(QStringLiteral("60 days"), int(ExpiryWindow::Days60));
    cbExpiring->addItem(QStringLiteral("90 days"), int(ExpiryWindow::Days90));
    cbExpiring->addItem(QStringLiteral("Expired"), int(ExpiryWindow::Expired));
    auto *expiringLabel = new QLabel(QStringLiteral("E&xpiring within"), this);
    expiringLabel->setBuddy(cbExpiring);

    lvFound = new QTreeWidget(this);
    lvFound->setObjectName(QStringLiteral("lvFound"));
    lvFound->setAccessibleName(QStringLiteral("Members found"));
    lvFound->setRootIsDecorated(false);
    lvFound->setUniformRowHeights(true);
    lvFound->setSelectionMode(QAbstractItemView::SingleSelection);
    lvFound->setHeaderLabels({QStringLiteral("Group"), QStringLiteral("ID"), QStringLiteral("Name"),
                              QStringLiteral("CName"), QStringLiteral("Card No"), QStringLiteral("Expiry Date")});

    lCount = new QLabel(this);
    lCount->setObjectName(QStringLiteral("lCount"));
    bPrintFound = new QPushButton(QStringLiteral("Print Found"), this);
    bPrintFound->setObjectName(QStringLiteral("bPrintFound"));
    bPrintFound->setEnabled(false);
    bPrintFound->setToolTip(QStringLiteral("Prints the cards of the members listed"));

    grid->addWidget(findLabel, 0, 0);
    grid->addWidget(eFind, 0, 1);
    grid->addWidget(expiringLabel, 0, 2);
    grid->addWidget(cbExpiring, 0, 3);
    grid->addWidget(lvFound, 1, 0, 1, 4);
    grid->addWidget(lCount, 2, 0, 1, 3);
    grid->addWidget(bPrintFound, 2, 3);
    grid->setColumnStretch(1, 1);
    setTabOrder(eFind, cbExpiring);
    setTabOrder(cbExpiring, lvFound);
    setTabOrder(lvFound, bPrintFound);
}

void TFmFind::runSearch()
{
    m_debounce.stop();
    m_searched = true;
    if (!m_main.data().src.connected()) {
        showFound({});
        return;
    }
    const auto window = ExpiryWindow(cbExpiring->currentData().toInt());
    if (window != ExpiryWindow::None)
        showFound(m_search.expiring(window, today.isValid() ? today : QDate::currentDate()));
    else
        showFound(m_search.find(eFind->text().trimmed()));
}

void TFmFind::showFound(const FoundMembers &found)
{
    m_found = found.rows;
    lvFound->clear();
    QList<QTreeWidgetItem *> items;
    items.reserve(qsizetype(m_found.size()));
    for (const FoundMember &m : m_found)
        items << new QTreeWidgetItem(QStringList{m.group, m.staffno, m.name, m.cname,
                                                 m.cardno != 0 ? QString::number(m.cardno) : QString(),
                                                 cardDateText(readStoredDate(m.expiry).date())});
    lvFound->addTopLevelItems(items);
    for (int c = 0; c < lvFound->columnCount(); ++c)
        lvFound->resizeColumnToContents(c);
    if (!items.isEmpty())
        lvFound->setCurrentItem(items.first(), 0, QItemSelectionModel::NoUpdate);
    const int shown = int(m_found.size());
    m_total = found.total;
    lCount->setText(shown < found.total ? QStringLiteral("%1 of %2 members shown").arg(shown).arg(found.total)
                    : found.total == 1  ? QStringLiteral("1 member found")
                                        : QStringLiteral("%1 members found").arg(found.total));
    bPrintFound->setEnabled(shown > 0);
    bPrintFound->setToolTip(shown > 0 ? QStringLiteral("Prints the cards of the members listed")
                                      : QStringLiteral("No members are listed: find some first."));
}

bool TFmFind::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == eFind && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Down && lvFound->topLevelItemCount() > 0) {
        if (!lvFound->currentItem())
            lvFound->setCurrentItem(lvFound->topLevelItem(0));
        lvFound->currentItem()->setSelected(true);
        lvFound->setFocus(Qt::TabFocusReason);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TFmFind::keyPressEvent(QKeyEvent *event)
{
    // Escape closes the window, as it closes a dialog.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TFmFind::event(QEvent *event)
{
    // Coming back to the window, the list shows the card database as it is
    // now: members saved, moved or deleted in the main window meanwhile.
    if (event->type() == QEvent::WindowActivate && m_searched)
        tessary::guarded([this] { runSearch(); });
    return QWidget::event(event);
}

void TFmFind::chooseHit(int row)
{
    if (row < 0 || row >= int(m_found.size()))
        return;
    const FoundMember hit = m_found.at(size_t(row));
    m_main.ShowGroupById(hit.gid);
    Query &staff = m_main.data().QStaff;
    if (!staff.locate(QStringLiteral("seq"), hit.seq))
        ShowErrorReport(QStringLiteral("%1 is no longer in the card database").arg(hit.name));
    m_main.ShowCurrentMember();
    // The keyboard goes on in the member list, on the chosen member: Delete
    // and the arrow keys act there, not on the group box.
    m_main.dbgInfo->setFocus(Qt::OtherFocusReason);
    m_main.raise();
    m_main.activateWindow();
}

QString TFmFind::printFoundQuestion() const
{
    const int shown = int(m_found.size());
    if (shown < m_total)
        return QStringLiteral("Print the cards of the %1 members shown? The other %2 of the %3 members found "
                              "are not printed.")
            .arg(shown)
            .arg(m_total - shown)
            .arg(m_total);
    if (shown == 1)
        return QStringLiteral("Print the card of the 1 member listed?");
    return QStringLiteral("Print the cards of the %1 members listed?").arg(shown);
}

void TFmFind::printFound()
{
    if (m_found.empty() || !ConfirmYesNo(printFoundQuestion()))
        return;
    std::vector<qint64> keys;
    keys.reserve(m_found.size());
    for (const FoundMember &m : m_found)
        keys.push_back(m.seq);
    // A card run is one operation: nothing else runs inside it.
    BusyScope busy;
    CardPrinting printing(m_main.data(), *m_main.cardOutput);
    printing.PrintMembers(keys);
}
