#pragma once

#include "doll/cnf_parse.h"

#include <cstdint>
#include <vector>

// Bounds on a doll's program, which is untrusted input.
constexpr int MAX_EVENT_DEPTH = 10;                  // events started by events
constexpr uint64_t MAX_ACTIONS_PER_INSTANT = 100000; // then that instant stops
constexpr uint64_t MAX_ACTIONS_PER_RUN = 50000000;   // then the whole program stops
constexpr int64_t MAX_COORDINATE = int64_t{1} << 40; // unconstrained moves stop here

// Where a cel line's pixels lie from its object's position (its file's offset plus the
// line's "%offset"), and which of them are solid.
struct CelBox {
    int64_t left, top;
    uint32_t width, height;
};

// Per cel line; empty when the cels were not read (boxes then have no size: nothing collides
// and moves are not limited).
struct CelShapes {
    std::vector<CelBox> boxes;
    std::vector<std::vector<uint8_t>> masks; // 1 per solid pixel; only for cels of collide()
};

struct AlarmEntry {
    int64_t due;
    uint64_t sequence;
    uint32_t alarm;
};

// Everything the program has changed, and where its clock stands.
struct FkissState {
    const DollConfig *doll;
    const CelShapes *shapes;
    int set;                                      // the set shown
    int64_t group;                                // its palette group, or changecol's
    std::vector<uint8_t> mapped;                  // per cel line
    std::vector<uint8_t> translucency;            // per cel line
    std::vector<std::vector<Position>> positions; // per set, per object
    std::vector<int32_t> variables;
    std::vector<int32_t> fixes;           // per object
    std::vector<int64_t> frames;          // per group: the last setframe
    std::vector<int64_t> alarm_due;       // per alarm: -1 when idle
    std::vector<uint64_t> alarm_sequence; // per alarm: when it was armed
    std::vector<AlarmEntry> heap;         // may hold entries since re-armed or cancelled
    int64_t now;
    uint64_t sequence;
    uint64_t random; // SplitMix64's state
    bool used_random;
    uint64_t revision; // grows with every change a picture may show
    // Bounds while running.
    int depth;
    int64_t instant;
    uint64_t instant_actions, total_actions;
    bool halted;    // the current instant stopped
    bool capped;    // some instant stopped at MAX_ACTIONS_PER_INSTANT
    bool exhausted; // MAX_ACTIONS_PER_RUN reached: nothing runs any more
};

// The state at time 0: every cel line's own flags, the set's positions, then initialize(),
// begin() and set(`set`). `shapes` must outlive the state. Random numbers start from `seed`.
void start_fkiss(const DollConfig &doll, const CelShapes &shapes, int set, uint32_t seed,
                 FkissState &state);

// Runs every alarm due at or before `time` (not before the state's own time), in order.
void advance_fkiss(FkissState &state, int64_t time);

// When the next alarm goes off, or -1 when none is pending.
int64_t next_alarm_due(FkissState &state);

// Whether set `set` of the doll has alarms pending after its start-up (its cels unread: no
// collisions, moves unlimited).
bool doll_animates(const DollConfig &doll, int set);

// A hash of the whole state that decides the future (alarms as time left, in firing order),
// and the exact comparison that confirms a match.
uint64_t hash_fkiss_state(const FkissState &state);
// About how many words hashing the state reads: its cost.
uint64_t fkiss_state_words(const FkissState &state);
bool same_fkiss_state(const FkissState &a, const FkissState &b);

// Whether a cel line is drawn: mapped, and in the set shown.
bool cel_visible(const FkissState &state, uint32_t cel);

// The position of an object in the set shown; (0, 0) for one without a place.
Position object_position(const FkissState &state, int64_t object);
