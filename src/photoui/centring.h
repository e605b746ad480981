#pragma once

class QWidget;

namespace tessary {

// Moves a window so it stands centred on the screen its owner is on (or on
// the primary screen when it has no owner). Called from a window's
// showEvent, when its frame size is known.
void CentreOnScreen(QWidget &window);

} // namespace tessary
