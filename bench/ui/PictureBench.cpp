// Decoding a unit's picture, which happens on every change of the current
// unit that has one: a 12-megapixel photo (4000 x 3000, the size a phone
// takes) and a small picture of a remote control.
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

#include "ui/Main/Picture.h"

namespace tovanel {
namespace {

QByteArray Photo(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, width, height);
    g.setColorAt(0, QColor(30, 60, 120));
    g.setColorAt(1, QColor(230, 200, 90));
    p.fillRect(image.rect(), g);
    for (int k = 0; k < 200; ++k) p.fillRect((k * 97) % width, (k * 61) % height, 40, 40, QColor::fromHsv(k, 200, 200));
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "jpeg").write(image);
    return bytes;
}

void BM_DecodeJpeg(benchmark::State& state) {
    const QByteArray jpeg = Photo(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    QImage image;
    QString error;
    for (auto _ : state) {
        if (!LoadPicture(jpeg, image, error)) state.SkipWithError(qPrintable(error));
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["bytes"] = static_cast<double>(jpeg.size());
}

BENCHMARK(BM_DecodeJpeg)->Args({4000, 3000})->Args({240, 320})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tovanel
