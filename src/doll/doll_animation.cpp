#include "doll/doll_animation.h"

#include "colour/frame_colours.h"
#include "common/run_state.h"
#include "common/status.h"
#include "convert/gif_animation.h"
#include "convert/output_file.h"
#include "doll/doll_plan.h"

#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace {

// Where the sampled canvases go: `add` is called with each different picture and when it is
// shown from, relative to the span's start. A status; anything but STATUS_OK stops.
struct FrameSink {
    void *context;
    int (*add)(void *context, const uint32_t *canvas, int64_t at_ms);
};

// Bounds on the search for a loop: words of state hashed in all, and hash matches that
// turn out false (each costs a run from the start).
constexpr uint64_t MAX_LOOP_SEARCH_WORDS = 400000000;
constexpr int MAX_LOOP_CONFIRMATIONS = 8;

int64_t grid_at_or_after(int64_t time) {
    return (time + FRAME_GRID_MS - 1) / FRAME_GRID_MS * FRAME_GRID_MS;
}

// Runs a fresh start to `time` and compares: a hash match is only a hint.
bool same_as_at(const DollConfig &doll, const CelShapes &shapes, int set, uint32_t seed,
                int64_t time, const FkissState &state) {
    FkissState earlier;
    start_fkiss(doll, shapes, set, seed, earlier);
    advance_fkiss(earlier, time);
    return same_fkiss_state(earlier, state);
}

// Two canvases of the playfield, the one shown last and the one being drawn.
struct Sampler {
    const DollConfig *doll;
    DollPlan *plan;
    DollAssets *assets;
    uint32_t *canvas, *previous;
    size_t pixels;
};

// Draws the state; true in `changed` when the picture differs from the one before.
int draw_state(Sampler &s, const FkissState &state, bool first, bool &changed) {
    int status = plan_from_state(*s.doll, state, *s.assets, *s.plan);
    if (status == STATUS_OK)
        status = draw_doll(*s.plan, Canvas{s.plan->width, s.plan->height, s.canvas});
    changed = first || memcmp(s.canvas, s.previous, s.pixels * 4) != 0;
    if (changed) std::swap(s.canvas, s.previous);
    return status;
}

// Samples the span on the grid and hands every different picture to the sink; the program's
// state is drawn only when something a picture shows has changed.
int sample_span(Sampler &s, int set, const AnimationSpan &span, const FrameSink &sink, bool warn) {
    FkissState state;
    start_fkiss(*s.doll, s.assets->shapes, set, run_state.seed, state);
    advance_fkiss(state, span.start);
    bool changed;
    int status = draw_state(s, state, true, changed);
    if (status == STATUS_OK) status = sink.add(sink.context, s.previous, 0);
    uint64_t drawn = state.revision;
    while (status == STATUS_OK) {
        const int64_t due = next_alarm_due(state);
        if (due < 0) break;
        const int64_t time = grid_at_or_after(due);
        if (time >= span.end) break;
        advance_fkiss(state, time);
        if (state.revision == drawn) continue;
        drawn = state.revision;
        status = draw_state(s, state, false, changed);
        if (status == STATUS_OK && changed)
            status = sink.add(sink.context, s.previous, time - span.start);
    }
    if (warn) warn_if_stopped(state);
    return status;
}

struct GatherContext {
    FrameColours colours;
    size_t pixels;
};

int gather_canvas(void *context, const uint32_t *canvas, int64_t) {
    GatherContext &g = *static_cast<GatherContext *>(context);
    return gather_frame_colours(g.colours, canvas, g.pixels);
}

int add_frame(void *context, const uint32_t *canvas, int64_t at_ms) {
    return add_animation_frame(*static_cast<AnimationWriter *>(context), canvas, at_ms);
}

// The colours of every frame, then the frames through the writer, to the output.
int write_span(Sampler &s, int set, const AnimationSpan &span, FILE *input) {
    GatherContext gathered = {FrameColours{}, s.pixels};
    int status = sample_span(s, set, span, FrameSink{&gathered, gather_canvas}, false);
    ColourTable table;
    bool has_transparent = false;
    if (status == STATUS_OK) status = choose_frame_table(gathered.colours, table, has_transparent);
    release_frame_colours(gathered.colours);
    if (status != STATUS_OK) return status;
    char out_buffer[OUTPUT_BUFFER_SIZE];
    OutputFile output;
    status = open_output(input, out_buffer, output, &s.plan->files.archive->files_read);
    if (status != STATUS_OK) return status;
    AnimationWriter writer;
    status = begin_animation(writer, output.stream, s.plan->width, s.plan->height, table,
                             has_transparent, run_state.interlace);
    if (status == STATUS_OK) {
        status = sample_span(s, set, span, FrameSink{&writer, add_frame}, true);
        const int finished = finish_animation(writer, span.end - span.start);
        if (status == STATUS_OK) status = finished;
        release_animation(writer);
    }
    return close_output(output, status);
}

} // namespace

AnimationSpan find_animation_span(const DollConfig &doll, const CelShapes &shapes, int set,
                                  uint32_t seed, int64_t limit_ms) {
    FkissState state;
    start_fkiss(doll, shapes, set, seed, state);
    if (next_alarm_due(state) < 0) return AnimationSpan{0, 0, false};
    const AnimationSpan first = {0, limit_ms, false};
    std::unordered_map<uint64_t, int64_t> seen; // the loop index: hash -> first grid time
    seen.emplace(hash_fkiss_state(state), 0);
    // Hashing costs the state's size at every step: a huge state (tens of thousands of cel
    // lines, variables or alarms) with a busy clock gives up the search rather than the time.
    const uint64_t words = fkiss_state_words(state);
    uint64_t hashed = words;
    int confirmations = 0;
    for (;;) {
        const int64_t due = next_alarm_due(state);
        if (due < 0) return first;
        // Only grid times right after something happened are compared: a repeat of the state
        // shows there as well, one period apart.
        const int64_t time = grid_at_or_after(due);
        if (time >= limit_ms || (hashed += words) > MAX_LOOP_SEARCH_WORDS) return first;
        advance_fkiss(state, time);
        if (state.used_random || state.exhausted) return first;
        const auto known = seen.emplace(hash_fkiss_state(state), time);
        if (known.second) continue;
        if (same_as_at(doll, shapes, set, seed, known.first->second, state))
            return AnimationSpan{known.first->second, time, true};
        if (++confirmations == MAX_LOOP_CONFIRMATIONS) return first;
    }
}

int write_doll_animation(const DollConfig &doll, const DollFiles &files, int set, FILE *input) {
    DollPlan plan;
    plan.files = files;
    DollAssets assets;
    int status = load_doll(doll, plan, assets);
    if (status != STATUS_OK) return status;
    const AnimationSpan span = find_animation_span(doll, assets.shapes, set, run_state.seed,
                                                   int64_t{run_state.animate_seconds} * 1000);
    const size_t pixels = size_t{plan.width} * plan.height;
    uint32_t *canvases = static_cast<uint32_t *>(malloc(pixels * 8));
    if (canvases == nullptr) return STATUS_NO_MEMORY;
    Sampler sampler = {&doll, &plan, &assets, canvases, canvases + pixels, pixels};
    status = write_span(sampler, set, span, input);
    free(canvases);
    return status;
}
