// The picture decoders on good, wrong, corrupt, truncated and oversized
// input, and a mutation run that must never crash (ASan watches it in CI).
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "tests/support/Files.h"
#include "tests/ui/Main/TestPictures.h"
#include "ui/Main/Picture.h"

namespace tovanel::test {
namespace {

QByteArray Jpeg(QImage::Format format, bool progressive) { return TestJpeg(format, progressive); }
QByteArray Gif() { return TestGif(); }

void PutBigEndian16(QByteArray& b, qsizetype at, int v) {
    b[at] = static_cast<char>(v >> 8);
    b[at + 1] = static_cast<char>(v & 0xFF);
}

// The JPEG with its frame header claiming 60000 x 60000 pixels.
QByteArray HugeJpeg() {
    QByteArray b = Jpeg(QImage::Format_RGB32, false);
    const qsizetype sof = b.indexOf(QByteArray("\xFF\xC0", 2));
    PutBigEndian16(b, sof + 5, 60000);
    PutBigEndian16(b, sof + 7, 60000);
    return b;
}

QByteArray HugeGif() {
    QByteArray b = Gif();
    for (qsizetype at : {qsizetype{6}, qsizetype{8}, b.indexOf(',') + 5, b.indexOf(',') + 7}) b[at] = b[at + 1] = '\xFF';
    return b;
}

TEST(PictureTest, DecodesEachFormatAndRefusesTheRest) {
    struct Case {
        const char* what;
        QByteArray data;
        PictureFormat format;
        const char* error;  // nullptr: decodes
    };
    const QByteArray jpeg = Jpeg(QImage::Format_RGB32, false);
    const Case cases[] = {
        {"JPEG", jpeg, PictureFormat::Jpeg, nullptr},
        {"progressive grey JPEG", Jpeg(QImage::Format_Grayscale8, true), PictureFormat::Jpeg, nullptr},
        {"GIF", Gif(), PictureFormat::Gif, nullptr},
        {"GIF read as JPEG", Gif(), PictureFormat::Jpeg, "Not a JPEG file"},
        {"JPEG read as GIF", jpeg, PictureFormat::Gif, "Not a GIF file"},
        {"nothing", QByteArray(), PictureFormat::Jpeg, "empty"},
        {"JPEG cut in half", jpeg.left(jpeg.size() / 2), PictureFormat::Jpeg, "Premature end"},
        {"JPEG of 3.6 gigapixels", HugeJpeg(), PictureFormat::Jpeg, "60000 x 60000 pixels, more than the 40 megapixels"},
        {"GIF of 4.3 gigapixels", HugeGif(), PictureFormat::Gif, "65535 x 65535 pixels"},
    };
    for (const Case& k : cases) {
        QImage image;
        QString error;
        const bool ok = DecodePicture(k.data, k.format, image, error);
        EXPECT_EQ(ok, k.error == nullptr) << k.what << ": " << error.toStdString();
        EXPECT_EQ(image.isNull(), !ok) << k.what;
        if (k.error != nullptr) {
            EXPECT_TRUE(error.contains(QString::fromLatin1(k.error))) << k.what << ": " << error.toStdString();
        }
    }
    // Stored pictures: JPEG, else GIF, else nothing.
    QImage image;
    QString error;
    EXPECT_TRUE(LoadPicture(Gif(), image, error));
    EXPECT_EQ(image.size(), QSize(1, 1));
    EXPECT_TRUE(LoadPicture(jpeg, image, error));
    // Red, green and blue in their places (JPEG is lossy).
    EXPECT_NEAR(image.pixelColor(63, 0).red(), 252, 16);
    EXPECT_NEAR(image.pixelColor(63, 0).blue(), 128, 16);
    EXPECT_NEAR(image.pixelColor(0, 47).green(), 235, 16);
    EXPECT_FALSE(LoadPicture(QByteArray("\x89PNG\r\n\x1a\n", 8), image, error));
    EXPECT_TRUE(image.isNull());
}

TEST(PictureTest, FilesAreDecodedByTheirExtension) {
    TempDir dir;
    const std::string gif = Gif().toStdString();
    const std::string big = (dir.path / "big.jpg").string();
    std::filesystem::resize_file(dir.File("big.jpg", ""), MaxPictureFileBytes + 1);
    struct Case {
        std::string path;
        const char* error;
    };
    const Case cases[] = {
        {dir.File("remote.GIF", gif), nullptr},
        {dir.File("remote.jpg", gif), "Not a JPEG file"},
        {dir.File("remote.png", gif), "Unknown picture file extension (.png)"},
        {(dir.path / "vanished.jpeg").string(), "Cannot read"},
        {big, "is larger than 64 MB"},
    };
    for (const Case& k : cases) {
        QByteArray bytes;
        QImage image;
        QString error;
        const bool ok = LoadPictureFile(QString::fromStdString(k.path), bytes, image, error);
        EXPECT_EQ(ok, k.error == nullptr) << k.path << ": " << error.toStdString();
        EXPECT_EQ(bytes, ok ? Gif() : QByteArray()) << k.path;
        if (k.error != nullptr) {
            EXPECT_TRUE(error.contains(QString::fromLatin1(k.error))) << error.toStdString();
        }
    }
}

// Flipped, overwritten, dropped and truncated bytes of good pictures: every
// result is a picture within the limit or an error, never a crash.
TEST(PictureTest, MutatedPicturesGiveAPictureOrAnError) {
    std::mt19937 random(11);
    const QByteArray seeds[] = {Jpeg(QImage::Format_RGB32, false), Jpeg(QImage::Format_RGB32, true), Gif(),
                                HugeJpeg()};
    int decoded = 0, refused = 0;
    for (const QByteArray& seed : seeds) {
        for (int round = 0; round < 1500; ++round) {
            QByteArray data = seed;
            const int edits = 1 + static_cast<int>(random() % 4);
            for (int e = 0; e < edits && !data.isEmpty(); ++e) {
                const auto at = static_cast<qsizetype>(random() % static_cast<uint32_t>(data.size()));
                switch (random() % 4) {
                    case 0: data[at] = static_cast<char>(data[at] ^ (1 << (random() % 8))); break;
                    case 1: data[at] = static_cast<char>(random()); break;
                    case 2: data.remove(at, 1 + static_cast<qsizetype>(random() % 16)); break;
                    default: data.truncate(at); break;
                }
            }
            QImage image;
            QString error;
            if (LoadPicture(data, image, error)) {
                ++decoded;
                EXPECT_FALSE(image.isNull());
                EXPECT_LE(int64_t{image.width()} * image.height(), MaxPicturePixels);
            } else {
                ++refused;
                EXPECT_TRUE(image.isNull());
                EXPECT_FALSE(error.isEmpty());
            }
        }
    }
    // Both outcomes occur, or the mutations tested nothing.
    EXPECT_GT(decoded, 0);
    EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace tovanel::test
