#include "carddbdialog.h"

#include "data/busy.h"
#include "data/databasechoice.h"
#include "data/prompts.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace tessary;

TFmCardDb::TFmCardDb(const QString &inUse, const QString &server, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FmCardDb"));
    setWindowTitle(QStringLiteral("Card Database"));
    auto *layout = new QVBoxLayout(this);

    lbInUse = new QLabel(QStringLiteral("In use: ") + inUse, this);
    lbInUse->setObjectName(QStringLiteral("lbInUse"));
    lbInUse->setWordWrap(true);
    lbInUse->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(lbInUse);

    auto *where = new QGroupBox(QStringLiteral("Card database"), this);
    where->setObjectName(QStringLiteral("gbWhere"));
    layout->addWidget(where);
    auto *whereLayout = new QVBoxLayout(where);
    rbLocal = new QRadioButton(QStringLiteral("&This computer"), where);
    rbLocal->setObjectName(QStringLiteral("rbLocal"));
    rbServer = new QRadioButton(QStringLiteral("&Server"), where);
    rbServer->setObjectName(QStringLiteral("rbServer"));
    auto *choice = new QButtonGroup(this);
    choice->addButton(rbLocal);
    choice->addButton(rbServer);
    whereLayout->addWidget(rbLocal);
    whereLayout->addWidget(rbServer);

    auto *form = new QFormLayout;
    eServer = new QLineEdit(server, where);
    eServer->setObjectName(QStringLiteral("eServer"));
    eServer->setPlaceholderText(QStringLiteral("host=cardserver dbname=cardinfo user=tessary"));
    auto *serverLabel = new QLabel(QStringLiteral("&Connection string:"), where);
    serverLabel->setBuddy(eServer);
    eServer->setAccessibleName(QStringLiteral("Connection string"));
    eServer->setAccessibleDescription(
        QStringLiteral("A libpq connection string or postgresql:// address, without a password"));
    form->addRow(serverLabel, eServer);
    whereLayout->addLayout(form);

    bTest = new QPushButton(QStringLiteral("T&est"), where);
    bTest->setObjectName(QStringLiteral("bTest"));
    bTest->setToolTip(QStringLiteral("Connect with the connection string and say what is there; nothing is changed"));
    whereLayout->addWidget(bTest, 0, Qt::AlignLeft);
    lbTest = new QLabel(where);
    lbTest->setObjectName(QStringLiteral("lbTest"));
    lbTest->setWordWrap(true);
    // Room for an answer of a few lines (a server's error is often long).
    lbTest->setMinimumHeight(lbTest->fontMetrics().lineSpacing() * 3);
    lbTest->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbTest->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    whereLayout->addWidget(lbTest);

    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &TFmCardDb::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(rbServer, &QRadioButton::toggled, this, [this] { updateStates(); });
    connect(eServer, &QLineEdit::textChanged, this, [this] { updateStates(); });
    connect(bTest, &QPushButton::clicked, this, [this] { guarded([this] { bTestClick(); }); });

    (server.isEmpty() ? rbLocal : rbServer)->setChecked(true);
    setTabOrder(rbLocal, rbServer);
    setTabOrder(rbServer, eServer);
    setTabOrder(eServer, bTest);
    setTabOrder(bTest, buttons);
    updateStates();
    resize(460, sizeHint().height());
}

QString TFmCardDb::chosenServer() const
{
    return rbServer->isChecked() ? eServer->text().trimmed() : QString();
}

void TFmCardDb::updateStates()
{
    const bool server = rbServer->isChecked();
    eServer->setEnabled(server);
    bTest->setEnabled(server && !eServer->text().trimmed().isEmpty());
}

void TFmCardDb::bTestClick()
{
    lbTest->setText(QStringLiteral("Connecting…"));
    ServerProbe probe;
    {
        // Connecting may take up to libpq's connect_timeout.
        BusyScope busy;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        probe = probeServer(eServer->text().trimmed());
        QApplication::restoreOverrideCursor();
    }
    lbTest->setText(probe.description());
    // A longer answer makes the dialog taller rather than being cut off.
    if (sizeHint().height() > height())
        resize(width(), sizeHint().height());
}

void TFmCardDb::accept()
{
    if (rbServer->isChecked()) {
        const QString conninfo = eServer->text().trimmed();
        QString refusal;
        const ServerAddress address = parseServerAddress(conninfo);
        if (conninfo.isEmpty())
            refusal = QStringLiteral("Enter the connection string of the card database server.");
        else if (!address.valid)
            refusal = QStringLiteral("The connection string cannot be read: ") + address.error;
        else if (address.hasPassword)
            refusal = passwordRefusedText();
        if (!refusal.isEmpty()) {
            ShowErrorBox(refusal);
            eServer->setFocus();
            return;
        }
    }
    QDialog::accept();
}
