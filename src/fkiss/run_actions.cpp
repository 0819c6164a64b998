// The interpreter: one loop over an event's compiled actions.
#include "fkiss/engine.h"

#include <algorithm>

namespace {

enum Flow { FLOW_END, FLOW_EXIT, FLOW_GOTO, FLOW_HALT };

const FkissProgram &program_of(const FkissState &state) {
    return state.doll->program;
}

int32_t value_of(const FkissState &state, const Operand &operand) {
    if (operand.kind == ARG_NUMBER) return operand.value;
    if (operand.kind == ARG_VARIABLE) return state.variables[static_cast<size_t>(operand.value)];
    return 0;
}

struct CelSpan {
    const uint32_t *cels;
    uint32_t count;
};

CelSpan cels_of(const FkissState &state, const Operand &operand) {
    const FkissProgram &program = program_of(state);
    switch (operand.kind) {
    case ARG_CELS:
    case ARG_OBJECT:
    case ARG_GROUP:
        return CelSpan{program.cel_lists.data() + operand.first, operand.count};
    case ARG_VARIABLE: { // a variable holding an object number
        const auto found = program.cels_of_object.find(value_of(state, operand));
        if (found == program.cels_of_object.end()) return CelSpan{nullptr, 0};
        return CelSpan{program.cel_lists.data() + found->second.first,
                       found->second.end - found->second.first};
    }
    default:
        return CelSpan{nullptr, 0};
    }
}

int64_t object_of(const FkissState &state, const Operand &operand) {
    if (operand.kind == ARG_OBJECT) return operand.value;
    if (operand.kind == ARG_VARIABLE) return value_of(state, operand);
    if (operand.kind == ARG_CELS && operand.count > 0)
        return state.doll->cels[program_of(state).cel_lists[operand.first]].object;
    return -1;
}

// An alarm or label slot: named or numbered directly, or a number a variable holds.
bool slot_of(const FkissState &state, const Operand &operand, uint8_t kind, uint32_t &slot) {
    if (operand.kind == kind) {
        slot = static_cast<uint32_t>(operand.value);
        return true;
    }
    if (operand.kind != ARG_VARIABLE) return false;
    const auto &numbers =
        kind == ARG_ALARM ? program_of(state).alarm_of_number : program_of(state).label_of_number;
    const auto found = numbers.find(value_of(state, operand));
    if (found == numbers.end()) return false;
    slot = found->second;
    return true;
}

bool any_mapped(const FkissState &state, const Operand &operand) {
    const CelSpan span = cels_of(state, operand);
    for (uint32_t k = 0; k < span.count; ++k)
        if (state.mapped[span.cels[k]]) return true;
    return false;
}

int32_t fix_of(const FkissState &state, int64_t object) {
    if (object < 0 || object >= static_cast<int64_t>(state.fixes.size())) return 0;
    return state.fixes[static_cast<size_t>(object)];
}

Position initial_position(const FkissState &state, int64_t object) {
    const DollConfig &doll = *state.doll;
    if (state.set < 0 || static_cast<size_t>(state.set) >= doll.sets.size() || object < 0)
        return Position{0, 0};
    const auto &places = doll.sets[static_cast<size_t>(state.set)].positions;
    return static_cast<size_t>(object) < places.size() ? places[static_cast<size_t>(object)]
                                                       : Position{0, 0};
}

bool holds(const FkissState &state, const Instruction &in) {
    const int32_t a = value_of(state, in.args[0]), b = value_of(state, in.args[1]);
    switch (in.test) {
    case TEST_EQUAL:
        return a == b;
    case TEST_NOT_EQUAL:
        return a != b;
    case TEST_LESS:
        return a < b;
    case TEST_GREATER:
        return a > b;
    case TEST_MAPPED:
        return any_mapped(state, in.args[0]);
    case TEST_NOT_MAPPED:
        return !any_mapped(state, in.args[0]);
    case TEST_FIXED:
        return fix_of(state, object_of(state, in.args[0])) > 0;
    case TEST_NOT_FIXED:
        return fix_of(state, object_of(state, in.args[0])) <= 0;
    default: {
        const int64_t object = object_of(state, in.args[0]);
        const Position now = object_position(state, object), was = initial_position(state, object);
        const bool moved = now.x != was.x || now.y != was.y;
        return in.test == TEST_MOVED ? moved : !moved;
    }
    }
}

void set_mapped(FkissState &state, uint32_t cel, bool mapped) {
    if (state.mapped[cel] == mapped) return;
    state.mapped[cel] = mapped;
    ++state.revision;
}

void map_cels(FkissState &state, const Instruction &in) {
    const CelSpan span = cels_of(state, in.args[0]);
    for (uint32_t k = 0; k < span.count; ++k) {
        const uint32_t cel = span.cels[k];
        set_mapped(state, cel, in.op == OP_ALTMAP ? !state.mapped[cel] : in.op == OP_MAP);
    }
}

void make_transparent(FkissState &state, const Instruction &in) {
    const CelSpan span = cels_of(state, in.args[0]);
    const int64_t change = value_of(state, in.args[1]);
    for (uint32_t k = 0; k < span.count; ++k) {
        uint8_t &t = state.translucency[span.cels[k]];
        const uint8_t now = static_cast<uint8_t>(std::clamp<int64_t>(t + change, 0, 255));
        state.revision += now != t;
        t = now;
    }
}

void set_frame(FkissState &state, const Instruction &in) {
    if (in.args[0].kind != ARG_GROUP || in.args[0].value < 0) return;
    const size_t group = static_cast<size_t>(in.args[0].value);
    const int64_t frame = value_of(state, in.args[1]);
    state.frames[group] = frame;
    for (const uint32_t m : program_of(state).group_members[group]) {
        const GroupMember &member = state.doll->members[m];
        if (member.frames.empty()) continue; // a member of no frame is left alone
        set_mapped(state, member.cel,
                   std::find(member.frames.begin(), member.frames.end(), frame) !=
                       member.frames.end());
    }
}

void show_set(FkissState &state, int64_t set) {
    const DollConfig &doll = *state.doll;
    if (set < 0 || static_cast<size_t>(set) >= doll.sets.size() || set == state.set) return;
    state.set = static_cast<int>(set);
    state.group = doll.sets[static_cast<size_t>(set)].group;
    ++state.revision;
    const EventBlocks &blocks = program_of(state).set_events[set];
    run_blocks(state, blocks.data(), blocks.size());
}

void show_colours(FkissState &state, int64_t group) {
    if (group < 0) return;
    state.revision += state.group != group;
    state.group = group;
    if (group >= FKISS_COLOUR_EVENTS) return;
    const EventBlocks &blocks = program_of(state).col_events[static_cast<size_t>(group)];
    run_blocks(state, blocks.data(), blocks.size());
}

void run_overflow(FkissState &state) {
    const EventBlocks &blocks = program_of(state).overflow;
    run_blocks(state, blocks.data(), blocks.size());
}

// Variables hold 32 bits and wrap; the arithmetic is done in 64 bits and cut.
int32_t wrap(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

void calculate(FkissState &state, const Instruction &in) {
    int32_t &target = state.variables[static_cast<size_t>(in.args[0].value)];
    const int64_t a = value_of(state, in.args[1]), b = value_of(state, in.args[2]);
    switch (in.op) {
    case OP_LET:
        target = static_cast<int32_t>(a);
        break;
    case OP_ADD:
        target = wrap(a + b);
        break;
    case OP_SUB:
        target = wrap(a - b);
        break;
    case OP_MUL:
        target = wrap(a * b);
        break;
    case OP_RANDOM:
        target = wrap(random_between(state, a, b));
        break;
    default: // div and mod: by zero gives 0 and overflow()
        if (b == 0) {
            target = 0;
            run_overflow(state);
        } else {
            target = wrap(in.op == OP_DIV ? a / b : a % b);
        }
        break;
    }
}

int64_t transparency_of(const FkissState &state, const Operand &operand) {
    const CelSpan span = cels_of(state, operand);
    if (span.count == 0) return 0;
    const uint8_t first = state.translucency[span.cels[0]];
    for (uint32_t k = 1; k < span.count; ++k)
        if (state.translucency[span.cels[k]] != first) return -1;
    return first;
}

int64_t reading(FkissState &state, const Instruction &in) {
    const Operand &what = in.args[1];
    int64_t left, top, right, bottom;
    switch (in.test) {
    case READ_OBJECT_X:
        return object_position(state, object_of(state, what)).x;
    case READ_OBJECT_Y:
        return object_position(state, object_of(state, what)).y;
    case READ_OBJECT_W:
    case READ_OBJECT_H:
        if (!object_box(state, object_of(state, what), true, left, top, right, bottom)) return 0;
        return in.test == READ_OBJECT_W ? right - left : bottom - top;
    case READ_INIT_X:
        return initial_position(state, object_of(state, what)).x;
    case READ_INIT_Y:
        return initial_position(state, object_of(state, what)).y;
    case READ_SET:
        return state.set;
    case READ_PALETTE:
        return state.group;
    case READ_MAPPED: {
        const CelSpan span = cels_of(state, what);
        if (what.kind == ARG_CELS) return any_mapped(state, what);
        int64_t count = 0;
        for (uint32_t k = 0; k < span.count; ++k)
            count += state.mapped[span.cels[k]];
        return count;
    }
    case READ_TIMER: {
        uint32_t alarm;
        if (!slot_of(state, what, ARG_ALARM, alarm) || state.alarm_due[alarm] < 0) return 0;
        return state.alarm_due[alarm] - state.now;
    }
    case READ_FRAME:
        return what.kind == ARG_GROUP && what.value >= 0
                   ? state.frames[static_cast<size_t>(what.value)]
                   : 0;
    case READ_FIX:
        return fix_of(state, object_of(state, what));
    case READ_TRANSPARENT:
        return transparency_of(state, what);
    default:
        return 0;
    }
}

void move(FkissState &state, const Instruction &in) {
    const int64_t object = object_of(state, in.args[0]);
    const Position at = object_position(state, object);
    const bool free = in.args[3].kind == ARG_UNCONSTRAIN ||
                      (in.op == OP_MOVETORAND && in.args[1].kind == ARG_UNCONSTRAIN);
    const int64_t a = value_of(state, in.args[1]), b = value_of(state, in.args[2]);
    switch (in.op) {
    case OP_MOVE:
        move_object(state, object, at.x + a, at.y + b, free);
        break;
    case OP_MOVETO:
        move_object(state, object, a, b, free);
        break;
    case OP_MOVEBYX:
    case OP_MOVEBYY: {
        const Position other = object_position(state, object_of(state, in.args[1]));
        if (in.op == OP_MOVEBYX)
            move_object(state, object, other.x + b, at.y, free);
        else
            move_object(state, object, at.x, other.y + b, free);
        break;
    }
    case OP_MOVERANDX:
        move_object(state, object, at.x + random_between(state, a, b), at.y, free);
        break;
    case OP_MOVERANDY:
        move_object(state, object, at.x, at.y + random_between(state, a, b), free);
        break;
    default: { // movetorand: anywhere its box fits
        const int64_t x = random_between(state, 0, state.doll->width - 1);
        move_object(state, object, x, random_between(state, 0, state.doll->height - 1), free);
        break;
    }
    }
}

void run_action(FkissState &state, const Instruction &in) {
    uint32_t alarm;
    switch (in.op) {
    case OP_MAP:
    case OP_UNMAP:
    case OP_ALTMAP:
        map_cels(state, in);
        break;
    case OP_TRANSPARENT:
        make_transparent(state, in);
        break;
    case OP_MOVE:
    case OP_MOVETO:
    case OP_MOVEBYX:
    case OP_MOVEBYY:
    case OP_MOVERANDX:
    case OP_MOVERANDY:
    case OP_MOVETORAND:
        move(state, in);
        break;
    case OP_CHANGESET:
        show_set(state, value_of(state, in.args[0]));
        break;
    case OP_CHANGECOL:
        show_colours(state, value_of(state, in.args[0]));
        break;
    case OP_SETFRAME:
        set_frame(state, in);
        break;
    case OP_SETFIX: {
        const int64_t object = object_of(state, in.args[0]);
        if (object >= 0 && object < static_cast<int64_t>(state.fixes.size()))
            state.fixes[static_cast<size_t>(object)] = value_of(state, in.args[1]);
        break;
    }
    case OP_TIMER:
        if (slot_of(state, in.args[0], ARG_ALARM, alarm))
            arm_alarm(state, alarm, value_of(state, in.args[1]));
        break;
    case OP_RANDOMTIMER:
        if (slot_of(state, in.args[0], ARG_ALARM, alarm))
            arm_alarm(state, alarm,
                      value_of(state, in.args[1]) +
                          random_between(state, 0, value_of(state, in.args[2])));
        break;
    case OP_IF_TIMER:
        if (holds(state, in) && slot_of(state, in.args[1], ARG_ALARM, alarm))
            arm_alarm(state, alarm, value_of(state, in.args[2]));
        break;
    case OP_LET:
    case OP_ADD:
    case OP_SUB:
    case OP_MUL:
    case OP_DIV:
    case OP_MOD:
    case OP_RANDOM:
        calculate(state, in);
        break;
    case OP_READ:
        state.variables[static_cast<size_t>(in.args[0].value)] = wrap(reading(state, in));
        break;
    default:
        break; // endif, and branches handled by the loop
    }
}

// The branch after a false one: the first elseif that holds, an else, or the block's end.
uint32_t next_branch(FkissState &state, uint32_t at, uint32_t block_end) {
    const FkissProgram &program = program_of(state);
    while (at != block_end && at < program.code.size()) {
        const Instruction &branch = program.code[at];
        if (branch.op == OP_ELSE) return at + 1;
        if (branch.op != OP_ELSEIF || !count_action(state)) break;
        if (holds(state, branch)) return at + 1;
        at = branch.next;
    }
    return at;
}

Flow run_code(FkissState &state, uint32_t pc, uint32_t end, uint32_t &label) {
    const FkissProgram &program = program_of(state);
    while (pc < end) {
        if (!count_action(state)) return FLOW_HALT;
        const Instruction &in = program.code[pc];
        switch (in.op) {
        case OP_IF:
            pc = holds(state, in) ? pc + 1 : next_branch(state, in.next, in.end);
            continue;
        case OP_ELSEIF:
        case OP_ELSE: // the branch before ran: the block is done
            pc = in.end;
            continue;
        case OP_EXITEVENT:
            return FLOW_EXIT;
        case OP_GOTO:
        case OP_GOTORANDOM: {
            const Operand &target = in.op == OP_GOTO ? in.args[0]
                                    : random_between(state, 1, 100) <= value_of(state, in.args[0])
                                        ? in.args[1]
                                        : in.args[2];
            if (slot_of(state, target, ARG_LABEL, label)) return FLOW_GOTO;
            break;
        }
        case OP_GOSUB:
        case OP_GOSUBRANDOM: {
            const Operand &target = in.op == OP_GOSUB ? in.args[0]
                                    : random_between(state, 1, 100) <= value_of(state, in.args[0])
                                        ? in.args[1]
                                        : in.args[2];
            uint32_t slot;
            if (slot_of(state, target, ARG_LABEL, slot))
                run_blocks(state, program.labels[slot].data(), program.labels[slot].size());
            if (state.halted) return FLOW_HALT;
            break;
        }
        default:
            run_action(state, in);
            if (state.halted) return FLOW_HALT;
            break;
        }
        ++pc;
    }
    return FLOW_END;
}

} // namespace

bool count_action(FkissState &state) {
    return charge_actions(state, 1);
}

bool charge_actions(FkissState &state, uint64_t actions) {
    if (state.halted) return false;
    if ((state.instant_actions += actions) > MAX_ACTIONS_PER_INSTANT)
        state.capped = state.halted = true;
    if ((state.total_actions += actions) > MAX_ACTIONS_PER_RUN)
        state.exhausted = state.halted = true;
    return !state.halted;
}

void run_blocks(FkissState &state, const CodeRange *blocks, size_t count) {
    if (state.depth >= MAX_EVENT_DEPTH || state.halted) return;
    ++state.depth;
    const FkissProgram &program = program_of(state);
    // goto leaves the block for the label's blocks and does not come back.
    for (size_t i = 0; i < count && !state.halted; ++i) {
        uint32_t label = 0;
        if (run_code(state, blocks[i].first, blocks[i].end, label) != FLOW_GOTO) continue;
        blocks = program.labels[label].data();
        count = program.labels[label].size();
        i = static_cast<size_t>(-1);
    }
    --state.depth;
}

int64_t random_between(FkissState &state, int64_t low, int64_t high) {
    state.used_random = true;
    if (low > high) std::swap(low, high);
    uint64_t z = (state.random += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    z ^= z >> 31;
    const uint64_t span = static_cast<uint64_t>(high - low) + 1;
    return low + static_cast<int64_t>(z % span);
}
