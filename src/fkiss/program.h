#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// A doll's ";@" lines compiled once: every name resolved to an index, so that running them
// never looks at text.

// What an action's argument stands for.
enum OperandKind : uint8_t {
    ARG_NONE,     // absent, or text that names nothing
    ARG_NUMBER,   // `value`
    ARG_VARIABLE, // `value` is the variable's slot
    ARG_CELS,     // a cel file: cel_lists[first .. first + count)
    ARG_OBJECT,   // "#value": its cel lines as for ARG_CELS
    ARG_GROUP,    // "!name": group `value`, its member cel lines as for ARG_CELS
    ARG_ALARM,    // alarm slot `value`
    ARG_LABEL,    // label slot `value`
    ARG_UNCONSTRAIN,
};

struct Operand {
    uint8_t kind;
    int32_t value;
    uint32_t first, count;
};

enum FkissOp : uint8_t {
    OP_MAP,
    OP_UNMAP,
    OP_ALTMAP,
    OP_TRANSPARENT,
    OP_MOVE,
    OP_MOVETO,
    OP_MOVEBYX,
    OP_MOVEBYY,
    OP_MOVERANDX,
    OP_MOVERANDY,
    OP_MOVETORAND,
    OP_CHANGESET,
    OP_CHANGECOL,
    OP_SETFRAME,
    OP_SETFIX,
    OP_TIMER,
    OP_RANDOMTIMER,
    OP_IF_TIMER, // a timer set only when `test` holds
    OP_IF,       // opens a block: the branch runs when `test` holds
    OP_ELSEIF,
    OP_ELSE,
    OP_ENDIF,
    OP_LET,
    OP_ADD,
    OP_SUB,
    OP_MUL,
    OP_DIV,
    OP_MOD,
    OP_RANDOM,
    OP_READ, // a variable takes a reading of the state, `test` saying which
    OP_GOSUB,
    OP_GOTO,
    OP_GOSUBRANDOM,
    OP_GOTORANDOM,
    OP_EXITEVENT,
};

enum FkissTest : uint8_t {
    TEST_EQUAL,
    TEST_NOT_EQUAL,
    TEST_LESS,
    TEST_GREATER,
    TEST_MAPPED,
    TEST_NOT_MAPPED,
    TEST_FIXED,
    TEST_NOT_FIXED,
    TEST_MOVED,
    TEST_NOT_MOVED,
};

enum FkissReading : uint8_t {
    READ_OBJECT_X,
    READ_OBJECT_Y,
    READ_OBJECT_W,
    READ_OBJECT_H,
    READ_INIT_X,
    READ_INIT_Y,
    READ_SET,
    READ_PALETTE,
    READ_MAPPED,
    READ_TIMER,
    READ_FRAME,
    READ_FIX,
    READ_TRANSPARENT,
    READ_ZERO, // the pointer and the caught object: nobody touches the doll
};

constexpr int MAX_OPERANDS = 4;

struct Instruction {
    uint8_t op;
    uint8_t test;  // FkissTest or FkissReading
    uint32_t next; // OP_IF, OP_ELSEIF: the block's next branch, or its end
    uint32_t end;  // OP_IF, OP_ELSEIF, OP_ELSE: where the block ends
    Operand args[MAX_OPERANDS];
};

// One event block: code[first .. end).
struct CodeRange {
    uint32_t first, end;
};

enum CollisionKind : uint8_t {
    // In the order they fire after a move.
    COLLISION_APART,
    COLLISION_IN,
    COLLISION_STILL_IN,
    COLLISION_OUT,
    COLLISION_STILL_OUT,
    COLLISION_COLLIDE,
};

struct CollisionEvent {
    uint8_t kind;
    Operand a, b; // ARG_CELS or ARG_OBJECT
    CodeRange code;
};

// Events that appear several times run every block, in file order.
using EventBlocks = std::vector<CodeRange>;

constexpr int FKISS_SETS = 10;
constexpr int FKISS_COLOUR_EVENTS = 256; // col(n) beyond them never runs

struct FkissProgram {
    std::vector<Instruction> code;
    std::vector<uint32_t> cel_lists; // cel line numbers that operands point into
    EventBlocks initialize, begin, overflow;
    EventBlocks set_events[FKISS_SETS];
    std::vector<EventBlocks> col_events;
    std::vector<EventBlocks> alarms; // by alarm slot
    std::vector<EventBlocks> labels; // by label slot
    // Numbers of alarms and labels, for ids that variables hold.
    std::unordered_map<int32_t, uint32_t> alarm_of_number, label_of_number;
    std::vector<CollisionEvent> collisions;
    // The collision events that name a cel of each object.
    std::unordered_map<int64_t, std::vector<uint32_t>> collisions_of_object;
    // Each object's cel lines, for objects that variables hold.
    std::unordered_map<int64_t, CodeRange> cels_of_object; // into cel_lists
    std::vector<std::vector<uint32_t>> group_members;      // per group: member records
    std::vector<std::string> variable_names;               // by slot, lower case
    uint32_t variables;
    uint32_t object_count; // objects 0 .. object_count - 1 have positions
    bool uses_random;
};
