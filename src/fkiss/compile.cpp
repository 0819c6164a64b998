#include "fkiss/compile.h"

#include "common/status.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace {

enum TokenKind : uint8_t {
    TOKEN_EMPTY,
    TOKEN_NUMBER,
    TOKEN_STRING,
    TOKEN_OBJECT,
    TOKEN_GROUP,
    TOKEN_WORD
};

struct Token {
    uint8_t kind;
    int32_t number;
    std::string text; // lower case
};

// A name with its arguments: "unmap(#3)".
struct Call {
    std::string name; // lower case
    std::vector<Token> args;
};

constexpr int32_t NUMBER_LIMIT = 1000000000; // numbers saturate here rather than overflow

std::string lower(std::string_view text) {
    std::string out(text);
    for (char &ch : out)
        ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    return out;
}

bool is_name_char(char ch) {
    return isalnum(static_cast<unsigned char>(ch)) || ch == '_';
}

int32_t read_number(std::string_view text, size_t &at) {
    const bool negative = at < text.size() && text[at] == '-';
    if (negative) ++at;
    int64_t value = 0;
    for (; at < text.size() && isdigit(static_cast<unsigned char>(text[at])); ++at)
        value = std::min<int64_t>(value * 10 + (text[at] - '0'), NUMBER_LIMIT);
    return static_cast<int32_t>(negative ? -value : value);
}

Token read_token(std::string_view arg) {
    size_t at = 0;
    while (at < arg.size() && (arg[at] == ' ' || arg[at] == '\t'))
        ++at;
    size_t end = arg.size();
    while (end > at && (arg[end - 1] == ' ' || arg[end - 1] == '\t'))
        --end;
    arg = arg.substr(at, end - at);
    if (arg.empty()) return Token{TOKEN_EMPTY, 0, ""};
    size_t next = 1;
    switch (arg[0]) {
    case '"': {
        const size_t close = arg.find('"', 1);
        return Token{TOKEN_STRING, 0,
                     lower(arg.substr(1, close == arg.npos ? arg.npos : close - 1))};
    }
    case '#':
        return Token{TOKEN_OBJECT, read_number(arg, next), ""};
    case '!':
        return Token{TOKEN_GROUP, 0, lower(arg.substr(1))};
    default:
        break;
    }
    if (arg[0] == '-' || isdigit(static_cast<unsigned char>(arg[0]))) {
        next = 0;
        return Token{TOKEN_NUMBER, read_number(arg, next), ""};
    }
    // Unquoted cel names occur ("unmap(eye.cel)"): a name with a dot is a cel file.
    if (arg.find('.') != arg.npos) return Token{TOKEN_STRING, 0, lower(arg)};
    return Token{TOKEN_WORD, 0, lower(arg)};
}

// Splits the program into calls; a ';' outside a call starts a comment to the line's end.
void read_calls(std::string_view text, std::vector<Call> &calls) {
    size_t at = 0;
    while (at < text.size()) {
        const char ch = text[at];
        if (ch == ';') {
            const size_t line_end = text.find('\n', at);
            at = line_end == text.npos ? text.size() : line_end;
            continue;
        }
        if (!isalpha(static_cast<unsigned char>(ch))) {
            ++at;
            continue;
        }
        const size_t start = at;
        while (at < text.size() && is_name_char(text[at]))
            ++at;
        Call call = {lower(text.substr(start, at - start)), {}};
        size_t probe = at;
        while (probe < text.size() && (text[probe] == ' ' || text[probe] == '\t'))
            ++probe;
        if (probe >= text.size() || text[probe] != '(') {
            // "else" and "endif" are written without parentheses too.
            if (call.name == "else" || call.name == "endif") calls.push_back(std::move(call));
            continue;
        }
        at = probe + 1;
        // Arguments up to ')' or the line's end, split at commas outside strings.
        size_t arg_start = at;
        bool quoted = false;
        for (; at < text.size() && text[at] != '\n' && (quoted || text[at] != ')'); ++at) {
            if (text[at] == '"') quoted = !quoted;
            if (!quoted && text[at] == ',') {
                call.args.push_back(read_token(text.substr(arg_start, at - arg_start)));
                arg_start = at + 1;
            }
        }
        const Token last = read_token(text.substr(arg_start, at - arg_start));
        if (last.kind != TOKEN_EMPTY || !call.args.empty()) call.args.push_back(last);
        if (at < text.size() && text[at] == ')') ++at;
        calls.push_back(std::move(call));
    }
}

enum EventKind { EVENT_NONE, EVENT_LIST, EVENT_COLLISION, EVENT_IGNORED };

struct EventName {
    const char *name;
    int kind; // EventKind, or a CollisionKind for EVENT_COLLISION
    int collision;
};

const EventName EVENT_NAMES[] = {
    {"initialize", EVENT_LIST, 0},
    {"begin", EVENT_LIST, 0},
    {"overflow", EVENT_LIST, 0},
    {"set", EVENT_LIST, 0},
    {"col", EVENT_LIST, 0},
    {"alarm", EVENT_LIST, 0},
    {"label", EVENT_LIST, 0},
    {"apart", EVENT_COLLISION, COLLISION_APART},
    {"in", EVENT_COLLISION, COLLISION_IN},
    {"stillin", EVENT_COLLISION, COLLISION_STILL_IN},
    {"out", EVENT_COLLISION, COLLISION_OUT},
    {"stillout", EVENT_COLLISION, COLLISION_STILL_OUT},
    {"collide", EVENT_COLLISION, COLLISION_COLLIDE},
    {"press", EVENT_IGNORED, 0},
    {"release", EVENT_IGNORED, 0},
    {"catch", EVENT_IGNORED, 0},
    {"drop", EVENT_IGNORED, 0},
    {"fixcatch", EVENT_IGNORED, 0},
    {"fixdrop", EVENT_IGNORED, 0},
    {"unfix", EVENT_IGNORED, 0},
    {"end", EVENT_IGNORED, 0},
    {"never", EVENT_IGNORED, 0},
    {"version", EVENT_IGNORED, 0},
    {"keypress", EVENT_IGNORED, 0},
    {"keyrelease", EVENT_IGNORED, 0},
    {"mousein", EVENT_IGNORED, 0},
    {"mouseout", EVENT_IGNORED, 0},
};

const EventName *event_name(const std::string &name) {
    for (const EventName &event : EVENT_NAMES)
        if (name == event.name) return &event;
    return nullptr;
}

// How an action reads its arguments, one letter each: T a target (cels, object, group or a
// variable holding an object), O an object, V a value, W a variable it writes, A an alarm,
// L a label, G a group, S the word "unconstrain".
struct ActionName {
    const char *name;
    uint8_t op, test;
    const char *args;
};

const ActionName ACTION_NAMES[] = {
    {"map", OP_MAP, 0, "T"},
    {"unmap", OP_UNMAP, 0, "T"},
    {"altmap", OP_ALTMAP, 0, "T"},
    {"transparent", OP_TRANSPARENT, 0, "TV"},
    {"move", OP_MOVE, 0, "OVVS"},
    {"moveto", OP_MOVETO, 0, "OVVS"},
    {"movebyx", OP_MOVEBYX, 0, "OOVS"},
    {"movebyy", OP_MOVEBYY, 0, "OOVS"},
    {"moverandx", OP_MOVERANDX, 0, "OVVS"},
    {"moverandy", OP_MOVERANDY, 0, "OVVS"},
    {"movetorand", OP_MOVETORAND, 0, "OS"},
    {"changeset", OP_CHANGESET, 0, "V"},
    {"changecol", OP_CHANGECOL, 0, "V"},
    {"setframe", OP_SETFRAME, 0, "GV"},
    {"setfix", OP_SETFIX, 0, "OV"},
    {"timer", OP_TIMER, 0, "AV"},
    {"randomtimer", OP_RANDOMTIMER, 0, "AVV"},
    {"ifmapped", OP_IF, TEST_MAPPED, "TAV"},
    {"ifnotmapped", OP_IF, TEST_NOT_MAPPED, "TAV"},
    {"iffixed", OP_IF, TEST_FIXED, "OAV"},
    {"ifnotfixed", OP_IF, TEST_NOT_FIXED, "OAV"},
    {"ifmoved", OP_IF, TEST_MOVED, "OAV"},
    {"ifnotmoved", OP_IF, TEST_NOT_MOVED, "OAV"},
    {"ifequal", OP_IF, TEST_EQUAL, "VV"},
    {"ifnotequal", OP_IF, TEST_NOT_EQUAL, "VV"},
    {"iflessthan", OP_IF, TEST_LESS, "VV"},
    {"ifgreaterthan", OP_IF, TEST_GREATER, "VV"},
    {"elseifequal", OP_ELSEIF, TEST_EQUAL, "VV"},
    {"elseifnotequal", OP_ELSEIF, TEST_NOT_EQUAL, "VV"},
    {"elseiflessthan", OP_ELSEIF, TEST_LESS, "VV"},
    {"elseifgreaterthan", OP_ELSEIF, TEST_GREATER, "VV"},
    {"else", OP_ELSE, 0, ""},
    {"endif", OP_ENDIF, 0, ""},
    {"let", OP_LET, 0, "WV"},
    {"add", OP_ADD, 0, "WVV"},
    {"sub", OP_SUB, 0, "WVV"},
    {"mul", OP_MUL, 0, "WVV"},
    {"div", OP_DIV, 0, "WVV"},
    {"mod", OP_MOD, 0, "WVV"},
    {"random", OP_RANDOM, 0, "WVV"},
    {"letobjectx", OP_READ, READ_OBJECT_X, "WO"},
    {"letobjecty", OP_READ, READ_OBJECT_Y, "WO"},
    {"letobjectw", OP_READ, READ_OBJECT_W, "WO"},
    {"letobjecth", OP_READ, READ_OBJECT_H, "WO"},
    {"letwidth", OP_READ, READ_OBJECT_W, "WO"},
    {"letheight", OP_READ, READ_OBJECT_H, "WO"},
    {"letinitx", OP_READ, READ_INIT_X, "WO"},
    {"letinity", OP_READ, READ_INIT_Y, "WO"},
    {"letset", OP_READ, READ_SET, "W"},
    {"letpal", OP_READ, READ_PALETTE, "W"},
    {"letmapped", OP_READ, READ_MAPPED, "WT"},
    {"lettimer", OP_READ, READ_TIMER, "WA"},
    {"letframe", OP_READ, READ_FRAME, "WG"},
    {"letfix", OP_READ, READ_FIX, "WO"},
    {"lettransparent", OP_READ, READ_TRANSPARENT, "WT"},
    {"letmousex", OP_READ, READ_ZERO, "W"},
    {"letmousey", OP_READ, READ_ZERO, "W"},
    {"letcatch", OP_READ, READ_ZERO, "W"},
    {"gosub", OP_GOSUB, 0, "L"},
    {"goto", OP_GOTO, 0, "L"},
    {"gosubrandom", OP_GOSUBRANDOM, 0, "VLL"},
    {"gotorandom", OP_GOTORANDOM, 0, "VLL"},
    {"exitevent", OP_EXITEVENT, 0, ""},
};

const ActionName *action_name(const std::string &name) {
    for (const ActionName &action : ACTION_NAMES)
        if (name == action.name) return &action;
    return nullptr;
}

struct Range {
    uint32_t first, count;
};

// Names resolved while compiling.
struct Names {
    std::unordered_map<std::string, Range> cels_of_file;
    std::unordered_map<std::string, uint32_t> variables, alarm_names, label_names, groups;
};

// A slot per distinct alarm or label id: numbers, and names of alarm(...) or label(...) events.
uint32_t numbered_slot(std::unordered_map<int32_t, uint32_t> &slots,
                       std::vector<EventBlocks> &blocks, int32_t number) {
    const auto known = slots.emplace(number, static_cast<uint32_t>(blocks.size()));
    if (known.second) blocks.emplace_back();
    return known.first->second;
}

uint32_t named_slot(std::unordered_map<std::string, uint32_t> &slots,
                    std::vector<EventBlocks> &blocks, const std::string &name) {
    const auto known = slots.emplace(name, static_cast<uint32_t>(blocks.size()));
    if (known.second) blocks.emplace_back();
    return known.first->second;
}

Operand none() {
    return Operand{ARG_NONE, 0, 0, 0};
}

Operand variable(Names &names, FkissProgram &program, const std::string &name) {
    const auto known = names.variables.emplace(name, program.variables);
    if (known.second) {
        ++program.variables;
        program.variable_names.push_back(name);
    }
    return Operand{ARG_VARIABLE, static_cast<int32_t>(known.first->second), 0, 0};
}

Operand cels_named(const Names &names, const std::string &file) {
    const auto found = names.cels_of_file.find(file);
    if (found == names.cels_of_file.end()) return Operand{ARG_CELS, -1, 0, 0};
    return Operand{ARG_CELS, 0, found->second.first, found->second.count};
}

Operand object_operand(const FkissProgram &program, int64_t object) {
    const auto found = program.cels_of_object.find(object);
    const CodeRange range = found == program.cels_of_object.end() ? CodeRange{0, 0} : found->second;
    return Operand{ARG_OBJECT, static_cast<int32_t>(object), range.first, range.end - range.first};
}

Operand group_operand(const Names &names, const std::vector<Range> &group_cels,
                      const std::string &name) {
    const auto found = names.groups.find(name);
    if (found == names.groups.end()) return Operand{ARG_GROUP, -1, 0, 0};
    const Range range = group_cels[found->second];
    return Operand{ARG_GROUP, static_cast<int32_t>(found->second), range.first, range.count};
}

struct Compiler {
    const DollConfig *doll;
    FkissProgram *program;
    Names names;
    std::vector<Range> group_cels;
};

// One argument read as the action's letter says; ARG_NONE when it cannot stand there.
Operand compile_arg(Compiler &c, char letter, const Token &token) {
    FkissProgram &program = *c.program;
    switch (letter) {
    case 'V':
        if (token.kind == TOKEN_NUMBER || token.kind == TOKEN_OBJECT)
            return Operand{ARG_NUMBER, token.number, 0, 0};
        if (token.kind == TOKEN_WORD) return variable(c.names, program, token.text);
        return none();
    case 'W':
        return token.kind == TOKEN_WORD ? variable(c.names, program, token.text) : none();
    case 'T':
    case 'O':
        if (token.kind == TOKEN_STRING) return cels_named(c.names, token.text);
        if (token.kind == TOKEN_OBJECT || (letter == 'O' && token.kind == TOKEN_NUMBER))
            return object_operand(program, token.number);
        if (token.kind == TOKEN_GROUP) return group_operand(c.names, c.group_cels, token.text);
        if (token.kind == TOKEN_WORD) return variable(c.names, program, token.text);
        return none();
    case 'G':
        if (token.kind == TOKEN_GROUP || token.kind == TOKEN_WORD || token.kind == TOKEN_STRING)
            return group_operand(c.names, c.group_cels, token.text);
        return none();
    case 'A':
    case 'L': {
        auto &numbers = letter == 'A' ? program.alarm_of_number : program.label_of_number;
        auto &named = letter == 'A' ? c.names.alarm_names : c.names.label_names;
        auto &blocks = letter == 'A' ? program.alarms : program.labels;
        const uint8_t kind = letter == 'A' ? ARG_ALARM : ARG_LABEL;
        if (token.kind == TOKEN_NUMBER)
            return Operand{kind, static_cast<int32_t>(numbered_slot(numbers, blocks, token.number)),
                           0, 0};
        if (token.kind != TOKEN_WORD && token.kind != TOKEN_STRING) return none();
        const auto found = named.find(token.text);
        if (found != named.end()) return Operand{kind, static_cast<int32_t>(found->second), 0, 0};
        // A name that is no alarm (label) but a variable stands for its value.
        return token.kind == TOKEN_WORD ? variable(c.names, program, token.text) : none();
    }
    case 'S':
        return token.text == "unconstrain" ? Operand{ARG_UNCONSTRAIN, 0, 0, 0} : none();
    default:
        return none();
    }
}

// The open if-block of the event being compiled: its branches, to be linked when it ends.
struct Block {
    std::vector<uint32_t> branches;
};

void close_block(FkissProgram &program, Block &block, uint32_t end) {
    for (size_t k = 0; k < block.branches.size(); ++k) {
        Instruction &branch = program.code[block.branches[k]];
        branch.next = k + 1 < block.branches.size() ? block.branches[k + 1] : end;
        branch.end = end;
    }
    block.branches.clear();
}

// Appends one action; false when it is malformed beyond use (no variable to write, say).
bool compile_action(Compiler &c, const ActionName &action, const Call &call, Block &block) {
    FkissProgram &program = *c.program;
    Instruction in = {action.op, action.test, 0, 0, {none(), none(), none(), none()}};
    const size_t letters = strlen(action.args);
    const uint32_t here = static_cast<uint32_t>(program.code.size());
    // One argument makes ifmapped and the like a block; three a conditional timer.
    const bool timer_test = action.op == OP_IF && action.test >= TEST_MAPPED;
    if (timer_test && call.args.size() >= 3) in.op = OP_IF_TIMER;
    const size_t used = timer_test && in.op == OP_IF ? 1 : std::min(letters, call.args.size());
    for (size_t i = 0; i < used && i < MAX_OPERANDS; ++i)
        in.args[i] = compile_arg(c, action.args[i], call.args[i]);
    if (letters > 0 && action.args[0] == 'W' && in.args[0].kind != ARG_VARIABLE) return false;
    switch (in.op) {
    case OP_IF:
        close_block(program, block, here);
        block.branches.push_back(here);
        break;
    case OP_ELSEIF:
    case OP_ELSE:
        if (block.branches.empty()) {
            // A stray branch outside any block goes on to the next action.
            in.end = here + 1;
            in.next = here + 1;
        } else {
            block.branches.push_back(here);
        }
        break;
    case OP_ENDIF:
        close_block(program, block, here + 1);
        break;
    case OP_RANDOMTIMER:
    case OP_RANDOM:
    case OP_MOVERANDX:
    case OP_MOVERANDY:
    case OP_MOVETORAND:
    case OP_GOSUBRANDOM:
    case OP_GOTORANDOM:
        program.uses_random = true;
        break;
    default:
        break;
    }
    program.code.push_back(in);
    return true;
}

// Lays out every cel list an operand may point at: per file, per object, per group.
void index_cels(Compiler &c) {
    const DollConfig &doll = *c.doll;
    FkissProgram &program = *c.program;
    std::unordered_map<std::string, std::vector<uint32_t>> by_file;
    std::unordered_map<int64_t, std::vector<uint32_t>> by_object;
    std::vector<std::string> file_order;
    std::vector<int64_t> object_order;
    int64_t objects = 0;
    for (uint32_t i = 0; i < doll.cels.size(); ++i) {
        const std::string name = lower(doll.cels[i].file);
        auto &file = by_file[name];
        if (file.empty()) file_order.push_back(name);
        file.push_back(i);
        auto &object = by_object[doll.cels[i].object];
        if (object.empty()) object_order.push_back(doll.cels[i].object);
        object.push_back(i);
        objects = std::max(objects, doll.cels[i].object + 1);
    }
    program.object_count =
        static_cast<uint32_t>(std::min<int64_t>(objects, static_cast<int64_t>(MAX_OBJECTS)));
    for (const std::string &name : file_order) {
        const auto &lines = by_file[name];
        c.names.cels_of_file[name] = Range{static_cast<uint32_t>(program.cel_lists.size()),
                                           static_cast<uint32_t>(lines.size())};
        program.cel_lists.insert(program.cel_lists.end(), lines.begin(), lines.end());
    }
    for (const int64_t object : object_order) {
        const auto &lines = by_object[object];
        const uint32_t first = static_cast<uint32_t>(program.cel_lists.size());
        program.cel_lists.insert(program.cel_lists.end(), lines.begin(), lines.end());
        program.cels_of_object[object] =
            CodeRange{first, first + static_cast<uint32_t>(lines.size())};
    }
    program.group_members.assign(doll.groups.size(), {});
    for (uint32_t m = 0; m < doll.members.size(); ++m)
        program.group_members[doll.members[m].group].push_back(m);
    for (uint32_t g = 0; g < doll.groups.size(); ++g) {
        c.names.groups[doll.groups[g]] = g;
        const uint32_t first = static_cast<uint32_t>(program.cel_lists.size());
        for (const uint32_t m : program.group_members[g])
            program.cel_lists.push_back(doll.members[m].cel);
        c.group_cels.push_back(
            Range{first, static_cast<uint32_t>(program.cel_lists.size()) - first});
    }
}

// Where an event's code goes: a list and a place in it (lists of alarms and labels grow while
// compiling, so no pointer is kept). `list` 0 is an event that never runs.
struct EventPlace {
    int list;
    size_t index;
};

EventBlocks *blocks_at(FkissProgram &program, const EventPlace &place) {
    switch (place.list) {
    case 1:
        return &program.initialize;
    case 2:
        return &program.begin;
    case 3:
        return &program.overflow;
    case 4:
        return &program.set_events[place.index];
    case 5:
        return &program.col_events[place.index];
    case 6:
        return &program.alarms[place.index];
    case 7:
        return &program.labels[place.index];
    default:
        return nullptr;
    }
}

EventPlace event_place(Compiler &c, const EventName &event, const Call &call) {
    FkissProgram &program = *c.program;
    const Token arg = call.args.empty() ? Token{TOKEN_EMPTY, 0, ""} : call.args[0];
    const std::string name = event.name;
    if (name == "initialize") return {1, 0};
    if (name == "begin") return {2, 0};
    if (name == "overflow") return {3, 0};
    if (name == "set" || name == "col") {
        const int64_t limit = name == "set" ? FKISS_SETS : FKISS_COLOUR_EVENTS;
        if (arg.kind != TOKEN_NUMBER || arg.number < 0 || arg.number >= limit) return {0, 0};
        return {name == "set" ? 4 : 5, static_cast<size_t>(arg.number)};
    }
    const bool alarm = name == "alarm";
    auto &blocks = alarm ? program.alarms : program.labels;
    if (arg.kind == TOKEN_NUMBER)
        return {alarm ? 6 : 7,
                numbered_slot(alarm ? program.alarm_of_number : program.label_of_number, blocks,
                              arg.number)};
    if (arg.kind == TOKEN_WORD || arg.kind == TOKEN_STRING)
        return {alarm ? 6 : 7,
                named_slot(alarm ? c.names.alarm_names : c.names.label_names, blocks, arg.text)};
    return {0, 0};
}

// A collision event's two operands: cel files or objects.
bool collision_operand(Compiler &c, const Token &token, Operand &operand) {
    if (token.kind == TOKEN_STRING)
        operand = cels_named(c.names, token.text);
    else if (token.kind == TOKEN_OBJECT)
        operand = object_operand(*c.program, token.number);
    else
        return false;
    return true;
}

void note_collision(Compiler &c, uint32_t index) {
    FkissProgram &program = *c.program;
    const CollisionEvent &event = program.collisions[index];
    std::vector<int64_t> objects;
    for (const Operand *side : {&event.a, &event.b})
        for (uint32_t k = 0; k < side->count; ++k)
            objects.push_back(c.doll->cels[program.cel_lists[side->first + k]].object);
    std::sort(objects.begin(), objects.end());
    objects.erase(std::unique(objects.begin(), objects.end()), objects.end());
    for (const int64_t object : objects)
        program.collisions_of_object[object].push_back(index);
}

} // namespace

int compile_fkiss(const std::string &text, DollConfig &doll) {
    FkissProgram &program = doll.program;
    program = FkissProgram{};
    program.col_events.resize(FKISS_COLOUR_EVENTS);
    Compiler c = {&doll, &program, {}, {}};
    index_cels(c);
    std::vector<Call> calls;
    read_calls(text, calls);
    // Alarm and label names first, so that a timer before its alarm's event finds it.
    for (const Call &call : calls)
        if ((call.name == "alarm" || call.name == "label") && !call.args.empty() &&
            (call.args[0].kind == TOKEN_WORD || call.args[0].kind == TOKEN_STRING))
            named_slot(call.name == "alarm" ? c.names.alarm_names : c.names.label_names,
                       call.name == "alarm" ? program.alarms : program.labels, call.args[0].text);
    EventPlace place = {0, 0};
    int64_t collision = -1;
    uint32_t first = 0;
    Block block;
    const auto finish_event = [&]() {
        const uint32_t end = static_cast<uint32_t>(program.code.size());
        close_block(program, block, end);
        if (EventBlocks *blocks = blocks_at(program, place)) blocks->push_back({first, end});
        if (collision >= 0) program.collisions[static_cast<size_t>(collision)].code = {first, end};
        place = {0, 0};
        collision = -1;
    };
    for (const Call &call : calls) {
        if (const EventName *event = event_name(call.name)) {
            finish_event();
            first = static_cast<uint32_t>(program.code.size());
            if (event->kind == EVENT_LIST) {
                place = event_place(c, *event, call);
            } else if (event->kind == EVENT_COLLISION && call.args.size() >= 2) {
                CollisionEvent e = {static_cast<uint8_t>(event->collision), none(), none(), {0, 0}};
                if (collision_operand(c, call.args[0], e.a) &&
                    collision_operand(c, call.args[1], e.b)) {
                    collision = static_cast<int64_t>(program.collisions.size());
                    program.collisions.push_back(e);
                    note_collision(c, static_cast<uint32_t>(collision));
                }
            }
            continue;
        }
        const ActionName *action = action_name(call.name);
        // Actions of events that never run with nobody touching the doll are not kept.
        if (action == nullptr || (place.list == 0 && collision < 0)) continue;
        if (program.code.size() == MAX_FKISS_ACTIONS) return STATUS_DOLL_TOO_LARGE;
        compile_action(c, *action, call, block);
    }
    finish_event();
    return STATUS_OK;
}
