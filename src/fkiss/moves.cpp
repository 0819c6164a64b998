// Moves: kept on the playfield, and the collision events they cause.
#include "fkiss/engine.h"

#include <algorithm>

namespace {

size_t set_index(const FkissState &state) {
    return static_cast<size_t>(state.set) < state.positions.size() ? static_cast<size_t>(state.set)
                                                                   : 0;
}

struct Rect {
    int64_t left, top, right, bottom; // half-open
};

Rect cel_rect(const FkissState &state, uint32_t cel) {
    if (state.shapes->boxes.empty()) return Rect{0, 0, 0, 0};
    const CelBox &box = state.shapes->boxes[cel];
    const Position at = object_position(state, state.doll->cels[cel].object);
    return Rect{at.x + box.left, at.y + box.top, at.x + box.left + box.width,
                at.y + box.top + box.height};
}

bool solid_at(const FkissState &state, uint32_t cel, const Rect &rect, int64_t x, int64_t y) {
    const std::vector<uint8_t> &mask = state.shapes->masks[cel];
    const int64_t width = rect.right - rect.left;
    return mask[static_cast<size_t>((y - rect.top) * width + (x - rect.left))] != 0;
}

// Two cels share a pixel: their rectangles, or for collide() their solid pixels where both
// masks are known.
bool cels_overlap(FkissState &state, uint32_t a, uint32_t b, bool pixels) {
    const Rect ra = cel_rect(state, a), rb = cel_rect(state, b);
    const Rect both = {std::max(ra.left, rb.left), std::max(ra.top, rb.top),
                       std::min(ra.right, rb.right), std::min(ra.bottom, rb.bottom)};
    if (both.left >= both.right || both.top >= both.bottom) return false;
    const auto &masks = state.shapes->masks;
    if (!pixels || masks.empty() || masks[a].empty() || masks[b].empty()) return true;
    // Comparing pixels is work the bounds count: an action per 1024 pixels.
    const uint64_t area = static_cast<uint64_t>(both.right - both.left) *
                          static_cast<uint64_t>(both.bottom - both.top);
    if (!charge_actions(state, area / 1024)) return false;
    for (int64_t y = both.top; y < both.bottom; ++y)
        for (int64_t x = both.left; x < both.right; ++x)
            if (solid_at(state, a, ra, x, y) && solid_at(state, b, rb, x, y)) return true;
    return false;
}

// Each event checked counts as an action, and so does every 64th pair of cels compared.
bool sides_overlap(FkissState &state, const CollisionEvent &event) {
    const FkissProgram &program = state.doll->program;
    const bool pixels = event.kind == COLLISION_COLLIDE || event.kind == COLLISION_APART;
    if (!charge_actions(state, 1 + uint64_t{event.a.count} * event.b.count / 64)) return false;
    for (uint32_t i = 0; i < event.a.count; ++i) {
        const uint32_t a = program.cel_lists[event.a.first + i];
        if (!cel_visible(state, a)) continue;
        for (uint32_t j = 0; j < event.b.count; ++j) {
            const uint32_t b = program.cel_lists[event.b.first + j];
            // Cels of one object are never compared.
            if (!cel_visible(state, b) || state.doll->cels[a].object == state.doll->cels[b].object)
                continue;
            if (cels_overlap(state, a, b, pixels)) return true;
        }
    }
    return false;
}

bool fires(uint8_t kind, bool before, bool after) {
    switch (kind) {
    case COLLISION_IN:
    case COLLISION_COLLIDE:
        return after && !before;
    case COLLISION_OUT:
    case COLLISION_APART:
        return before && !after;
    case COLLISION_STILL_IN:
        return after;
    default:
        return !after; // stillout
    }
}

// Keeps the object's box (all its cels in this set) on the playfield; one larger than the
// playfield on an axis keeps covering it there.
int64_t clamp_axis(int64_t at, int64_t low, int64_t high, int64_t size) {
    const int64_t first = -low, last = size - high; // positions where an edge meets the side
    return std::clamp(at, std::min(first, last), std::max(first, last));
}

} // namespace

bool cel_visible(const FkissState &state, uint32_t cel) {
    return state.mapped[cel] && state.set >= 0 && state.set < FKISS_SETS &&
           (state.doll->cels[cel].sets >> state.set & 1u);
}

Position object_position(const FkissState &state, int64_t object) {
    if (object < 0 || state.positions.empty()) return Position{0, 0};
    const std::vector<Position> &places = state.positions[set_index(state)];
    return static_cast<size_t>(object) < places.size() ? places[static_cast<size_t>(object)]
                                                       : Position{0, 0};
}

bool object_box(const FkissState &state, int64_t object, bool mapped_only, int64_t &left,
                int64_t &top, int64_t &right, int64_t &bottom) {
    const FkissProgram &program = state.doll->program;
    const auto found = program.cels_of_object.find(object);
    if (found == program.cels_of_object.end() || state.shapes->boxes.empty()) return false;
    bool any = false;
    for (uint32_t k = found->second.first; k < found->second.end; ++k) {
        const uint32_t cel = program.cel_lists[k];
        const bool in_set = state.set >= 0 && state.set < FKISS_SETS &&
                            (state.doll->cels[cel].sets >> state.set & 1u);
        if (!in_set || (mapped_only && !state.mapped[cel])) continue;
        const CelBox &box = state.shapes->boxes[cel];
        if (!any) left = top = INT64_MAX, right = bottom = INT64_MIN;
        any = true;
        left = std::min(left, box.left), top = std::min(top, box.top);
        right = std::max<int64_t>(right, box.left + box.width);
        bottom = std::max<int64_t>(bottom, box.top + box.height);
    }
    return any;
}

void move_object(FkissState &state, int64_t object, int64_t x, int64_t y, bool unconstrained) {
    if (object < 0 || object >= static_cast<int64_t>(state.doll->program.object_count) ||
        state.positions.empty())
        return;
    int64_t left, top, right, bottom;
    if (!unconstrained && object_box(state, object, false, left, top, right, bottom)) {
        x = clamp_axis(x, left, right, state.doll->width);
        y = clamp_axis(y, top, bottom, state.doll->height);
    }
    x = std::clamp(x, -MAX_COORDINATE, MAX_COORDINATE);
    y = std::clamp(y, -MAX_COORDINATE, MAX_COORDINATE);
    Position &at = state.positions[set_index(state)][static_cast<size_t>(object)];
    const FkissProgram &program = state.doll->program;
    const auto found = program.collisions_of_object.find(object);
    if (found == program.collisions_of_object.end()) {
        state.revision += at.x != x || at.y != y;
        at = Position{x, y};
        return;
    }
    // Every move checks, even one that ends where it began.
    const std::vector<uint32_t> &events = found->second;
    std::vector<uint8_t> before(events.size());
    for (size_t k = 0; k < events.size(); ++k)
        before[k] = sides_overlap(state, program.collisions[events[k]]);
    state.revision += at.x != x || at.y != y;
    at = Position{x, y};
    std::vector<uint8_t> after(events.size());
    for (size_t k = 0; k < events.size(); ++k)
        after[k] = sides_overlap(state, program.collisions[events[k]]);
    for (uint8_t kind = COLLISION_APART; kind <= COLLISION_COLLIDE; ++kind)
        for (size_t k = 0; k < events.size() && !state.halted; ++k) {
            const CollisionEvent &event = program.collisions[events[k]];
            if (event.kind == kind && fires(kind, before[k], after[k]))
                run_blocks(state, &event.code, 1);
        }
}
