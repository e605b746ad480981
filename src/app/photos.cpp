// Photo commands of the main window: load from a file, clear, rotate, and
// the batch resize of stored photos.
#include "mainwindow.h"
#include "photos.h"

#include "data/busy.h"
#include "data/datasrc.h"
#include "data/errors.h"
#include "data/prompts.h"
#include "data/scopeexit.h"
#include "photoui/imagecontrol.h"
#include "photoui/picturecontrol.h"
#include "photo/picture.h"
#include "photoui/progress.h"
#include "photo/transforms.h"
#include "members/memberstore.h"

#include <QPushButton>

using namespace tessary;

void TVaraDavuz::connectPhotoCommands()
{
    connect(bPhoto, &QPushButton::clicked, this, [this] { guarded([this] { bPhotoClick(); }); });
    connect(bpClear, &QPushButton::clicked, this, [this] { guarded([this] { bpClearClick(); }); });
    connect(bRotate, &QPushButton::clicked, this, [this] { guarded([this] { bRotateClick(); }); });
    connect(bResizeAll, &QPushButton::clicked, this, [this] { guarded([this] { bResizeAllClick(); }); });
}

// The photo commands mark the picture as changed by the operator once the
// picture in the frame is another one (a cancelled file dialog leaves it).
void TVaraDavuz::changePhoto(const std::function<void()> &command)
{
    const qint64 before = imgPhoto->picture().cacheKey();
    OnExit mark([this, before] {
        if (imgPhoto->picture().cacheKey() != before)
            m_photoChanged = true;
    });
    command();
}

void TVaraDavuz::bPhotoClick()
{
    changePhoto([this] { LoadPictureFile(this, *imgPhoto, 0, 0); });
}

void TVaraDavuz::bpClearClick()
{
    changePhoto([this] { ClearPhoto(*imgPhoto); });
}

void TVaraDavuz::bRotateClick()
{
    changePhoto([this] { RotatePicture(this, *imgPhoto); });
}

void TVaraDavuz::bResizeAllClick()
{
    ResizeAllPhotos(this, m_data.QStaff, m_data.QAllStaff);
}

namespace tessary {

void ResizeAllPhotos(QWidget *owner, Query &staffList, Query &allStaff)
{
    BusyScope busy;
    std::unique_ptr<TPg> progress = TPg::Create(owner);
    const ResizeOutcome outcome = ResizeAllPhotos(staffList, allStaff, *progress);
    // The window is hidden by now and goes when this command ends.
    ShowPlainMessage(outcome == ResizeOutcome::Completed ? QStringLiteral("Completed.")
                                                         : QStringLiteral("Operation Failed."));
}

} // namespace tessary
