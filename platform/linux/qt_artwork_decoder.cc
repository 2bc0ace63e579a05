#include "platform/linux/qt_artwork_decoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <cstring>

namespace halvyn {

std::optional<ArtworkImage> QtArtworkDecoder::decode(const std::string& bytes, int box) {
    if (bytes.empty() || box <= 0) return std::nullopt;
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // The bytes are a player's or a web server's: only the artwork formats are parsed, never the
    // toolkit's other readers (vector images, icons, text formats).
    const QByteArray format = reader.format();
    if (format != "png" && format != "jpeg" && format != "gif" && format != "webp" && format != "bmp") return std::nullopt;
    const QSize size = reader.size();
    // Enormous claimed sizes are refused before anything is allocated for them.
    if (!size.isValid() || size.width() > kMaxSide || size.height() > kMaxSide) return std::nullopt;
    // JPEG can decode straight at a smaller scale, much faster than decoding and shrinking.
    auto [fw, fh] = fitInBox(size.width(), size.height(), box);
    if (reader.supportsOption(QImageIOHandler::ScaledSize)) reader.setScaledSize(QSize(fw, fh));
    QImage image = reader.read();
    if (image.isNull()) return std::nullopt;
    if (image.width() != fw || image.height() != fh)
        image = image.scaled(fw, fh, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image = image.convertToFormat(QImage::Format_ARGB32);
    ArtworkImage out{image.width(), image.height(), std::vector<std::uint32_t>(static_cast<std::size_t>(image.width()) * image.height())};
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(out.pixels.data() + static_cast<std::size_t>(y) * image.width(), image.constScanLine(y),
                    static_cast<std::size_t>(image.width()) * 4);
    return out;
}

}  // namespace halvyn
