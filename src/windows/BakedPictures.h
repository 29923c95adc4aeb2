#pragma once

#include <QtGlobal>

#include <span>
#include <string_view>

namespace vindel::windows {

// One of the program's pictures, made at build time from resources/pictures:
// size x size premultiplied ARGB pixels, row by row, packed by qCompress.
struct BakedPicture {
    std::string_view name; // "state-normal", "mailer", ...
    int size;
    std::span<const uchar> packedPixels;
};

// Every baked picture.
std::span<const BakedPicture> bakedPictures();

} // namespace vindel::windows
