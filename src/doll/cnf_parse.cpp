#include "doll/cnf_parse.h"

#include "common/status.h"

#include <cctype>
#include <cstring>
#include <strings.h>

namespace {

constexpr unsigned char DOS_END_OF_FILE = 0x1A;
constexpr long NUMBER_LIMIT = 1000000000; // numbers saturate here rather than overflow

// A cursor over one line, comment already cut off.
struct Cursor {
    const char *at, *end;
};

bool more(const Cursor &c) {
    return c.at < c.end;
}

void skip_blanks(Cursor &c) {
    while (more(c) && (*c.at == ' ' || *c.at == '\t'))
        ++c.at;
}

bool is_digit(const Cursor &c) {
    return more(c) && isdigit(static_cast<unsigned char>(*c.at));
}

// Reads an optionally signed decimal number; false (cursor unmoved) when there is none.
bool read_number(Cursor &c, long &value) {
    Cursor probe = c;
    const bool negative = more(probe) && *probe.at == '-';
    if (negative) ++probe.at;
    if (!is_digit(probe)) return false;
    value = 0;
    for (; is_digit(probe); ++probe.at)
        // Checked before the product, which must fit a 32-bit long too.
        value = value >= NUMBER_LIMIT / 10 ? NUMBER_LIMIT : value * 10 + (*probe.at - '0');
    if (negative) value = -value;
    c = probe;
    return true;
}

bool is_separator(char ch) {
    return ch == ' ' || ch == '\t';
}

std::string read_word(Cursor &c, const char *stops) {
    const char *start = c.at;
    while (more(c) && !is_separator(*c.at) && strchr(stops, *c.at) == nullptr)
        ++c.at;
    return std::string(start, c.at);
}

// "(w,h)", spaces allowed around the numbers.
void parse_playfield(Cursor c, DollConfig &doll) {
    long width, height;
    ++c.at;
    skip_blanks(c);
    if (!read_number(c, width)) return;
    skip_blanks(c);
    if (!more(c) || *c.at++ != ',') return;
    skip_blanks(c);
    if (!read_number(c, height)) return;
    doll.width = width;
    doll.height = height;
}

// "#obj[.fix] name.cel [*pal] [:sets]"
void parse_cel_line(Cursor c, DollConfig &doll) {
    CelLine cel = {0, "", 0, ALL_SETS};
    ++c.at;
    if (!read_number(c, cel.object) || cel.object < 0) return;
    if (more(c) && *c.at == '.') {
        long fix;
        ++c.at;
        read_number(c, fix); // may be empty: "#59."
    }
    skip_blanks(c);
    cel.file = read_word(c, "*:");
    if (cel.file.empty()) return;
    while (more(c)) {
        const char ch = *c.at++;
        if (ch == '*' && !read_number(c, cel.palette)) cel.palette = 0;
        if (ch != ':') continue;
        // Set digits to the end of the line, spaces between them optional; a bare ':' is none.
        cel.sets = 0;
        for (; more(c); ++c.at)
            if (is_digit(c)) cel.sets |= 1u << (*c.at - '0');
    }
    doll.cels.push_back(cel);
}

// The entries of set 0's line or of one of its continuation lines: "x,y" or "*" per object.
void parse_positions(Cursor c, DollConfig &doll) {
    for (skip_blanks(c); more(c); skip_blanks(c)) {
        Position p = {0, 0};
        if (*c.at == '*') {
            ++c.at;
        } else if (read_number(c, p.x)) {
            skip_blanks(c);
            if (more(c) && *c.at == ',') ++c.at;
            skip_blanks(c);
            if (!read_number(c, p.y)) p.y = 0;
        } else {
            ++c.at; // stray text is no entry
            continue;
        }
        doll.positions.push_back(p);
    }
}

bool name_is(const std::string &word, const char *name) {
    return strcasecmp(word.c_str(), name) == 0;
}

bool is_event(const std::string &word) {
    static const char *const events[] = {
        "alarm", "apart",    "begin",      "catch",   "col",      "collide",   "drop",
        "end",   "fixcatch", "fixdrop",    "in",      "never",    "overflow",  "out",
        "press", "release",  "set",        "stillin", "stillout", "unfix",     "version",
        "label", "keypress", "keyrelease", "mousein", "mouseout", "initialize"};
    for (const char *event : events)
        if (name_is(word, event)) return true;
    return false;
}

// The argument of map/unmap: "name.cel" (quotes optional) or #n.
void add_map_action(Cursor c, bool map, DollConfig &doll) {
    MapAction action = {map, -1, ""};
    skip_blanks(c);
    if (more(c) && *c.at == '#') {
        ++c.at;
        if (!read_number(c, action.object)) return;
    } else {
        if (more(c) && *c.at == '"') ++c.at;
        action.file = read_word(c, "\")");
        if (action.file.empty()) return;
    }
    doll.initial_actions.push_back(action);
}

// FKiSS: words followed by "(...)". An event starts a new list of actions; only those of
// initialize() are kept. `in_initialize` carries over from line to line.
void parse_fkiss(Cursor c, DollConfig &doll, bool &in_initialize) {
    while (more(c)) {
        if (!isalpha(static_cast<unsigned char>(*c.at))) {
            ++c.at;
            continue;
        }
        const char *start = c.at;
        while (more(c) && isalnum(static_cast<unsigned char>(*c.at)))
            ++c.at;
        const std::string word(start, c.at);
        skip_blanks(c);
        if (!more(c) || *c.at != '(') continue;
        Cursor argument = {++c.at, c.at};
        while (more(c) && *c.at != ')')
            ++c.at;
        argument.end = c.at;
        if (is_event(word))
            in_initialize = name_is(word, "initialize");
        else if (in_initialize && (name_is(word, "map") || name_is(word, "unmap")))
            add_map_action(argument, name_is(word, "map"), doll);
    }
}

// Where the line's comment starts, or its end.
const char *comment_start(const char *at, const char *end) {
    while (at < end && *at != ';')
        ++at;
    return at;
}

bool has_control_bytes(const char *at, const char *end) {
    for (; at < end; ++at) {
        const unsigned char ch = static_cast<unsigned char>(*at);
        if (ch < 0x20 && ch != '\t' && ch != '\f') return true;
    }
    return false;
}

// Carried from line to line: how many '$' lines came so far, whether a line starting with a
// blank continues a set line, and whether FKiSS actions belong to initialize().
struct LineContext {
    int set_lines;
    bool continuing;
    bool in_initialize;
};

// "$g x,y x,y ..."; only set 0's line is kept.
void parse_set_line(Cursor c, DollConfig &doll, LineContext &context) {
    ++context.set_lines;
    context.continuing = true;
    if (context.set_lines != 1) return;
    ++c.at;
    if (!read_number(c, doll.group) || doll.group < 0) doll.group = 0;
    parse_positions(c, doll);
}

int parse_line(const char *start, const char *end, DollConfig &doll, LineContext &context) {
    const bool fkiss = end - start >= 2 && start[0] == ';' && start[1] == '@';
    const char *code = fkiss ? start + 2 : start;
    const char *code_end = comment_start(code, end);
    // Comments may hold any byte but NUL; the rest must be text.
    if (has_control_bytes(start, code_end) || memchr(code_end, 0, end - code_end) != nullptr)
        return STATUS_NOT_DOLL;
    const Cursor line = {code, code_end};
    if (fkiss) {
        parse_fkiss(line, doll, context.in_initialize);
        return STATUS_OK;
    }
    if (code == code_end) return STATUS_OK; // comment lines may stand between set lines
    if (is_separator(*code)) {
        if (context.continuing && context.set_lines == 1) parse_positions(line, doll);
        return STATUS_OK;
    }
    context.continuing = false;
    switch (*code) {
    case '(':
        parse_playfield(line, doll);
        break;
    case '%': {
        Cursor name = {code + 1, code_end};
        skip_blanks(name);
        doll.palettes.push_back(read_word(name, ""));
        break;
    }
    case '#':
        parse_cel_line(line, doll);
        break;
    case '$':
        parse_set_line(line, doll, context);
        break;
    default: // border colour, memory size and the like say nothing about the picture
        break;
    }
    return STATUS_OK;
}

} // namespace

int parse_cnf(const unsigned char *text, size_t size, DollConfig &doll) {
    doll = DollConfig{448, 320, {}, {}, 0, {}, {}};
    const char *at = reinterpret_cast<const char *>(text);
    const char *end = at + size;
    // Everything after a DOS end-of-file mark is not part of the text.
    if (const void *mark = memchr(at, DOS_END_OF_FILE, size)) end = static_cast<const char *>(mark);
    LineContext context = {0, false, false};
    while (at < end) {
        const char *line_end = at;
        while (line_end < end && *line_end != '\n' && *line_end != '\r')
            ++line_end;
        const int status = parse_line(at, line_end, doll, context);
        if (status != STATUS_OK) return status;
        at = line_end + 1;
    }
    return STATUS_OK;
}

int check_cnf(const DollConfig &doll, std::string &detail) {
    if (doll.width < 1 || doll.height < 1 || doll.width > MAX_PLAYFIELD ||
        doll.height > MAX_PLAYFIELD)
        return STATUS_PLAYFIELD_SIZE;
    if (doll.cels.empty()) return STATUS_NO_CEL_LINES;
    for (const CelLine &cel : doll.cels)
        if (cel.palette < 0 || static_cast<size_t>(cel.palette) >= doll.palettes.size()) {
            detail = cel.file;
            return STATUS_PALETTE_NOT_LISTED;
        }
    return STATUS_OK;
}
