// Start-up and the clock: alarms in a heap ordered by due time, then by when they were armed.
#include "fkiss/engine.h"

#include <algorithm>

namespace {

// The heap's top is the earliest entry: std::push_heap keeps the largest on top.
bool later(const AlarmEntry &a, const AlarmEntry &b) {
    return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
}

bool current(const FkissState &state, const AlarmEntry &entry) {
    return state.alarm_due[entry.alarm] == entry.due &&
           state.alarm_sequence[entry.alarm] == entry.sequence;
}

// Drops entries that were re-armed or cancelled from the top.
void drop_stale(FkissState &state) {
    while (!state.heap.empty() && !current(state, state.heap.front())) {
        std::pop_heap(state.heap.begin(), state.heap.end(), later);
        state.heap.pop_back();
    }
}

// Rebuilds the heap from the alarms when stale entries outnumber them, so that re-arming in
// a loop does not grow it.
void compact(FkissState &state) {
    if (state.heap.size() <= 2 * state.alarm_due.size() + 64) return;
    state.heap.clear();
    for (uint32_t a = 0; a < state.alarm_due.size(); ++a)
        if (state.alarm_due[a] >= 0)
            state.heap.push_back(AlarmEntry{state.alarm_due[a], state.alarm_sequence[a], a});
    std::make_heap(state.heap.begin(), state.heap.end(), later);
}

void run_event(FkissState &state, const EventBlocks &blocks) {
    run_blocks(state, blocks.data(), blocks.size());
}

} // namespace

void arm_alarm(FkissState &state, uint32_t alarm, int64_t delay) {
    if (delay <= 0) {
        state.alarm_due[alarm] = -1;
        return;
    }
    state.alarm_due[alarm] = state.now + delay;
    state.alarm_sequence[alarm] = ++state.sequence;
    state.heap.push_back(AlarmEntry{state.now + delay, state.sequence, alarm});
    std::push_heap(state.heap.begin(), state.heap.end(), later);
    compact(state);
}

void start_fkiss(const DollConfig &doll, const CelShapes &shapes, int set, uint32_t seed,
                 FkissState &state) {
    const FkissProgram &program = doll.program;
    state = FkissState{};
    state.doll = &doll;
    state.shapes = &shapes;
    state.set = set;
    const bool defined = set >= 0 && static_cast<size_t>(set) < doll.sets.size();
    state.group = defined ? doll.sets[static_cast<size_t>(set)].group : 0;
    state.mapped.resize(doll.cels.size());
    state.translucency.resize(doll.cels.size());
    state.fixes.assign(program.object_count, 0);
    for (size_t i = 0; i < doll.cels.size(); ++i) {
        const CelLine &line = doll.cels[i];
        state.mapped[i] = !line.unmapped;
        state.translucency[i] = static_cast<uint8_t>(line.translucency);
        if (line.object < static_cast<int64_t>(program.object_count)) {
            int32_t &fix = state.fixes[static_cast<size_t>(line.object)];
            fix = std::max<int32_t>(
                fix, static_cast<int32_t>(std::clamp<int64_t>(line.fix, 0, INT32_MAX)));
        }
    }
    state.positions.resize(std::max<size_t>(1, doll.sets.size()));
    for (size_t s = 0; s < state.positions.size(); ++s) {
        std::vector<Position> &places = state.positions[s];
        places.assign(program.object_count, Position{0, 0});
        if (s < doll.sets.size())
            std::copy_n(doll.sets[s].positions.begin(),
                        std::min(places.size(), doll.sets[s].positions.size()), places.begin());
    }
    state.variables.assign(program.variables, 0);
    state.frames.assign(doll.groups.size(), 0);
    state.alarm_due.assign(program.alarms.size(), -1);
    state.alarm_sequence.assign(program.alarms.size(), 0);
    state.random = seed;
    run_event(state, program.initialize);
    run_event(state, program.begin);
    if (set >= 0 && set < FKISS_SETS) run_event(state, program.set_events[set]);
}

void advance_fkiss(FkissState &state, int64_t time) {
    const FkissProgram &program = state.doll->program;
    for (;;) {
        drop_stale(state);
        if (state.heap.empty() || state.heap.front().due > time) break;
        const AlarmEntry entry = state.heap.front();
        std::pop_heap(state.heap.begin(), state.heap.end(), later);
        state.heap.pop_back();
        if (entry.due != state.instant) {
            state.instant = entry.due;
            state.instant_actions = 0;
            state.halted = state.exhausted;
        }
        state.now = entry.due;
        state.alarm_due[entry.alarm] = -1;
        run_event(state, program.alarms[entry.alarm]);
    }
    state.now = std::max(state.now, time);
}

int64_t next_alarm_due(FkissState &state) {
    drop_stale(state);
    return state.heap.empty() ? -1 : state.heap.front().due;
}

bool doll_animates(const DollConfig &doll, int set) {
    const CelShapes unread;
    FkissState state;
    start_fkiss(doll, unread, set, 1, state);
    return next_alarm_due(state) >= 0;
}
