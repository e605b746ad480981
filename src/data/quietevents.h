#pragma once

// Event processing in the middle of a long operation.
//
// A bulk write or a print job hands control to the window system now and
// then so that its windows are exposed and painted. Nothing else may run
// inside it: a card presented at the reader (socket notifications), a timer
// (the reader link's gap timer) or a command of the operator would act on
// the data the operation is walking. These wait until the operation has
// returned to the event loop and then run there: window-system input stays
// in Qt's queue, socket data waits in the kernel (notifiers are
// level-triggered and report it again), timers fire late, and input events
// posted to a widget are posted again, in their order, when the processing
// ends.

class QObject;

namespace tessary {

// Runs pending window-system work once (expose, paint, layout, posted
// events), holding back user input, socket notifications and timers.
void ProcessEventsQuietly();

// As ProcessEventsQuietly, except that user input for `window` (the modal
// window of the operation, e.g. one with a Cancel button) and its children
// is delivered. Input for other windows is held, or refused by Qt's
// modality when `window` is modal.
void ProcessEventsForWindow(const QObject &window);

} // namespace tessary
