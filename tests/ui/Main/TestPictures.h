// Small pictures for the tests: JPEG written by Qt's writer, GIF by hand
// (Qt writes none).
#pragma once

#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QImageWriter>

namespace tovanel::test {

// 64 x 48 pixels: red grows to the right, green downwards, blue 128.
inline QByteArray TestJpeg(QImage::Format format = QImage::Format_RGB32, bool progressive = false) {
    QImage image(64, 48, format);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) image.setPixelColor(x, y, QColor(x * 4, y * 5, 128));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    return bytes;
}

// One white pixel.
inline QByteArray TestGif() {
    return QByteArray(
        "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00"
        ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
        35);
}

}  // namespace tovanel::test
