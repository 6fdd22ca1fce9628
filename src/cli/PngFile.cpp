#include "cli/PngFile.h"

#include "cli/CliSupport.h"

#include <png.h>

#include <cstring>

namespace duolo::cli {

void writePng(const std::string& path, const RgbImage& image)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    if (image.width <= 0 || image.height <= 0)
        throw CliError(path + ": nothing to write (the picture is empty)");
    if (!png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), 3 * image.width, nullptr)) {
        const std::string reason = png.message[0] ? png.message : "unknown error";
        png_image_free(&png);
        throw CliError(path + ": cannot write the PNG file (" + reason + ")");
    }
}

} // namespace duolo::cli
