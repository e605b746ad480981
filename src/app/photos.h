#pragma once

class QWidget;

namespace tessary {

class Query;

// Shrinks every stored photo larger than 480 x 640 to exactly that size.
// The member list `staffList` is closed meanwhile and reopened at the end;
// `allStaff` walks every member. Reports "Completed." or "Operation
// Failed." in a message box; any other error is raised after the clean-up.
void ResizeAllPhotos(QWidget *owner, Query &staffList, Query &allStaff);

} // namespace tessary
