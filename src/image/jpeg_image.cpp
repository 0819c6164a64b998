// JPEG image cels through libjpeg-turbo's TurboJPEG interface (which reports errors as
// values, with no long jump out of the decoder): opaque RGB.
#include "image/image.h"

#include "common/status.h"

#include <turbojpeg.h>

int decode_jpeg(const unsigned char *bytes, size_t size, RgbaImage &image) {
    tjhandle jpeg = tjInitDecompress();
    if (jpeg == nullptr) return STATUS_NO_MEMORY;
    int width, height, subsampling, colour_space;
    const unsigned long length = static_cast<unsigned long>(size);
    int status =
        tjDecompressHeader3(jpeg, bytes, length, &width, &height, &subsampling, &colour_space) ==
                    0 &&
                width > 0 && height > 0
            ? size_image(static_cast<uint64_t>(width), static_cast<uint64_t>(height), image)
            : STATUS_NOT_DOLL_CEL;
    // A warning (data that ends early, say) still leaves a whole picture, as viewers show it.
    if (status == STATUS_OK &&
        tjDecompress2(jpeg, bytes, length, image.rgba.data(), width, 0, height, TJPF_RGBA, 0) !=
            0 &&
        tjGetErrorCode(jpeg) != TJERR_WARNING)
        status = STATUS_NOT_DOLL_CEL;
    tjDestroy(jpeg);
    return status;
}
