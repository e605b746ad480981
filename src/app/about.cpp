#include "about.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QPixmap drawLogo(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 32.0;
    // Card body
    p.setPen(QPen(QColor(0, 0, 128), 1.5 * s));
    p.setBrush(QColor(235, 242, 255));
    p.drawRoundedRect(QRectF(2 * s, 6 * s, 28 * s, 20 * s), 3 * s, 3 * s);
    // Photo
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 128));
    p.drawEllipse(QRectF(6 * s, 10 * s, 6 * s, 6 * s));
    p.drawRoundedRect(QRectF(5 * s, 16.5 * s, 8 * s, 6 * s), 2 * s, 2 * s);
    // Text rows
    p.setBrush(QColor(90, 110, 160));
    for (int i = 0; i < 3; ++i)
        p.drawRect(QRectF(16 * s, (11 + 4 * i) * s, (11 - 2 * i) * s, 1.6 * s));
    return pixmap;
}

} // namespace

QIcon AboutBox::logo()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(drawLogo(size));
    return icon;
}

AboutBox::AboutBox(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About Vara Davuz"));
    setModal(true);

    auto *logoLabel = new QLabel(this);
    logoLabel->setObjectName(QStringLiteral("imgLogo"));
    logoLabel->setPixmap(drawLogo(48));
    logoLabel->setAccessibleName(QStringLiteral("Logo"));

    auto *product = new QLabel(QStringLiteral("Tessary"), this);
    product->setObjectName(QStringLiteral("lbProduct"));
    QFont bold = product->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.6);
    product->setFont(bold);
    product->setStyleSheet(QStringLiteral("color: navy;"));

    auto *version = new QLabel(QStringLiteral("Version 1.01"), this);
    version->setObjectName(QStringLiteral("lbVersion"));

    auto *text = new QPlainTextEdit(this);
    text->setObjectName(QStringLiteral("mmAbout"));
    text->setAccessibleName(QStringLiteral("About"));
    text->setReadOnly(true);
    text->setPlainText(QStringLiteral(
        "Tessary makes staff identity cards.\n\n"
        "Keep members in groups with their photos, lay out cards in three styles, "
        "preview and print them on A6 or A4 sheets, print a check list, import members "
        "from a spreadsheet and back up the card database.\n\n"
        "Made by KESMAR."));
    text->setMinimumSize(280, 110);

    auto *close = new QPushButton(QStringLiteral("Cl&ose"), this);
    close->setObjectName(QStringLiteral("bClose"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto *head = new QHBoxLayout;
    head->addWidget(logoLabel);
    auto *titles = new QVBoxLayout;
    titles->addWidget(product);
    titles->addWidget(version);
    head->addLayout(titles, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(text, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);
}
