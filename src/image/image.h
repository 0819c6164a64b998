#pragma once

// Image cels: a cel line may name a GIF, PNG, JPEG or BMP picture, drawn in its own colours.
// Each decoder turns the file's bytes into one plain record.
#include <cstddef>
#include <cstdint>
#include <vector>

// Larger pictures are refused before any pixel memory is taken (16 MiB of pixels is a
// 4096 x 4096 picture, 64 MiB in memory).
constexpr uint32_t MAX_IMAGE_SIDE = 16384;
constexpr uint64_t MAX_IMAGE_PIXELS = uint64_t{1} << 24;

// Red, green, blue, alpha per pixel, row by row without gaps. Alpha is straight (colours are
// not multiplied by it): 0 transparent, 255 opaque.
struct RgbaImage {
    uint32_t width, height;
    std::vector<unsigned char> rgba;
};

// Whether a cel line's file name asks for an image cel: .gif, .png, .jpg, .jpeg or .bmp.
bool is_image_cel_name(const char *name);

// Decodes a picture, its format told by its first bytes. STATUS_OK, STATUS_NOT_DOLL_CEL
// (not a picture it can read, or damaged), STATUS_TOO_LARGE (beyond the limits above),
// STATUS_NO_MEMORY, or STATUS_NO_IMAGE_CEL_SUPPORT in a build without the libraries.
int decode_image(const unsigned char *bytes, size_t size, RgbaImage &image);

// Checks the limits and sizes the pixels: STATUS_OK or STATUS_TOO_LARGE.
int size_image(uint64_t width, uint64_t height, RgbaImage &image);

// One decoder per format; each expects its own magic.
int decode_gif(const unsigned char *bytes, size_t size, RgbaImage &image);
int decode_png(const unsigned char *bytes, size_t size, RgbaImage &image);
int decode_jpeg(const unsigned char *bytes, size_t size, RgbaImage &image);
int decode_bmp(const unsigned char *bytes, size_t size, RgbaImage &image);
