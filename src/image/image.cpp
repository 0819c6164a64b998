#include "image/image.h"

#include "common/file_names.h"
#include "common/status.h"

#include <cstring>

bool is_image_cel_name(const char *name) {
    for (const char *suffix : {".gif", ".png", ".jpg", ".jpeg", ".bmp"})
        if (name_ends_with(name, suffix)) return true;
    return false;
}

int size_image(uint64_t width, uint64_t height, RgbaImage &image) {
    if (width == 0 || height == 0) return STATUS_NOT_DOLL_CEL;
    if (width > MAX_IMAGE_SIDE || height > MAX_IMAGE_SIDE || width * height > MAX_IMAGE_PIXELS)
        return STATUS_TOO_LARGE;
    image.width = static_cast<uint32_t>(width);
    image.height = static_cast<uint32_t>(height);
    image.rgba.assign(static_cast<size_t>(width * height * 4), 0);
    return STATUS_OK;
}

int decode_image(const unsigned char *bytes, size_t size, RgbaImage &image) {
    image = RgbaImage{0, 0, {}};
    const auto starts = [&](const char *magic, size_t n) {
        return size >= n && std::memcmp(bytes, magic, n) == 0;
    };
    // BMP is our own reader, so it needs no library.
    if (starts("BM", 2)) return decode_bmp(bytes, size, image);
#ifdef QUONDEL_NO_FORMAT_LIBS
    if (starts("GIF8", 4) || starts("\x89PNG", 4) || starts("\xFF\xD8\xFF", 3))
        return STATUS_NO_IMAGE_CEL_SUPPORT;
#else
    if (starts("GIF8", 4)) return decode_gif(bytes, size, image);
    if (starts("\x89PNG", 4)) return decode_png(bytes, size, image);
    if (starts("\xFF\xD8\xFF", 3)) return decode_jpeg(bytes, size, image);
#endif
    return STATUS_NOT_DOLL_CEL;
}
