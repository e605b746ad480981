#pragma once

#include <QString>

class QWidget;

namespace tessary {

constexpr int kLargestPlacement = 16384;

// Window placement under prefix + "_TOP", "_LEFT", "_WIDTH", "_HEIGHT" and
// "_MAX". Bounds are applied as read, without checking them against the
// screen; a value outside -kLargestPlacement..kLargestPlacement (sizes:
// 1..kLargestPlacement) gives its default. A maximised window stores only "_MAX", so the normal bounds of
// the last save survive.
void RestoreWindowPlacement(const QString &prefix, QWidget *window);
void SaveWindowPlacement(const QString &prefix, QWidget *window);

} // namespace tessary
