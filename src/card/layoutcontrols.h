#pragma once

// How the layout dialog's pages make their controls: named as their
// objectName, placed at fixed positions.

#include <QGroupBox>
#include <QString>

namespace tessary::layoutcontrols {

template <class Widget>
Widget *named(Widget *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

inline QGroupBox *makeGroup(QWidget *parent, const char *name, const QString &title, const QRect &geometry)
{
    auto *box = named(new QGroupBox(title, parent), name);
    box->setGeometry(geometry);
    return box;
}

} // namespace tessary::layoutcontrols
