#include "ui/Main/Picture.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <jerror.h>
#include <jpeglib.h>

namespace tovanel {

namespace {

QString TooLarge(int64_t width, int64_t height) {
    return QStringLiteral("The picture is %1 x %2 pixels, more than the %3 megapixels a picture may have")
        .arg(width)
        .arg(height)
        .arg(MaxPicturePixels / 1'000'000);
}

// ---- JPEG ------------------------------------------------------------------
//
// libjpeg reports a fatal error by calling error_exit, which must not
// return: ours jumps back to the setjmp of the step that called into the
// library. The steps below keep only plain values in their frames, so that
// the jump skips no destructor.

struct JpegDecoder {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

JpegDecoder* Owner(j_common_ptr cinfo) { return static_cast<JpegDecoder*>(cinfo->client_data); }

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
    JpegDecoder* d = Owner(cinfo);
    (*cinfo->err->format_message)(cinfo, d->message);
    std::longjmp(d->jump, 1);
}

// Warnings (level -1) are corrupt data: the library would go on and fill
// the rest of the picture with grey. Only stray bytes between markers are
// harmless, and common in cameras' files. Trace messages are dropped.
void JpegEmitMessage(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code != JWRN_EXTRANEOUS_DATA) JpegErrorExit(cinfo);
}

void JpegProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number <= MaxJpegScans) return;
    JpegDecoder* owner = Owner(cinfo);
    std::snprintf(owner->message, sizeof owner->message, "More than %d progressive scans", MaxJpegScans);
    std::longjmp(owner->jump, 1);
}

// Creates the decompressor over `data` and reads the header; the output
// is RGB, grey or (for Adobe's CMYK files) CMYK, at full size.
bool JpegReadHeader(JpegDecoder* d, const unsigned char* data, unsigned long size) {
    if (setjmp(d->jump) != 0) return false;
    jpeg_create_decompress(&d->cinfo);
    d->cinfo.client_data = d;
    d->cinfo.mem->max_memory_to_use = MaxJpegWorkingBytes;
    d->cinfo.progress = &d->progress;
    jpeg_mem_src(&d->cinfo, data, size);
    jpeg_read_header(&d->cinfo, TRUE);
    switch (d->cinfo.jpeg_color_space) {
        case JCS_GRAYSCALE: d->cinfo.out_color_space = JCS_GRAYSCALE; break;
        case JCS_CMYK:
        case JCS_YCCK: d->cinfo.out_color_space = JCS_CMYK; break;
        default: d->cinfo.out_color_space = JCS_RGB; break;
    }
    jpeg_calc_output_dimensions(&d->cinfo);
    return true;
}

// Decompresses into `bits` (rows `stride` bytes apart, RGB or grey as the
// output has it). CMYK rows go through `cmykRow` and are converted to RGB;
// Adobe writes them inverted.
bool JpegReadLines(JpegDecoder* d, unsigned char* bits, size_t stride, unsigned char* cmykRow) {
    if (setjmp(d->jump) != 0) return false;
    jpeg_start_decompress(&d->cinfo);
    const bool cmyk = d->cinfo.out_color_space == JCS_CMYK;
    const bool inverted = d->cinfo.saw_Adobe_marker;
    while (d->cinfo.output_scanline < d->cinfo.output_height) {
        unsigned char* out = bits + stride * d->cinfo.output_scanline;
        JSAMPROW row = cmyk ? cmykRow : out;
        if (jpeg_read_scanlines(&d->cinfo, &row, 1) != 1) break;
        if (!cmyk) continue;
        for (JDIMENSION x = 0; x < d->cinfo.output_width; ++x) {
            const unsigned char* p = cmykRow + 4 * x;
            const unsigned k = inverted ? p[3] : 255u - p[3];
            for (int c = 0; c < 3; ++c) {
                const unsigned v = inverted ? p[c] : 255u - p[c];
                out[3 * x + static_cast<JDIMENSION>(c)] = static_cast<unsigned char>(v * k / 255);
            }
        }
    }
    jpeg_finish_decompress(&d->cinfo);
    return true;
}

bool DecodeJpeg(const QByteArray& data, QImage& image, QString& error) {
    JpegDecoder d;
    std::memset(&d, 0, sizeof d);
    d.cinfo.err = jpeg_std_error(&d.err);
    d.err.error_exit = JpegErrorExit;
    d.err.emit_message = JpegEmitMessage;
    d.progress.progress_monitor = JpegProgress;
    d.cinfo.client_data = &d;

    auto fail = [&](const QString& why) {
        jpeg_destroy_decompress(&d.cinfo);
        image = QImage();
        error = why;
        return false;
    };
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    if (!JpegReadHeader(&d, bytes, static_cast<unsigned long>(data.size())))
        return fail(QString::fromLocal8Bit(d.message));
    const int64_t width = d.cinfo.output_width, height = d.cinfo.output_height;
    if (width * height > MaxPicturePixels) return fail(TooLarge(width, height));

    const bool grey = d.cinfo.out_color_space == JCS_GRAYSCALE;
    QImage out(static_cast<int>(width), static_cast<int>(height),
               grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (out.isNull()) return fail(QStringLiteral("Not enough memory for a picture of %1 x %2 pixels").arg(width).arg(height));
    std::vector<unsigned char> cmykRow(d.cinfo.out_color_space == JCS_CMYK ? static_cast<size_t>(width) * 4 : 0);
    if (!JpegReadLines(&d, out.bits(), static_cast<size_t>(out.bytesPerLine()), cmykRow.data()))
        return fail(QString::fromLocal8Bit(d.message));
    jpeg_destroy_decompress(&d.cinfo);
    image = std::move(out);
    return true;
}

// ---- GIF ---------------------------------------------------------------------

bool DecodeGif(const QByteArray& data, QImage& image, QString& error) {
    image = QImage();
    QByteArray copy = data;  // QBuffer needs a byte array it may point into
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "gif");
    reader.setAutoDetectImageFormat(false);  // GIF or nothing
    if (!reader.canRead()) {
        error = QStringLiteral("Not a GIF file");
        return false;
    }
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) {
        error = QStringLiteral("The GIF file declares no picture size");
        return false;
    }
    if (int64_t{size.width()} * size.height() > MaxPicturePixels) {
        error = TooLarge(size.width(), size.height());
        return false;
    }
    QImage out;
    if (!reader.read(&out) || out.isNull()) {
        error = QStringLiteral("Corrupt GIF file: ") + reader.errorString();
        return false;
    }
    image = std::move(out);
    return true;
}

}  // namespace

bool DecodePicture(const QByteArray& data, PictureFormat format, QImage& image, QString& error) {
    if (data.isEmpty()) {
        image = QImage();
        error = QStringLiteral("The picture is empty");
        return false;
    }
    return format == PictureFormat::Jpeg ? DecodeJpeg(data, image, error) : DecodeGif(data, image, error);
}

bool LoadPicture(const QByteArray& data, QImage& image, QString& error) {
    QString jpeg, gif;
    if (DecodePicture(data, PictureFormat::Jpeg, image, jpeg)) return true;
    if (DecodePicture(data, PictureFormat::Gif, image, gif)) return true;
    error = QStringLiteral("Neither JPEG (%1) nor GIF (%2)").arg(jpeg, gif);
    return false;
}

bool LoadPictureFile(const QString& path, QByteArray& bytes, QImage& image, QString& error) {
    bytes.clear();
    image = QImage();
    const QString suffix = QFileInfo(path).suffix().toLower();
    PictureFormat format = PictureFormat::Jpeg;
    if (suffix == u"gif") {
        format = PictureFormat::Gif;
    } else if (suffix != u"jpg" && suffix != u"jpeg") {
        error = QStringLiteral("Unknown picture file extension (.%1): %2").arg(suffix, path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    // A regular file is measured before it is read; any other is read up
    // to one byte past the limit.
    const bool tooLarge = !file.isSequential() && file.size() > MaxPictureFileBytes;
    QByteArray data = tooLarge ? QByteArray() : file.isSequential() ? file.read(MaxPictureFileBytes + 1) : file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    if (tooLarge || data.size() > MaxPictureFileBytes) {
        error = QStringLiteral("%1 is larger than %2 MB").arg(path).arg(MaxPictureFileBytes / (1024 * 1024));
        return false;
    }
    QString why;
    if (!DecodePicture(data, format, image, why)) {
        error = path + QStringLiteral(": ") + why;
        return false;
    }
    bytes = std::move(data);
    return true;
}

}  // namespace tovanel
