#include "placement.h"

#include "data/settings.h"

#include <QWidget>

namespace tessary {

void RestoreWindowPlacement(const QString &prefix, QWidget *window)
{
    // Bounds no screen arrangement gives (a negative size, a size or place
    // of a million pixels) are not taken: those values keep their defaults.
    const int top = ReadIntSetting(prefix + QStringLiteral("_TOP"), 0, -kLargestPlacement, kLargestPlacement);
    const int left = ReadIntSetting(prefix + QStringLiteral("_LEFT"), 0, -kLargestPlacement, kLargestPlacement);
    const int width = ReadIntSetting(prefix + QStringLiteral("_WIDTH"), 640, 1, kLargestPlacement);
    const int height = ReadIntSetting(prefix + QStringLiteral("_HEIGHT"), 480, 1, kLargestPlacement);
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
