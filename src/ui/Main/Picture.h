// A unit's picture: the bytes of a JPEG or GIF file, decoded for display.
// JPEG goes through libjpeg's decompressor with an error manager that
// returns control (a corrupt file is an error, never the end of the
// program); GIF through Qt's image reader. Both check the picture's size
// in its header before decoding, so a file that declares more pixels than
// an ordinary photo has is refused without its memory being taken, and the
// JPEG decoder's working memory is capped as well.
#pragma once

#include <cstdint>

#include <QByteArray>
#include <QImage>
#include <QString>

namespace tovanel {

// Pictures larger than this are refused from their header: 40 megapixels
// is more than a phone photo and far more than a picture of a remote
// control needs.
inline constexpr int64_t MaxPicturePixels = 40'000'000;
// A picture file is read whole into memory and into the database.
inline constexpr int64_t MaxPictureFileBytes = 64 * 1024 * 1024;
// What the JPEG decoder may allocate for a progressive picture's
// coefficients and its other buffers.
inline constexpr long MaxJpegWorkingBytes = 256L * 1024 * 1024;
// Progressive JPEG scans beyond this are taken for a corrupt (or hostile)
// file: each scan re-reads the whole picture.
inline constexpr int MaxJpegScans = 500;

enum class PictureFormat { Jpeg, Gif };

// Decodes `data` as exactly one format. False with the reason in `error`
// (and a null image) when the data is no picture of that format, is
// corrupt or truncated, or is too large.
bool DecodePicture(const QByteArray& data, PictureFormat format, QImage& image, QString& error);

// A stored picture: JPEG first, then GIF. False with the reasons when it is
// neither; `image` is then null.
bool LoadPicture(const QByteArray& data, QImage& image, QString& error);

// A picture file chosen by the user, decoded by its extension (.jpg and
// .jpeg as JPEG, .gif as GIF). On success `bytes` holds the whole file,
// unconverted, to be stored. False with a message naming the file when it
// cannot be read, is too large, has another extension or does not decode.
bool LoadPictureFile(const QString& path, QByteArray& bytes, QImage& image, QString& error);

}  // namespace tovanel
