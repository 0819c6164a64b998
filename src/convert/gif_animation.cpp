#include "convert/gif_animation.h"

#include "common/status.h"

#include <cstdlib>

int begin_animation(AnimationWriter &writer, FILE *out, uint32_t width, uint32_t height,
                    const ColourTable &table, bool has_transparent, int interlace) {
    writer = AnimationWriter{};
    writer.out = out;
    writer.width = width;
    writer.height = height;
    writer.table = table;
    writer.has_transparent = has_transparent;
    writer.interlace = interlace;
    return STATUS_OK;
}

int add_animation_frame(AnimationWriter &writer, const uint32_t *, int64_t) {
    return writer.status;
}

int finish_animation(AnimationWriter &writer, int64_t) {
    const int status = writer.status;
    release_animation(writer);
    return status;
}

void release_animation(AnimationWriter &writer) {
    free(writer.previous);
    free(writer.shown);
    free(writer.pending);
    free(writer.scratch);
    free(writer.cache);
    writer.previous = nullptr;
    writer.shown = writer.pending = writer.scratch = nullptr;
    writer.cache = nullptr;
}
