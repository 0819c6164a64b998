#include "doll/colour_table.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

constexpr unsigned TABLE_SIZE = 256;

// One distinct colour the picture uses, and its pixel count.
struct UsedColour {
    uint32_t rgb; // red << 16 | green << 8 | blue
    uint64_t pixels;
    uint32_t first; // ordering key: the background 0, else the first id using it plus 1
    unsigned entry; // the table entry it ends in
};

uint32_t rgb_of(const std::vector<Palette> &slots, uint32_t id) {
    const unsigned char *c = slots[id / 256].rgb + id % 256 * 3;
    return uint32_t{c[0]} << 16 | uint32_t{c[1]} << 8 | c[2];
}

unsigned channel(uint32_t rgb, int which) {
    return rgb >> (16 - 8 * which) & 0xFF;
}

// A run of `used` that becomes one entry, and the channel it would be cut across.
struct Box {
    size_t begin, end;
    int cut_channel;
    unsigned range; // of that channel; 0 when the box holds one colour
};

Box make_box(const std::vector<UsedColour> &used, size_t begin, size_t end) {
    Box box = {begin, end, 0, 0};
    for (int which = 0; which < 3; ++which) {
        unsigned low = 255, high = 0;
        for (size_t i = begin; i < end; ++i) {
            low = std::min(low, channel(used[i].rgb, which));
            high = std::max(high, channel(used[i].rgb, which));
        }
        if (high > low && high - low > box.range) {
            box.range = high - low;
            box.cut_channel = which;
        }
    }
    return box;
}

// Splits the box with the widest channel range at the weighted median of that channel.
bool split_widest_box(std::vector<UsedColour> &used, std::vector<Box> &boxes) {
    const auto widest = std::max_element(
        boxes.begin(), boxes.end(), [](const Box &a, const Box &b) { return a.range < b.range; });
    if (widest->range == 0) return false; // every box holds one colour
    const Box box = *widest;
    std::sort(used.begin() + static_cast<std::ptrdiff_t>(box.begin),
              used.begin() + static_cast<std::ptrdiff_t>(box.end),
              [&](const UsedColour &a, const UsedColour &b) {
                  return channel(a.rgb, box.cut_channel) < channel(b.rgb, box.cut_channel);
              });
    uint64_t total = 0, below = 0;
    for (size_t i = box.begin; i < box.end; ++i)
        total += used[i].pixels;
    size_t cut = box.begin + 1; // both halves keep at least one colour
    while (cut < box.end - 1 && (below += used[cut - 1].pixels) * 2 < total)
        ++cut;
    *widest = make_box(used, box.begin, cut);
    boxes.push_back(make_box(used, cut, box.end));
    return true;
}

// Each box's entry: the mean of its colours weighted by pixels.
void fill_from_boxes(std::vector<UsedColour> &used, const std::vector<Box> &boxes,
                     ColourTable &table) {
    for (size_t b = 0; b < boxes.size(); ++b) {
        uint64_t sum[3] = {0, 0, 0}, weight = 0;
        for (size_t i = boxes[b].begin; i < boxes[b].end; ++i) {
            for (int which = 0; which < 3; ++which)
                sum[which] += channel(used[i].rgb, which) * used[i].pixels;
            weight += used[i].pixels;
            used[i].entry = static_cast<unsigned>(b);
        }
        for (int which = 0; which < 3; ++which)
            table.colours.rgb[b * 3 + which] = static_cast<unsigned char>(
                (sum[which] + weight / 2) / std::max<uint64_t>(weight, 1));
    }
    table.count = static_cast<unsigned>(boxes.size());
}

bool by_rgb(const UsedColour &a, const UsedColour &b) {
    return a.rgb < b.rgb;
}

// The distinct colours with their pixel counts, sorted by colour.
std::vector<UsedColour> collect_used(const std::vector<uint32_t> &counts,
                                     const std::vector<Palette> &slots, uint32_t background_id) {
    std::vector<UsedColour> all;
    for (uint32_t id = 0; id < counts.size(); ++id)
        if (counts[id] > 0)
            all.push_back(
                UsedColour{rgb_of(slots, id), counts[id], id == background_id ? 0 : id + 1, 0});
    std::sort(all.begin(), all.end(), by_rgb);
    std::vector<UsedColour> used;
    for (const UsedColour &colour : all)
        if (!used.empty() && used.back().rgb == colour.rgb) {
            used.back().pixels += colour.pixels;
            used.back().first = std::min(used.back().first, colour.first);
        } else {
            used.push_back(colour);
        }
    return used;
}

// Entries in the order the colours first appear among the ids, the background first.
void fill_exact(std::vector<UsedColour> &used, ColourTable &table) {
    std::sort(used.begin(), used.end(),
              [](const UsedColour &a, const UsedColour &b) { return a.first < b.first; });
    for (size_t i = 0; i < used.size(); ++i) {
        used[i].entry = static_cast<unsigned>(i);
        for (int which = 0; which < 3; ++which)
            table.colours.rgb[i * 3 + which] =
                static_cast<unsigned char>(channel(used[i].rgb, which));
    }
    table.count = static_cast<unsigned>(used.size());
}

} // namespace

void build_colour_table(const std::vector<uint32_t> &counts, const std::vector<Palette> &slots,
                        uint32_t background_id, ColourTable &table,
                        std::vector<unsigned char> &id_to_index) {
    std::vector<UsedColour> used = collect_used(counts, slots, background_id);
    std::memset(table.colours.rgb, 0, sizeof table.colours.rgb);
    if (used.size() <= TABLE_SIZE) {
        fill_exact(used, table);
    } else {
        std::vector<Box> boxes = {make_box(used, 0, used.size())};
        while (boxes.size() < TABLE_SIZE && split_widest_box(used, boxes)) {
        }
        fill_from_boxes(used, boxes, table);
    }
    table.depth = table.count <= 16 ? 4 : 8;
    std::sort(used.begin(), used.end(), by_rgb);
    // Ids no pixel uses keep entry 0; they never reach the picture.
    id_to_index.assign(counts.size(), 0);
    for (uint32_t id = 0; id < counts.size(); ++id) {
        if (counts[id] == 0) continue;
        const UsedColour key = {rgb_of(slots, id), 0, 0, 0};
        id_to_index[id] = static_cast<unsigned char>(
            std::lower_bound(used.begin(), used.end(), key, by_rgb)->entry);
    }
}
