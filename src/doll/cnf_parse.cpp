#include "doll/cnf_parse.h"

#include "common/status.h"
#include "fkiss/compile.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

constexpr unsigned char DOS_END_OF_FILE = 0x1A;
constexpr int64_t NUMBER_LIMIT = 1000000000; // numbers saturate here rather than overflow

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
bool read_number(Cursor &c, int64_t &value) {
    Cursor probe = c;
    const bool negative = more(probe) && *probe.at == '-';
    if (negative) ++probe.at;
    if (!is_digit(probe)) return false;
    value = 0;
    for (; is_digit(probe); ++probe.at)
        value = value >= NUMBER_LIMIT ? NUMBER_LIMIT : value * 10 + (*probe.at - '0');
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
    int64_t width, height;
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

bool starts_with_any_case(Cursor c, const char *word) {
    for (; *word != '\0'; ++word, ++c.at)
        if (!more(c) || tolower(static_cast<unsigned char>(*c.at)) != *word) return false;
    return true;
}

// "%tN" anywhere in the text (a cel line's position data or its comment); -1 when absent.
int find_translucency(Cursor c) {
    for (; c.end - c.at >= 3; ++c.at)
        if (c.at[0] == '%' && (c.at[1] == 't' || c.at[1] == 'T')) {
            Cursor number = {c.at + 2, c.end};
            int64_t value;
            if (is_digit(number) && read_number(number, value))
                return static_cast<int>(std::min<int64_t>(value, 255));
        }
    return -1;
}

// "!name" or "!name :f1 f2 ...", the cursor on the '!': the cel line joins the group.
void read_membership(Cursor &c, uint32_t cel, DollConfig &doll) {
    ++c.at;
    std::string name;
    while (more(c) && !is_separator(*c.at) && *c.at != ':' && *c.at != ';')
        name += static_cast<char>(tolower(static_cast<unsigned char>(*c.at++)));
    if (name.empty()) return;
    GroupMember member = {cel, 0, {}};
    const auto known = std::find(doll.groups.begin(), doll.groups.end(), name);
    member.group = static_cast<uint32_t>(known - doll.groups.begin());
    if (known == doll.groups.end()) doll.groups.push_back(name);
    skip_blanks(c);
    if (more(c) && *c.at == ':') {
        ++c.at;
        int64_t frame;
        for (skip_blanks(c); read_number(c, frame); skip_blanks(c)) {
            member.frames.push_back(frame);
            if (more(c) && *c.at == ',') ++c.at;
        }
    }
    doll.members.push_back(std::move(member));
}

// The flags after a cel line's ';' (or on a ";!" line): "%u", "%offset[x,y]" and groups.
void read_cel_flags(Cursor c, uint32_t cel, DollConfig &doll) {
    CelLine &line = doll.cels[cel];
    while (more(c)) {
        if (*c.at == '!') {
            read_membership(c, cel, doll);
            continue;
        }
        if (*c.at != '%') {
            ++c.at;
            continue;
        }
        ++c.at;
        if (starts_with_any_case(c, "offset")) {
            c.at += 6;
            skip_blanks(c);
            if (more(c) && *c.at == '[') ++c.at;
            skip_blanks(c);
            int64_t x = 0, y = 0;
            if (!read_number(c, x)) continue;
            skip_blanks(c);
            if (more(c) && *c.at == ',') ++c.at;
            skip_blanks(c);
            if (!read_number(c, y)) y = 0;
            line.offset_x = x, line.offset_y = y;
        } else if (starts_with_any_case(c, "u") &&
                   (c.end - c.at == 1 || !isalnum(static_cast<unsigned char>(c.at[1])))) {
            line.unmapped = true;
        }
    }
}

// "#obj[.fix] name.cel [*pal] [:sets] [%tN]", then perhaps "; %tN %u %offset[x,y] !group".
int parse_cel_line(Cursor c, const char *line_end, DollConfig &doll) {
    CelLine cel = {0, "", 0, ALL_SETS, 0, 0, false, 0, 0};
    // Before the comment mark when written there, else after it.
    int translucency = find_translucency(c);
    if (translucency < 0) translucency = find_translucency({c.end, line_end});
    if (translucency >= 0) cel.translucency = translucency;
    ++c.at;
    if (!read_number(c, cel.object) || cel.object < 0) return STATUS_OK;
    if (more(c) && *c.at == '.') {
        ++c.at;
        if (!read_number(c, cel.fix)) cel.fix = 0; // may be empty: "#59."
    }
    skip_blanks(c);
    cel.file = read_word(c, "*:%");
    if (cel.file.empty()) return STATUS_OK;
    while (more(c)) {
        const char ch = *c.at++;
        if (ch == '*' && !read_number(c, cel.palette)) cel.palette = 0;
        if (ch != ':') continue;
        // Set digits up to a "%t" or the end, spaces between them optional; a bare ':' is none.
        cel.sets = 0;
        for (; more(c) && *c.at != '%'; ++c.at)
            if (is_digit(c)) cel.sets |= 1u << (*c.at - '0');
    }
    if (doll.cels.size() == MAX_CEL_LINES) return STATUS_DOLL_TOO_LARGE;
    doll.cels.push_back(cel);
    if (c.end < line_end)
        read_cel_flags({c.end + 1, line_end}, uint32_t(doll.cels.size() - 1), doll);
    return STATUS_OK;
}

// The entries of a set line or of one of its continuation lines: "x,y" or "*" per object.
void parse_positions(Cursor c, SetLine &set) {
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
        if (set.positions.size() < MAX_OBJECTS) set.positions.push_back(p);
    }
}

// Carried from line to line: whether a line starting with a blank continues a set line,
// whether a ";!" line continues a cel line's groups, and the program's lines so far.
struct LineContext {
    bool continuing;
    bool after_cel;
    std::string fkiss;
};

// Where the line's comment starts, or its end.
const char *comment_start(const char *at, const char *end) {
    const void *semicolon = memchr(at, ';', static_cast<size_t>(end - at));
    return semicolon != nullptr ? static_cast<const char *>(semicolon) : end;
}

bool has_control_bytes(const char *at, const char *end) {
    for (; at < end; ++at) {
        const unsigned char ch = static_cast<unsigned char>(*at);
        if (ch < 0x20 && ch != '\t' && ch != '\f') return true;
    }
    return false;
}

// "$g x,y x,y ..."; sets beyond the tenth are no sets.
void parse_set_line(Cursor c, DollConfig &doll, LineContext &context) {
    context.continuing = doll.sets.size() < MAX_SETS;
    if (!context.continuing) return;
    doll.sets.push_back(SetLine{0, {}});
    ++c.at;
    if (!read_number(c, doll.sets.back().group) || doll.sets.back().group < 0)
        doll.sets.back().group = 0;
    parse_positions(c, doll.sets.back());
}

int parse_line(const char *start, const char *end, DollConfig &doll, LineContext &context) {
    const bool fkiss = end - start >= 2 && start[0] == ';' && start[1] == '@';
    if (fkiss) {
        // Its own comments are cut where strings allow; only the text must be text.
        if (has_control_bytes(start, comment_start(start + 2, end)) ||
            memchr(start, 0, static_cast<size_t>(end - start)) != nullptr)
            return STATUS_NOT_DOLL;
        context.fkiss.append(start + 2, end);
        context.fkiss += '\n';
        return STATUS_OK;
    }
    const char *code = start;
    const char *code_end = comment_start(code, end);
    // Comments may hold any byte but NUL; the rest must be text.
    if (has_control_bytes(start, code_end) ||
        memchr(code_end, 0, static_cast<size_t>(end - code_end)) != nullptr)
        return STATUS_NOT_DOLL;
    const bool after_cel = context.after_cel;
    context.after_cel = false;
    if (end - start >= 2 && start[0] == ';' && start[1] == '!' && after_cel) {
        context.after_cel = true;
        read_cel_flags({start + 1, end}, uint32_t(doll.cels.size() - 1), doll);
        return STATUS_OK;
    }
    const Cursor line = {code, code_end};
    if (code == code_end) return STATUS_OK; // comment lines may stand between set lines
    if (is_separator(*code)) {
        if (context.continuing) parse_positions(line, doll.sets.back());
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
    case '#': {
        const size_t before = doll.cels.size();
        const int status = parse_cel_line(line, end, doll);
        context.after_cel = doll.cels.size() > before;
        return status;
    }
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
    doll = DollConfig{448, 320, {}, {}, {}, {}, {}, {}};
    if (size == 0) return compile_fkiss("", doll); // an empty entry may come without a buffer
    const char *at = reinterpret_cast<const char *>(text);
    const char *end = at + size;
    // Everything after a DOS end-of-file mark is not part of the text.
    if (const void *mark = memchr(at, DOS_END_OF_FILE, size)) end = static_cast<const char *>(mark);
    LineContext context = {false, false, {}};
    while (at < end) {
        const char *line_end = at;
        while (line_end < end && *line_end != '\n' && *line_end != '\r')
            ++line_end;
        const int status = parse_line(at, line_end, doll, context);
        if (status != STATUS_OK) return status;
        at = line_end + 1;
    }
    return compile_fkiss(context.fkiss, doll);
}

int check_cnf(const DollConfig &doll) {
    if (doll.width < 1 || doll.height < 1 || doll.width > MAX_PLAYFIELD ||
        doll.height > MAX_PLAYFIELD)
        return STATUS_PLAYFIELD_SIZE;
    return doll.cels.empty() ? STATUS_NO_CEL_LINES : STATUS_OK;
}
