// Artwork decoding with Qt and the dominant colours of a 1000 × 1000 JPEG, as the background
// queue does it for each new cover.

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QColor>
#include <QImage>

#include <random>

#include "nowplaying/dominant_colors.h"
#include "platform/linux/qt_artwork_decoder.h"

namespace halvyn {
namespace {

std::string jpegCover() {
    QImage img(1000, 1000, QImage::Format_RGB32);
    std::mt19937 rng(1);
    for (int y = 0; y < 1000; ++y)
        for (int x = 0; x < 1000; ++x)
            img.setPixel(x, y, qRgb((x * 255 / 1000 + static_cast<int>(rng() % 24)) & 255, (y * 255 / 1000) & 255,
                                    ((x + y) * 255 / 2000) & 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "JPEG", 90);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void BM_DecodeJpegCoverAndColors(benchmark::State& state) {
    const std::string bytes = jpegCover();
    QtArtworkDecoder decoder;
    for (auto _ : state) {
        auto image = decoder.decode(bytes, 168);
        if (!image) state.SkipWithError("not decoded");
        auto colors = dominantColors(*image, 3, 10);
        benchmark::DoNotOptimize(colors.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_DecodeJpegCoverAndColors)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace halvyn
