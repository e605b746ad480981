// Photo commands of the main window: load from a file, clear, rotate, and
// the batch resize of stored photos.
#include "mainwindow.h"
#include "photos.h"

#include "data/datasrc.h"
#include "data/errors.h"
#include "data/prompts.h"
#include "photo/imagecontrol.h"
#include "photo/picture.h"
#include "photo/progress.h"
#include "photo/transforms.h"

#include <QPushButton>

using namespace tessary;

void TVaraDavuz::connectPhotoCommands()
{
    connect(bPhoto, &QPushButton::clicked, this, [this] { guarded([this] { bPhotoClick(); }); });
    connect(bpClear, &QPushButton::clicked, this, [this] { guarded([this] { bpClearClick(); }); });
    connect(bRotate, &QPushButton::clicked, this, [this] { guarded([this] { bRotateClick(); }); });
    connect(bResizeAll, &QPushButton::clicked, this, [this] { guarded([this] { bResizeAllClick(); }); });
}

void TVaraDavuz::bPhotoClick()
{
    LoadPictureFile(this, *imgPhoto, 0, 0);
}

void TVaraDavuz::bpClearClick()
{
    ClearPhoto(*imgPhoto);
}

void TVaraDavuz::bRotateClick()
{
    RotatePicture(this, *imgPhoto);
}

void TVaraDavuz::bResizeAllClick()
{
    ResizeAllPhotos(this, m_data.QStaff, m_data.QAllStaff);
}

namespace tessary {

void ResizeAllPhotos(QWidget *owner, Query &staffList, Query &allStaff)
{
    staffList.close();
    std::unique_ptr<TPg> progress;
    // Runs whatever way the walk ends: the progress window goes, the
    // all-members query is closed (abandoning a record whose save failed)
    // and the member list is reopened at its first record.
    auto cleanUp = [&] {
        progress.reset();
        if (allStaff.isOpen()) {
            allStaff.cancel();
            allStaff.close();
        }
        staffList.open();
    };
    try {
        allStaff.setSql(allMembersSql());
        allStaff.open();
        progress = TPg::CreateRange(owner, 0, allStaff.recordCount());
        allStaff.first();
        progress->show();
        bool failed = false;
        while (!allStaff.eof()) {
            Field photo = allStaff.fieldByName(QStringLiteral("photo"));
            const QByteArray stored = photo.asBytes();
            // Decoding and the size rule; nullopt means the photo is small
            // enough and is neither changed nor re-encoded.
            std::optional<QImage> resized = ResizedForStorage(LoadPictureFromBlob(stored));
            if (resized) {
                allStaff.edit();
                try {
                    photo.setBytes(SavePictureToBlob(*resized));
                    allStaff.post();
                } catch (const Error &) {
                    failed = true;
                }
                if (failed) {
                    progress->hide();
                    ShowPlainMessage(QStringLiteral("Operation Failed."));
                    break;
                }
            }
            progress->StepIt();
            allStaff.next();
        }
        if (!failed) {
            progress->hide();
            ShowPlainMessage(QStringLiteral("Completed."));
        }
    } catch (...) {
        cleanUp();
        throw;
    }
    cleanUp();
}

} // namespace tessary
