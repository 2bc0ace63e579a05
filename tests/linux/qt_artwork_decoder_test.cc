// Artwork the program draws comes from players and web servers: only the artwork formats are
// decoded, within a bound on their size.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include "platform/linux/qt_artwork_decoder.h"

namespace halvyn {
namespace {

std::string encoded(int width, int height, const char* format) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

TEST(QtArtworkDecoder, DecodesArtworkFormatsOnlyWithinTheirBound) {
    QtArtworkDecoder decoder;
    for (const char* format : {"PNG", "JPEG", "BMP"}) {
        const auto art = decoder.decode(encoded(40, 20, format), 10);
        ASSERT_TRUE(art) << format;
        EXPECT_EQ(art->width, 10);
        EXPECT_EQ(art->height, 5);
    }
    // The toolkit reads these too, but they are no artwork.
    for (const char* format : {"XPM", "PPM", "XBM"}) EXPECT_FALSE(decoder.decode(encoded(40, 20, format), 10)) << format;
    // Wider than the bound, if thin: refused before its pixels are read.
    EXPECT_TRUE(decoder.decode(encoded(QtArtworkDecoder::kMaxSide, 1, "PNG"), 10));
    EXPECT_FALSE(decoder.decode(encoded(QtArtworkDecoder::kMaxSide + 1, 1, "PNG"), 10));
    EXPECT_FALSE(decoder.decode("", 10));
}

}  // namespace
}  // namespace halvyn
