#include "placement.h"

#include "data/settings.h"

#include <QWidget>

namespace tessary {

void RestoreWindowPlacement(const QString &prefix, QWidget *window)
{
    const int top = ReadIntSetting(prefix + QStringLiteral("_TOP"), 0);
    const int left = ReadIntSetting(prefix + QStringLiteral("_LEFT"), 0);
    const int width = ReadIntSetting(prefix + QStringLiteral("_WIDTH"), 640);
    const int height = ReadIntSetting(prefix + QStringLiteral("_HEIGHT"), 480);
    const bool maximised = ReadBoolSetting(prefix + QStringLiteral("_MAX"), false);
    window->move(left, top);
    window->resize(width, height);
    if (maximised)
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
    else
        window->setWindowState(window->windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));
}

void SaveWindowPlacement(const QString &prefix, QWidget *window)
{
    const bool maximised = window->isMaximized();
    WriteBoolSetting(prefix + QStringLiteral("_MAX"), maximised);
    if (maximised)
        return;
    WriteIntSetting(prefix + QStringLiteral("_TOP"), window->y());
    WriteIntSetting(prefix + QStringLiteral("_LEFT"), window->x());
    WriteIntSetting(prefix + QStringLiteral("_WIDTH"), window->width());
    WriteIntSetting(prefix + QStringLiteral("_HEIGHT"), window->height());
}

} // namespace tessary
