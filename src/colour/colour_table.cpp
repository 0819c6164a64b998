#include "colour/colour_table.h"

#include "colour/colour_slots.h"

#include "common/status.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr unsigned TABLE_SIZE = 256;
constexpr int REFINING_PASSES = 6; // later passes gain hundredths of a decibel
// Above this many distinct colours, median cut and k-means work on colours merged into cells
// of 4 x 4 x 4 (their weighted means); each pixel still takes its nearest entry.
constexpr size_t MERGE_ABOVE = size_t{1} << 14;

// The distinct colours of a picture, in the order they first appear, with their pixel counts.
struct Histogram {
    uint32_t *slots; // per slot: colour + 1 (0 when free), then its id
    int bits;        // the slots number 1 << bits
    uint32_t *colours;
    uint32_t *counts;
    size_t distinct, room;
};

void free_histogram(Histogram &h) {
    free(h.slots);
    free(h.colours);
    free(h.counts);
}

// The id of `colour`, or -1 when it is not there.
int64_t find_colour(const Histogram &h, uint32_t colour) {
    return find_colour_slot(h.slots, h.bits, colour);
}

void place(Histogram &h, uint32_t colour, uint32_t id) {
    place_colour_slot(h.slots, h.bits, colour, id);
}

// Room for one more colour: the slots at most half full, the lists long enough.
bool make_room(Histogram &h) {
    if (h.distinct == h.room) {
        const size_t room = h.room * 2;
        uint32_t *colours = static_cast<uint32_t *>(realloc(h.colours, room * 4));
        if (colours != nullptr) h.colours = colours;
        uint32_t *counts = static_cast<uint32_t *>(realloc(h.counts, room * 4));
        if (counts != nullptr) h.counts = counts;
        if (colours == nullptr || counts == nullptr) return false;
        h.room = room;
    }
    if ((h.distinct + 1) * 2 <= size_t{1} << h.bits) return true;
    uint32_t *slots = static_cast<uint32_t *>(calloc(size_t{2} << (h.bits + 1), 4));
    if (slots == nullptr) return false;
    free(h.slots);
    h.slots = slots;
    ++h.bits;
    for (size_t id = 0; id < h.distinct; ++id)
        place(h, h.colours[id], static_cast<uint32_t>(id));
    return true;
}

int count_colours(const uint32_t *pixels, size_t count, Histogram &h) {
    h = Histogram{static_cast<uint32_t *>(calloc(size_t{2} << 10, 4)),
                  10,
                  static_cast<uint32_t *>(malloc(256 * 4)),
                  static_cast<uint32_t *>(malloc(256 * 4)),
                  0,
                  256};
    if (h.slots == nullptr || h.colours == nullptr || h.counts == nullptr) return STATUS_NO_MEMORY;
    uint32_t last = NO_COLOUR;
    int64_t id = -1;
    for (size_t i = 0; i < count; ++i) {
        if (pixels[i] == NO_COLOUR) continue;
        if (pixels[i] != last) { // runs of one colour are common
            last = pixels[i];
            id = find_colour(h, last);
        }
        if (id < 0) {
            if (!make_room(h)) return STATUS_NO_MEMORY;
            id = static_cast<int64_t>(h.distinct++);
            place(h, last, static_cast<uint32_t>(id));
            h.colours[id] = last;
            h.counts[id] = 0;
        }
        ++h.counts[id];
    }
    return STATUS_OK;
}

// A colour to be represented, with the number of pixels it stands for.
struct Sample {
    int c[3];
    double weight;
    unsigned cluster;
    uint32_t origin; // its place before median cut reorders the samples
};

// Weighted sums over samples, enough for their mean and their squared error about it.
struct Sums {
    double w, c[3], squares;
    void add(const Sample &s) {
        w += s.weight;
        for (int k = 0; k < 3; ++k) {
            c[k] += s.weight * s.c[k];
            squares += s.weight * s.c[k] * s.c[k];
        }
    }
    double error() const {
        return w > 0 ? squares - (c[0] * c[0] + c[1] * c[1] + c[2] * c[2]) / w : 0;
    }
};

struct Box {
    size_t begin, end;
    double error;
};

Box make_box(const std::vector<Sample> &samples, size_t begin, size_t end) {
    Sums sums = {};
    for (size_t i = begin; i < end; ++i)
        sums.add(samples[i]);
    return Box{begin, end, end - begin > 1 ? sums.error() : 0};
}

// Cuts a box across its channel of widest spread where the two halves' squared error is least.
void split_box(std::vector<Sample> &samples, Box &box, std::vector<Box> &boxes) {
    double mean[3] = {}, spread[3] = {}, w = 0;
    for (size_t i = box.begin; i < box.end; ++i) {
        w += samples[i].weight;
        for (int k = 0; k < 3; ++k)
            mean[k] += samples[i].weight * samples[i].c[k];
    }
    for (size_t i = box.begin; i < box.end; ++i)
        for (int k = 0; k < 3; ++k) {
            const double d = samples[i].c[k] - mean[k] / w;
            spread[k] += samples[i].weight * d * d;
        }
    const int axis = spread[1] >= spread[0] && spread[1] >= spread[2] ? 1
                     : spread[0] >= spread[2]                         ? 0
                                                                      : 2;
    // Counting sort by that channel: stable, and linear in the box.
    size_t start[257] = {};
    for (size_t i = box.begin; i < box.end; ++i)
        ++start[samples[i].c[axis] + 1];
    for (int v = 0; v < 256; ++v)
        start[v + 1] += start[v];
    std::vector<Sample> sorted(box.end - box.begin);
    for (size_t i = box.begin; i < box.end; ++i)
        sorted[start[samples[i].c[axis]]++] = samples[i];
    std::copy(sorted.begin(), sorted.end(),
              samples.begin() + static_cast<std::ptrdiff_t>(box.begin));
    Sums all = {}, left = {};
    for (size_t i = box.begin; i < box.end; ++i)
        all.add(samples[i]);
    size_t cut = box.begin + 1;
    double best = -1;
    for (size_t i = box.begin; i + 1 < box.end; ++i) {
        left.add(samples[i]);
        if (samples[i].c[axis] == samples[i + 1].c[axis]) continue;
        Sums right = {
            all.w - left.w, {all.c[0] - left.c[0], all.c[1] - left.c[1], all.c[2] - left.c[2]}, 0};
        // Less error on both sides is more of this: the squares' total is fixed.
        const double kept =
            (left.c[0] * left.c[0] + left.c[1] * left.c[1] + left.c[2] * left.c[2]) / left.w +
            (right.c[0] * right.c[0] + right.c[1] * right.c[1] + right.c[2] * right.c[2]) / right.w;
        if (kept > best) {
            best = kept;
            cut = i + 1;
        }
    }
    const size_t end = box.end;
    box = make_box(samples, box.begin, cut);
    boxes.push_back(make_box(samples, cut, end));
}

// A table entry.
struct Entry {
    int c[3];
    unsigned index;
};

int distance(const int *a, const int *b) {
    const int d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2];
    return d0 * d0 + d1 * d1 + d2 * d2;
}

// For each entry, every entry by distance from it, nearest first: the squared distance
// shifted left by 8, then the entry (a distance is below 1 << 18).
struct Search {
    size_t size;
    std::vector<uint32_t> neighbours; // size x size
};

void prepare_search(const std::vector<Entry> &entries, Search &search) {
    search.size = entries.size();
    search.neighbours.resize(search.size * search.size);
    for (size_t k = 0; k < search.size; ++k) {
        auto *row = &search.neighbours[k * search.size];
        for (size_t j = 0; j < search.size; ++j)
            row[j] = static_cast<uint32_t>(distance(entries[k].c, entries[j].c)) << 8 |
                     static_cast<uint32_t>(j);
        std::sort(row, row + search.size);
    }
}

// The nearest entry to `c`, given a good guess `hint`: an entry twice as far from the guess
// as `c` is cannot be nearer than the guess, so the search ends there.
unsigned nearest(const std::vector<Entry> &entries, const Search &search, const int *c,
                 unsigned hint) {
    const int to_hint = distance(c, entries[hint].c);
    int best = to_hint;
    unsigned found = hint;
    const auto *row = &search.neighbours[hint * search.size];
    const uint32_t bound = static_cast<uint32_t>(4 * to_hint) << 8;
    for (size_t j = 1; j < search.size && row[j] < bound; ++j) {
        const unsigned k = row[j] & 0xFF;
        const int dist = distance(c, entries[k].c);
        if (dist < best) best = dist, found = k;
    }
    return found;
}

// Each cluster's weighted mean, rounded; an empty cluster keeps its colour.
void centre_clusters(const std::vector<Sample> &samples, std::vector<Entry> &centres) {
    std::vector<Sums> sums(centres.size(), Sums{});
    for (const Sample &s : samples)
        sums[s.cluster].add(s);
    for (size_t k = 0; k < centres.size(); ++k) {
        if (sums[k].w <= 0) continue;
        for (int ch = 0; ch < 3; ++ch)
            centres[k].c[ch] = static_cast<int>(sums[k].c[ch] / sums[k].w + 0.5);
    }
}

// Moves every sample to its nearest centre; whether enough moved to go on.
bool assign_clusters(std::vector<Sample> &samples, const std::vector<Entry> &centres) {
    Search search;
    prepare_search(centres, search);
    size_t moved = 0;
    for (Sample &s : samples) {
        const unsigned k = nearest(centres, search, s.c, s.cluster);
        moved += k != s.cluster;
        s.cluster = k;
    }
    return moved * 2000 > samples.size();
}

Sample sample_of(uint32_t colour, double weight) {
    return Sample{{static_cast<int>(colour >> 16 & 0xFF), static_cast<int>(colour >> 8 & 0xFF),
                   static_cast<int>(colour & 0xFF)},
                  weight,
                  0,
                  0};
}

// Distinct colours with the pixels each stands for: one picture's histogram or many frames'.
struct ColourList {
    const uint32_t *colours;
    const uint32_t *counts;
    size_t distinct;
};

// The colours to cluster: every distinct one, or with very many, the weighted means of the
// cells they fall in.
// `sample_of_id` gives each colour's sample.
std::vector<Sample> gather_samples(const ColourList &h, std::vector<uint32_t> &sample_of_id) {
    std::vector<Sample> samples;
    sample_of_id.resize(h.distinct);
    if (h.distinct <= MERGE_ABOVE) {
        for (size_t id = 0; id < h.distinct; ++id) {
            samples.push_back(sample_of(h.colours[id], h.counts[id]));
            samples.back().origin = static_cast<uint32_t>(id);
            sample_of_id[id] = static_cast<uint32_t>(id);
        }
        return samples;
    }
    // Colours sorted by their cell (its number above the id), each run one sample.
    std::vector<uint64_t> by_cell(h.distinct);
    for (size_t id = 0; id < h.distinct; ++id) {
        const uint32_t c = h.colours[id];
        const uint64_t cell = (c >> 18 & 0x3F) << 12 | (c >> 10 & 0x3F) << 6 | (c >> 2 & 0x3F);
        by_cell[id] = cell << 32 | id;
    }
    std::sort(by_cell.begin(), by_cell.end());
    for (size_t i = 0; i < by_cell.size();) {
        Sums sums = {};
        const uint64_t cell = by_cell[i] >> 32;
        for (; i < by_cell.size() && by_cell[i] >> 32 == cell; ++i) {
            const uint32_t id = static_cast<uint32_t>(by_cell[i]);
            sums.add(sample_of(h.colours[id], h.counts[id]));
            sample_of_id[id] = static_cast<uint32_t>(samples.size());
        }
        samples.push_back(Sample{{static_cast<int>(sums.c[0] / sums.w + 0.5),
                                  static_cast<int>(sums.c[1] / sums.w + 0.5),
                                  static_cast<int>(sums.c[2] / sums.w + 0.5)},
                                 sums.w,
                                 0,
                                 static_cast<uint32_t>(samples.size())});
    }
    return samples;
}

// Picks `size` entries for more distinct colours than that; each colour id gets its entry's
// position in `entry_of`.
void choose_colours(const ColourList &h, unsigned size, std::vector<Entry> &centres,
                    std::vector<uint32_t> &entry_of) {
    std::vector<uint32_t> sample_of_id;
    std::vector<Sample> samples = gather_samples(h, sample_of_id);
    std::vector<Box> boxes = {make_box(samples, 0, samples.size())};
    while (boxes.size() < size) {
        const auto worst =
            std::max_element(boxes.begin(), boxes.end(),
                             [](const Box &a, const Box &b) { return a.error < b.error; });
        if (worst->error <= 0) break; // every box holds one colour
        split_box(samples, *worst, boxes);
    }
    centres.assign(boxes.size(), Entry{});
    for (size_t k = 0; k < boxes.size(); ++k) {
        centres[k].index = static_cast<unsigned>(k);
        for (size_t i = boxes[k].begin; i < boxes[k].end; ++i)
            samples[i].cluster = static_cast<unsigned>(k);
    }
    centre_clusters(samples, centres);
    for (int pass = 0; pass < REFINING_PASSES && assign_clusters(samples, centres); ++pass)
        centre_clusters(samples, centres);
    // Every colour to its nearest entry, whether merged into a cell or not; its sample's
    // cluster is the first guess. The median-cut order of `samples` is gone, so the ids map
    // through each sample's cluster, which stays with it.
    std::vector<unsigned> cluster_of(samples.size());
    for (const Sample &s : samples)
        cluster_of[s.origin] = s.cluster;
    Search search;
    prepare_search(centres, search);
    entry_of.resize(h.distinct);
    for (size_t id = 0; id < h.distinct; ++id) {
        const Sample s = sample_of(h.colours[id], 0);
        const unsigned guess = cluster_of[sample_of_id[id]];
        entry_of[id] = nearest(centres, search, s.c, guess);
    }
}

// Fills the table from `first` on for the listed colours, exactly when they fit; each colour
// gets its entry's offset from `first` in `entry_of`.
void fill_table(const ColourList &list, unsigned first, ColourTable &table,
                std::vector<uint32_t> &entry_of) {
    std::memset(table.colours.rgb, 0, sizeof table.colours.rgb);
    table.count = first;
    if (list.distinct <= TABLE_SIZE - first) {
        table.count = first + static_cast<unsigned>(list.distinct);
        entry_of.resize(list.distinct);
        for (size_t id = 0; id < list.distinct; ++id) {
            entry_of[id] = static_cast<uint32_t>(id);
            const uint32_t c = list.colours[id];
            unsigned char *rgb = table.colours.rgb + (first + id) * 3;
            rgb[0] = static_cast<unsigned char>(c >> 16);
            rgb[1] = static_cast<unsigned char>(c >> 8);
            rgb[2] = static_cast<unsigned char>(c);
        }
    } else {
        std::vector<Entry> centres;
        choose_colours(list, TABLE_SIZE - first, centres, entry_of);
        table.count = first + static_cast<unsigned>(centres.size());
        for (const Entry &e : centres)
            for (int ch = 0; ch < 3; ++ch)
                table.colours.rgb[(first + e.index) * 3 + ch] = static_cast<unsigned char>(e.c[ch]);
    }
    table.count = std::max(table.count, 1u);
}

} // namespace

void choose_table(const uint32_t *colours, const uint32_t *counts, size_t distinct, unsigned first,
                  ColourTable &table) {
    std::vector<uint32_t> entry_of;
    fill_table(ColourList{colours, counts, distinct}, first, table, entry_of);
}

int index_colours(uint32_t *pixels, size_t count, unsigned first, ColourTable &table) {
    Histogram h;
    int status = count_colours(pixels, count, h);
    std::vector<uint32_t> entry_of;
    if (status == STATUS_OK)
        fill_table(ColourList{h.colours, h.counts, h.distinct}, first, table, entry_of);
    else {
        std::memset(table.colours.rgb, 0, sizeof table.colours.rgb);
        table.count = 1;
    }
    // In place: byte i lies in pixel i / 4, which is read by then.
    unsigned char *entries = reinterpret_cast<unsigned char *>(pixels);
    uint32_t last = NO_COLOUR;
    unsigned char entry = 0;
    for (size_t i = 0; i < count && status == STATUS_OK; ++i) {
        if (pixels[i] != last) {
            last = pixels[i];
            entry = last == NO_COLOUR
                        ? 0
                        : static_cast<unsigned char>(
                              first + entry_of[static_cast<size_t>(find_colour(h, last))]);
        }
        entries[i] = entry;
    }
    free_histogram(h);
    return status;
}
