#include "photoui/centring.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace tessary {

void CentreOnScreen(QWidget &window)
{
    QWidget *owner = window.parentWidget();
    QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

} // namespace tessary
