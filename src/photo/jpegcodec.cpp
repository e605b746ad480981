#include "photo/jpegcodec.h"

// jpeglib.h needs FILE and size_t declared before it.
#include <cstdio>
#include <vector>
#include <cstddef>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include <algorithm>

#include <jpeglib.h>
#include <jerror.h>

// libjpeg reports a fatal error by calling error_exit, which by default ends
// the process. Here error_exit jumps back (longjmp) to the wrapper function
// that made the library call. The wrappers below are kept C-like on purpose:
// every frame a jump can cross (the library's own and the small callbacks)
// holds only trivially destructible objects, and all state that must survive
// a jump lives in a job structure owned by the calling C++ function, never in
// locals of the function that called setjmp.

namespace tessary::jpeg {

namespace {

struct ErrorManager
{
    jpeg_error_mgr pub; // first member: libjpeg hands back a pointer to it
    std::jmp_buf jump;
};

[[noreturn]] void jumpBack(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(cinfo->err)->jump, 1);
}

void onErrorExit(j_common_ptr cinfo)
{
    jumpBack(cinfo);
}

// Warnings are counted, not printed. The one warning treated as a failure is
// the source running dry: the library would then pad the picture with grey
// and call it a success, while the stored bytes were in fact cut short.
void onEmitMessage(j_common_ptr cinfo, int level)
{
    if (level < 0) {
        if (cinfo->err->msg_code == JWRN_JPEG_EOF)
            jumpBack(cinfo);
        ++cinfo->err->num_warnings;
    }
}

void onOutputMessage(j_common_ptr)
{
}

void installErrorManager(ErrorManager &err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = onErrorExit;
    err.pub.emit_message = onEmitMessage;
    err.pub.output_message = onOutputMessage;
}

// ---------------------------------------------------------------------------
// Encoding

// A destination that grows one malloc'd buffer. The job owns the buffer, so
// it is released whether the encoder finishes or jumps out.
struct CompressJob
{
    jpeg_compress_struct c;
    ErrorManager err;
    jpeg_destination_mgr dest;
    unsigned char *buffer;
    std::size_t capacity;
    std::size_t used;
    const unsigned char *pixels;
    std::ptrdiff_t stride;
    JDIMENSION width;
    JDIMENSION height;
};

CompressJob *jobOf(j_compress_ptr c)
{
    // The destination manager is a member of the job; step back to the job.
    auto *dest = reinterpret_cast<unsigned char *>(c->dest);
    return reinterpret_cast<CompressJob *>(dest - offsetof(CompressJob, dest));
}

void destInit(j_compress_ptr c)
{
    CompressJob *job = jobOf(c);
    c->dest->next_output_byte = job->buffer;
    c->dest->free_in_buffer = job->capacity;
}

boolean destEmpty(j_compress_ptr c)
{
    // Called when the whole buffer is full (free_in_buffer is 0).
    CompressJob *job = jobOf(c);
    const std::size_t grown = job->capacity * 2;
    auto *bigger = static_cast<unsigned char *>(std::realloc(job->buffer, grown));
    if (!bigger)
        ERREXIT1(c, JERR_OUT_OF_MEMORY, 0);
    c->dest->next_output_byte = bigger + job->capacity;
    c->dest->free_in_buffer = grown - job->capacity;
    job->buffer = bigger;
    job->capacity = grown;
    return TRUE;
}

void destTerm(j_compress_ptr c)
{
    CompressJob *job = jobOf(c);
    job->used = job->capacity - c->dest->free_in_buffer;
}

bool runCompress(CompressJob *job)
{
    installErrorManager(job->err);
    job->c.err = &job->err.pub;
    if (setjmp(job->err.jump) != 0) {
        jpeg_destroy_compress(&job->c);
        return false;
    }
    jpeg_create_compress(&job->c);
    job->dest.init_destination = destInit;
    job->dest.empty_output_buffer = destEmpty;
    job->dest.term_destination = destTerm;
    job->c.dest = &job->dest;

    job->c.image_width = job->width;
    job->c.image_height = job->height;
    job->c.input_components = 3;
    job->c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&job->c);
    jpeg_set_quality(&job->c, 90, TRUE);
    jpeg_start_compress(&job->c, TRUE);
    while (job->c.next_scanline < job->c.image_height) {
        JSAMPROW rows[16];
        JDIMENSION count = 0;
        while (count < 16 && job->c.next_scanline + count < job->c.image_height) {
            rows[count] = const_cast<JSAMPROW>(job->pixels + std::ptrdiff_t(job->c.next_scanline + count) * job->stride);
            ++count;
        }
        jpeg_write_scanlines(&job->c, rows, count);
    }
    jpeg_finish_compress(&job->c);
    jpeg_destroy_compress(&job->c);
    return true;
}

// ---------------------------------------------------------------------------
// Decoding

struct DecompressJob
{
    jpeg_decompress_struct d;
    ErrorManager err;
};

bool runReadHeader(DecompressJob *job, const unsigned char *data, unsigned long size)
{
    installErrorManager(job->err);
    job->d.err = &job->err.pub;
    if (setjmp(job->err.jump) != 0)
        return false;
    jpeg_create_decompress(&job->d);
    jpeg_mem_src(&job->d, data, size);
    jpeg_read_header(&job->d, TRUE);
    // Full size, the library's defaults, blue-green-red output. Four-colour
    // streams (CMYK, YCCK, common from print workflows) come out as CMYK and
    // are turned into colour here.
    const bool fourColour = job->d.jpeg_color_space == JCS_CMYK || job->d.jpeg_color_space == JCS_YCCK;
    job->d.out_color_space = fourColour ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_calc_output_dimensions(&job->d);
    return true;
}

// CMYK samples to blue, green, red. Streams with an Adobe marker store the
// inks inverted (0 = full ink), so a channel is c * k / 255; plain CMYK
// streams store them as they are: (255 - c) * (255 - k) / 255.
void cmykRowToBgr(const unsigned char *cmyk, unsigned char *bgr, JDIMENSION width, bool inverted)
{
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        bgr[0] = static_cast<unsigned char>((y * k + 127) / 255);
        bgr[1] = static_cast<unsigned char>((m * k + 127) / 255);
        bgr[2] = static_cast<unsigned char>((c * k + 127) / 255);
    }
}

bool runReadPixels(DecompressJob *job, unsigned char *bits, std::ptrdiff_t stride, unsigned char *cmykRow)
{
    if (setjmp(job->err.jump) != 0)
        return false;
    jpeg_start_decompress(&job->d);
    if (cmykRow) {
        const bool inverted = job->d.saw_Adobe_marker;
        while (job->d.output_scanline < job->d.output_height) {
            unsigned char *out = bits + std::ptrdiff_t(job->d.output_scanline) * stride;
            JSAMPROW row = cmykRow;
            jpeg_read_scanlines(&job->d, &row, 1);
            cmykRowToBgr(cmykRow, out, job->d.output_width, inverted);
        }
    } else {
        while (job->d.output_scanline < job->d.output_height) {
            JSAMPROW rows[16];
            JDIMENSION count = 0;
            while (count < 16 && job->d.output_scanline + count < job->d.output_height) {
                rows[count] = bits + std::ptrdiff_t(job->d.output_scanline + count) * stride;
                ++count;
            }
            jpeg_read_scanlines(&job->d, rows, count);
        }
    }
    jpeg_finish_decompress(&job->d);
    return true;
}

} // namespace

bool encode(const QImage &picture, QByteArray &out)
{
    out.clear();
    if (picture.isNull() || picture.format() != QImage::Format_BGR888)
        return false;

    CompressJob job{};
    job.pixels = picture.constBits();
    job.stride = picture.bytesPerLine();
    job.width = JDIMENSION(picture.width());
    job.height = JDIMENSION(picture.height());
    // A photo at quality 90 takes well under a quarter of its raw size; the
    // buffer doubles when a picture needs more.
    job.capacity = std::max<std::size_t>(16384, std::size_t(job.stride) * job.height / 4);
    job.buffer = static_cast<unsigned char *>(std::malloc(job.capacity));
    if (!job.buffer)
        return false;

    const bool ok = runCompress(&job);
    if (ok)
        out = QByteArray(reinterpret_cast<const char *>(job.buffer), qsizetype(job.used));
    std::free(job.buffer);
    return ok;
}

QImage decode(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};

    DecompressJob job{};
    struct Destroyer
    {
        DecompressJob &job;
        ~Destroyer() { jpeg_destroy_decompress(&job.d); } // safe on a zeroed or destroyed object
    } destroyer{job};

    if (!runReadHeader(&job, reinterpret_cast<const unsigned char *>(bytes.constData()),
                       static_cast<unsigned long>(bytes.size())))
        return {};
    const qint64 width = job.d.output_width;
    const qint64 height = job.d.output_height;
    const int components = job.d.out_color_components;
    if (width <= 0 || height <= 0 || (components != 3 && components != 4) || width * height * 3 > kMaxDecodedBytes)
        return {};

    QImage picture(int(width), int(height), QImage::Format_BGR888);
    if (picture.isNull())
        return {};
    std::vector<unsigned char> cmykRow(components == 4 ? std::size_t(width) * 4 : 0);
    if (!runReadPixels(&job, picture.bits(), picture.bytesPerLine(), cmykRow.empty() ? nullptr : cmykRow.data()))
        return {};
    return picture;
}

} // namespace tessary::jpeg
