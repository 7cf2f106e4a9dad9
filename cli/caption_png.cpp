#include "cli/caption_png.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <algorithm>
#include <array>
#include <cstdio>

#include "engine/io.h"
#include "formats/colour.h"

namespace kavrel::cli {

namespace {
std::string fileTime(uint32_t ticks) {
    std::string text = formats::formatTicks(ticks);
    std::replace(text.begin(), text.end(), ':', '-');
    return text;
}
}  // namespace

std::string captionPngName(std::size_t number, const formats::Caption& caption) {
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "%04zu_", number);
    std::string name = prefix + fileTime(caption.start);
    if (caption.end) name += "_" + fileTime(*caption.end);
    return name + ".png";
}

void writeCaptionPng(const formats::Caption& caption, const std::filesystem::path& path) {
    const formats::Bitmap& bitmap = caption.bitmap;
    std::array<QRgb, 256> colours{};
    const formats::ColourMatrix matrix = formats::matrixOf(caption.form);
    for (std::size_t i = 0; i < colours.size(); ++i) {
        const formats::Rgba c = formats::toRgba(caption.palette[i], matrix);
        colours[i] = qRgba(c.r, c.g, c.b, c.a);
    }
    QImage image(bitmap.width, bitmap.height, QImage::Format_ARGB32);
    if (image.isNull()) throw IoError("Cannot make the picture " + path.string());
    for (int row = 0; row < bitmap.height; ++row) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
        const uint8_t* indices = bitmap.pixels.data() + std::size_t(row) * bitmap.width;
        for (int x = 0; x < bitmap.width; ++x) line[x] = colours[indices[x]];
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) throw IoError("Cannot make the picture " + path.string());
    OutputFile file(path);
    try {
        file.write(reinterpret_cast<const uint8_t*>(png.constData()),
                   static_cast<std::size_t>(png.size()));
        file.close();
    } catch (const IoError&) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        throw;
    }
}

}  // namespace kavrel::cli
