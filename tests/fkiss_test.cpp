// A doll's program: tiny CNFs with a few cels (each 10 x 10 here, at its line's "%offset")
// on a 100 x 100 playfield, run to a time, then one thing read back.
#include "common/run_state.h"
#include "common/status.h"
#include "doll/cnf_parse.h"
#include "doll/convert_doll.h"
#include "doll/doll_animation.h"
#include "fkiss/state.h"
#include "support.h"

#include <gif_lib.h>

namespace {

struct DollRun {
    DollConfig doll;
    CelShapes shapes;
    FkissState state;
};

void start(DollRun &run, const std::string &cnf, int set = 0, uint32_t seed = 1) {
    const std::string text = "(100,100)\n" + cnf;
    ASSERT_EQ(
        parse_cnf(reinterpret_cast<const unsigned char *>(text.data()), text.size(), run.doll),
        STATUS_OK);
    for (const CelLine &line : run.doll.cels)
        run.shapes.boxes.push_back(CelBox{line.offset_x, line.offset_y, 10, 10});
    start_fkiss(run.doll, run.shapes, set, seed, run.state);
}

// "map": every cel line's map flag; "t": translucencies; "#n": object n's place; "set": the
// set and palette group; "a:n": alarm n's time left; "stop": whether a bound stopped it;
// anything else a variable's value.
std::string probe(DollRun &run, const std::string &what) {
    const FkissState &s = run.state;
    std::string out;
    if (what == "map") {
        for (const uint8_t m : s.mapped)
            out += static_cast<char>('0' + m);
        return out;
    }
    if (what == "t") {
        for (const uint8_t t : s.translucency)
            out += (out.empty() ? "" : " ") + std::to_string(t);
        return out;
    }
    if (what[0] == '#') {
        const Position p = object_position(s, std::stoi(what.substr(1)));
        return std::to_string(p.x) + "," + std::to_string(p.y);
    }
    if (what == "set") return std::to_string(s.set) + "/" + std::to_string(s.group);
    if (what == "stop") return s.exhausted ? "exhausted" : s.capped ? "capped" : "no";
    if (what.rfind("a:", 0) == 0) {
        const auto found = run.doll.program.alarm_of_number.find(std::stoi(what.substr(2)));
        if (found == run.doll.program.alarm_of_number.end()) return "none";
        const int64_t due = s.alarm_due[found->second];
        return due < 0 ? "idle" : std::to_string(due - s.now);
    }
    const auto &names = run.doll.program.variable_names;
    const auto found = std::find(names.begin(), names.end(), what);
    return found == names.end() ? "?" : std::to_string(s.variables[found - names.begin()]);
}

struct Row {
    const char *cnf;
    int64_t time;
    const char *what, *expected, *reason;
};

void check(const Row *rows, size_t count, int set = 0) {
    for (size_t i = 0; i < count; ++i) {
        const Row &row = rows[i];
        DollRun run;
        start(run, row.cnf, set);
        advance_fkiss(run.state, row.time);
        EXPECT_EQ(probe(run, row.what), row.expected) << row.reason << "\n" << row.cnf;
    }
}

const char *const TWO = "%p.kcf\n#0 a.cel\n#1 b.cel\n$0 0,0 50,0\n";

TEST(Fkiss, TimersAndSameInstantOrder) {
    const std::string counter = "%p.kcf\n#0 a.cel\n;@begin() timer(1,100)\n"
                                ";@alarm(1) add(n,n,1) timer(1,100)\n";
    const std::string both = "%p.kcf\n#0 a.cel\n;@begin() timer(2,50) timer(1,50)\n"
                             ";@alarm(1) add(o,o,1) mul(o,o,10)\n;@alarm(2) add(o,o,2) "
                             "mul(o,o,10)\n";
    const Row rows[] = {
        {counter.c_str(), 1000, "n", "10", "a 100 ms alarm re-armed fires ten times in 1 s"},
        {counter.c_str(), 999, "n", "9", "no early firing: the tenth is due at 1000"},
        {counter.c_str(), 1050, "a:1", "50", "no drift: due again exactly at 1100"},
        {both.c_str(), 50, "o", "210", "same instant: the one armed first (2) fires first"},
        {"%p.kcf\n#0 a.cel\n;@begin() timer(1,50) timer(2,50)\n;@alarm(1) timer(2,0) let(a,1)\n"
         ";@alarm(2) let(a,2)\n",
         50, "a", "1", "an alarm cancelled by an earlier one at that instant does not fire"},
        {"%p.kcf\n#0 a.cel\n;@begin() timer(1,50) timer(2,50)\n;@alarm(1) timer(2,30)\n"
         ";@alarm(2) add(a,a,1)\n",
         79, "a", "0", "one re-armed at that instant waits for its new time"},
        {"%p.kcf\n#0 a.cel\n;@begin() timer(1,50) timer(2,50)\n;@alarm(1) timer(2,30)\n"
         ";@alarm(2) add(a,a,1)\n",
         80, "a", "1", "and then fires once"},
        {"%p.kcf\n#0 a.cel\n;@begin() timer(1,100) timer(1,300)\n", 100, "a:1", "200",
         "a pending timer is replaced, not doubled"},
        {"%p.kcf\n#0 a.cel\n;@begin() timer(1,100) timer(1,-5)\n", 0, "a:1", "idle",
         "a negative delay cancels"},
        {"%p.kcf\n#0 a.cel\n;@begin() randomtimer(1,70,0)\n", 0, "a:1", "70",
         "randomtimer draws from d to d + r"},
        {"%p.kcf\n#0 a.cel ;%u\n;@begin() ifmapped(\"a.cel\",1,10) ifnotmapped(\"a.cel\",2,10)\n",
         0, "a:1", "idle", "ifmapped sets no timer for a cel that %u hides"},
        {"%p.kcf\n#0 a.cel ;%u\n;@begin() ifmapped(\"a.cel\",1,10) ifnotmapped(\"a.cel\",2,10)\n",
         0, "a:2", "10", "ifnotmapped does"},
        {"%p.kcf\n#0 a.cel\n;@begin() ifmapped(\"a.cel\",1,10)\n", 0, "a:1", "10",
         "and ifmapped does for a mapped one"},
        {"%p.kcf\n#0 a.cel\n;@begin() let(o,0) setfix(o,5)\n;@alarm(0) let(x,1)\n", 0, "a:0",
         "idle", "setfix of the object a variable holds sets no timer"},
        {"%p.kcf\n#0 a.cel\n;@begin() timer(1,2) timer(2,2)\n;@alarm(1) timer(1,2) "
         "gosubrandom(100,1,2) gosubrandom(0,2,1) gotorandom(100,1,2)\n;@alarm(2) timer(2,2) "
         "gotorandom(0,2,1)\n;@label(1) add(n,n,1)\n;@label(2) add(m,m,1)\n",
         2000, "m", "0", "a chance of 100 always takes the first label, one of 0 never"},
        {"%p.kcf\n#0.5 a.cel\n#1 b.cel\n;@begin() iffixed(#0,1,10) iffixed(#1,2,10)\n", 0, "a:2",
         "idle", "iffixed needs a fix value above 0"},
        {"%p.kcf\n#0.5 a.cel\n;@begin() iffixed(#0,1,10)\n", 0, "a:1", "10", "#0.5 is fixed"},
        {"%p.kcf\n#0 a.cel\n$0 5,5\n;@begin() move(#0,1,0) ifmoved(#0,1,10)\n", 0, "a:1", "10",
         "ifmoved: the object left its set-line place"},
        {"%p.kcf\n#0 a.cel\n;@begin() timer(Blink,40)\n;@alarm(blink) let(a,7)\n", 40, "a", "7",
         "named alarms, compared without case"},
        {"%p.kcf\n#0 a.cel\n;@begin() let(v,3) timer(v,40)\n;@alarm(3) let(a,7)\n", 40, "a", "7",
         "a name that is no alarm but a variable stands for its value"},
    };
    check(rows, std::size(rows));
}

TEST(Fkiss, ConditionsAndBlocks) {
    const Row rows[] = {
        {";@begin() ifequal(1,1) let(a,1) else() let(a,2) endif()\n", 0, "a", "1",
         "a true branch runs, else does not"},
        {";@begin() ifequal(1,2) let(a,1) elseifequal(2,2) let(a,2) else() let(a,3) endif()\n", 0,
         "a", "2", "the first true elseif"},
        {";@begin() ifequal(1,1) let(a,1) elseifequal(2,2) let(a,2) endif()\n", 0, "a", "1",
         "only the first true branch runs"},
        {";@begin() ifequal(1,2) let(a,1) elseifequal(1,3) let(a,2) else() let(a,3) endif()\n", 0,
         "a", "3", "else when nothing holds"},
        {";@begin() iflessthan(1,2) let(a,1) endif() ifgreaterthan(1,2) let(a,2) endif()\n", 0, "a",
         "1", "less and greater"},
        {";@begin() ifequal(1,2) let(a,1) ifequal(1,1) let(b,1)\n", 0, "b", "1",
         "an if met while a block is open closes it (real dolls leave out endif)"},
        {";@begin() ifequal(1,2) let(a,1) ifequal(1,1) let(b,1)\n", 0, "a", "0",
         "and the first block's false branch still does not run"},
        {";@begin() ifequal(1,2) let(a,1) endif() let(b,5)\n", 0, "b", "5",
         "actions after endif always run"},
        {";@begin() ifequal(1,1) let(a,1) else let(a,2) endif let(b,5)\n", 0, "b", "5",
         "else and endif written without parentheses, as real dolls do"},
        {";@begin() ifequal(1,1) let(a,1) else let(a,2) endif let(b,5)\n", 0, "a", "1",
         "and the bare else's branch does not run"},
        {";@begin() ifnotequal(x,0) let(a,1) endif()\n", 0, "a", "0", "variables start at 0"},
        {";@begin() ifgreaterthan(2,2) let(a,1) endif() iflessthan(2,2) add(a,a,2) endif()\n", 0,
         "a", "0", "neither greater nor less at equal values"},
        {"#1 b.cel ;%u\n;@begin() ifmapped(\"b.cel\") let(a,1) else() let(a,2) endif()\n", 0, "a",
         "2", "ifmapped with one argument opens a block"},
        {";@begin() else() let(a,4) endif() let(b,1)\n", 0, "a", "4",
         "a stray else outside a block goes on"},
    };
    std::vector<Row> table(std::begin(rows), std::end(rows));
    std::vector<std::string> texts;
    for (Row &row : table)
        texts.push_back(std::string("%p.kcf\n#0 a.cel\n") + row.cnf);
    for (size_t i = 0; i < table.size(); ++i)
        table[i].cnf = texts[i].c_str();
    check(table.data(), table.size());
}

TEST(Fkiss, VariablesAndLabels) {
    const std::string cel = "%p.kcf\n#0 a.cel\n";
    const std::string texts[][4] = {
        {";@begin() add(a,7,5) sub(b,a,20) mul(c,b,3) div(d,c,5)\n", "d", "-4",
         "add, sub, mul, div (truncating) chain through variables"},
        {";@begin() div(a,-7,2) \n", "a", "-3", "division truncates toward 0"},
        {";@begin() mod(a,-7,2)\n", "a", "-1", "mod is the truncating division's remainder"},
        {";@begin() let(a,9) div(a,5,0)\n", "a", "0", "division by zero gives 0"},
        {";@begin() div(a,5,0)\n;@overflow() let(o,1)\n", "o", "1", "and runs overflow()"},
        {";@begin() let(a,1000000000) mul(a,a,5)\n", "a", "705032704", "32-bit arithmetic wraps"},
        {";@begin() sub(a,-1000000000,1000000000) sub(a,a,1000000000)\n", "a", "1294967296",
         "wraps below -2^31 too"},
        {";@begin() gosub(1) let(b,2)\n;@label(1) let(a,1)\n", "b", "2",
         "gosub comes back to its caller"},
        {";@begin() goto(1) let(b,2)\n;@label(1) let(a,1)\n", "b", "0", "goto does not"},
        {";@begin() goto(1)\n;@label(1) let(a,1)\n", "a", "1", "goto runs the label"},
        {";@begin() let(a,1) exitevent() let(a,2)\n", "a", "1", "exitevent ends the block"},
        {";@begin() gosub(1) let(b,3)\n;@label(1) let(a,1) exitevent() let(a,2)\n", "b", "3",
         "exitevent in a label returns to the caller"},
        {";@begin() gosub(Here)\n;@label(here) let(a,6)\n", "a", "6", "named labels"},
        {";@begin() gosub(1)\n;@label(1) add(n,n,1) gosub(1)\n", "n", "9",
         "events nest at most 10 deep: begin() and nine labels"},
        {";@begin() let(A,2)\n;@begin() add(a,a,1)\n", "a", "3",
         "two begin() blocks both run, in file order; names without case"},
        {";@initialize() let(a,1)\n;@set(0) mul(a,a,10)\n;@begin() add(a,a,2)\n", "a", "30",
         "initialize(), then begin(), then set(0), whatever the file order"},
        {";@begin() letset(s) letpal(p) add(a,s,p)\n", "a", "0", "the set and its group"},
        {";@begin() lettimer(a,1) timer(1,80) lettimer(b,1)\n;@alarm(1)\n", "b", "80",
         "lettimer: ms left, 0 when idle"},
        {";@begin() letmousex(a) add(a,a,1) letcatch(a)\n", "a", "0",
         "nobody touches the doll: the pointer and catch are 0"},
        {";@begin() press(#0) let(a,1)\n;@begin() add(b,a,5)\n", "b", "5",
         "an event ends the actions before it: press() never runs"},
        {";@begin() frobnicate(1) let(a,3) ; let(a,4)\n", "a", "3",
         "unknown actions are ignored; ';' starts a comment"},
        // SplitMix64 from seed 1: its first two outputs are 465 and 519 modulo 1000.
        {";@begin() random(a,0,999) random(b,1000,1999) mul(a,a,10000) add(a,a,b)\n", "a",
         "4651519", "the documented generator, a number from a to b"},
        {";@begin() random(a,3,3) random(b,9,7)\n", "a", "3", "both ends included"},
    };
    for (const auto &t : texts) {
        DollRun run;
        start(run, cel + t[0]);
        EXPECT_EQ(probe(run, t[1]), t[2]) << t[3] << "\n" << t[0];
    }
    DollRun seeded;
    start(seeded, cel + ";@begin() random(a,0,999)\n", 0, 7);
    EXPECT_EQ(probe(seeded, "a"), "487") << "--seed 7 starts the generator from 7";
}

TEST(Fkiss, MapGroupsAndSetframe) {
    const std::string frames = "%p.kcf\n#0 a.cel ;!g :0\n#0 b.cel ;!G :1 2\n#0 c.cel ;!g\n";
    const std::string texts[][4] = {
        {frames + ";@begin() setframe(!g,1)\n", "map", "011",
         "members that list the frame are mapped, others unmapped, those without frames left"},
        {frames + ";@begin() unmap(#0) setframe(!g,2)\n", "map", "010",
         "a member of frames 1 and 2 shows in frame 2"},
        {frames + ";@begin() setframe(!g,2) letframe(f,!g)\n", "f", "2", "letframe"},
        {frames + ";@begin() setframe(#0,1)\n", "map", "111", "an object is no group to set"},
        {frames + ";@begin() unmap(!g)\n", "map", "000", "map and unmap reach a group"},
        {"%p.kcf\n#0 a.cel\n;!g :3\n#1 b.cel\n;@begin() setframe(!g,4)\n", "map", "01",
         "a \";!\" line right after a cel line gives it groups"},
        {"%p.kcf\n#0 a.cel ;%u\n#1 b.cel ;%U\n#2 c.cel\n", "map", "001", "%u cels start unmapped"},
        {"%p.kcf\n#0 a.cel\n#1 a.cel\n#2 b.cel\n;@begin() unmap(\"A.CEL\") altmap(#2)\n", "map",
         "000", "a file name reaches every line of it; altmap flips"},
        {"%p.kcf\n#0 a.cel\n#1 b.cel\n;@begin() let(o,1) unmap(o)\n", "map", "10",
         "a variable holding an object number"},
        {"%p.kcf\n#0 a.cel ;%t90\n;@begin() transparent(#0,-255) transparent(\"a.cel\",120)\n", "t",
         "120", "transparent clamps after each call"},
        {"%p.kcf\n#0 a.cel\n#1 b.cel\n;@begin() transparent(#1,5) lettransparent(x,\"a.cel\") "
         "lettransparent(u,#0) lettransparent(v,\"b.cel\") add(x,x,v)\n",
         "x", "5", "lettransparent"},
        {"%p.kcf\n#0 a.cel\n#0 b.cel ;%u\n;@begin() letmapped(m,#0)\n", "m", "1",
         "letmapped of an object counts its mapped cels"},
        {"%p.kcf\n#0 a.cel\n$0 0,0\n$3 1,1\n;@begin() changeset(1)\n;@set(1) let(s,5)\n", "s", "5",
         "changeset runs set(n)"},
        {"%p.kcf\n#0 a.cel\n$0 0,0\n$3 1,1\n;@begin() changeset(1)\n", "set", "1/3",
         "and shows that set's palette group"},
        {"%p.kcf\n#0 a.cel\n$0 0,0\n;@begin() changeset(4) changecol(2)\n;@col(2) let(c,1)\n",
         "set", "0/2", "a set the doll lacks is not shown; changecol sets the group"},
        {"%p.kcf\n#0 a.cel\n$0 0,0\n;@begin() changecol(2)\n;@col(2) let(c,1)\n", "c", "1",
         "changecol runs col(n)"},
    };
    for (const auto &t : texts) {
        DollRun run;
        start(run, t[0]);
        EXPECT_EQ(probe(run, t[1]), t[2]) << t[3] << "\n" << t[0];
    }
}

// Each move records which events fired as digits: apart 1, in 2, stillin 3, out 4,
// stillout 5, collide 6.
TEST(Fkiss, CollisionsFromMovesAndClamping) {
    const std::string events = ";@apart(#0,#1) mul(e,e,10) add(e,e,1)\n"
                               ";@in(#0,#1) mul(e,e,10) add(e,e,2)\n"
                               ";@stillin(#0,#1) mul(e,e,10) add(e,e,3)\n"
                               ";@out(#0,#1) mul(e,e,10) add(e,e,4)\n"
                               ";@stillout(#0,#1) mul(e,e,10) add(e,e,5)\n"
                               ";@collide(#0,#1) mul(e,e,10) add(e,e,6)\n";
    const std::string two = TWO + events;
    const std::string texts[][4] = {
        {two + ";@begin() moveto(#0,45,0)\n", "e", "236", "in, stillin, collide in that order"},
        {two + ";@begin() moveto(#0,40,0)\n", "e", "5", "touching edges share no pixel: still out"},
        {two + ";@begin() moveto(#0,41,9)\n", "e", "236", "one shared pixel is overlap"},
        {two + ";@begin() moveto(#0,45,0) move(#0,0,0)\n", "e", "2363",
         "a move that ends where it began still checks"},
        {two + ";@begin() moveto(#0,45,0) moveto(#0,0,0)\n", "e", "236145",
         "apart first, then out, then stillout"},
        {two + ";@begin() moveto(#1,5,0)\n", "e", "236", "moving either side checks"},
        {std::string("%p.kcf\n#0 a.cel\n#0 b.cel\n;@stillin(\"a.cel\",\"b.cel\") let(e,2)\n"
                     ";@begin() move(#0,1,0)\n"),
         "e", "0", "cels of one object are never compared"},
        {two + ";@begin() unmap(#1) moveto(#0,45,0)\n", "e", "5", "unmapped cels do not count"},
        {two + ";@begin() moveto(#0,45,0) unmap(#1) map(#1)\n", "e", "236",
         "map changes fire nothing"},
        {std::string("%p.kcf\n#0 a.cel\n#1 b.cel :1\n$0 0,0 50,0\n") + events +
             ";@begin() moveto(#0,45,0)\n",
         "e", "5", "cels outside the set do not count"},
        {std::string("%p.kcf\n#0 a.cel\n#1 b.cel\n#2 c.cel\n$0 0,0 50,0 70,0\n;@in(#0,#2) "
                     "let(w,1)\n;@begin() moveto(#1,65,0)\n"),
         "w", "0", "only events naming a cel of the moved object are checked"},
        {std::string("%p.kcf\n#0 a.cel\n#1 b.cel\n$0 0,0 90,0\n;@in(#0,#1) movebyx(#0,#1,-90)\n"
                     ";@begin() timer(1,10)\n;@alarm(1) move(#0,5,0) timer(1,10)\n"),
         "#0", "80,0",
         "a plane wraps round through in(): at 85 back to 0, twice in 50 moves, then 16 more"},
        {TWO + std::string(";@begin() move(#0,200,0)\n"), "#0", "90,0",
         "moves keep the object on the playfield"},
        {TWO + std::string(";@begin() moveto(#0,-50,300)\n"), "#0", "0,90", "on both axes"},
        {TWO + std::string(";@begin() move(#0,200,0,\"unconstrain\")\n"), "#0", "200,0",
         "\"unconstrain\" lifts the limit"},
        {"%p.kcf\n#0 a.cel ;%offset[5,0]\n;@begin() moveto(#0,-20,0)\n", "#0", "-5,0",
         "the box is the cels' own, %offset included"},
        {"%p.kcf\n#0 a.cel\n#0 b.cel ;%offset[140,0]\n;@begin() moveto(#0,20,0)\n", "#0", "0,0",
         "an object wider than the playfield keeps covering it"},
        {"%p.kcf\n#0 a.cel\n#0 b.cel ;%offset[140,0]\n;@begin() moveto(#0,-70,0)\n", "#0", "-50,0",
         "from either side"},
        {"%p.kcf\n#0 a.cel\n#0 b.cel :1 ;%offset[40,0]\n;@begin() move(#0,95,0)\n", "#0", "90,0",
         "only cels in the set make the box"},
        {TWO + std::string(";@begin() movebyx(#0,#1,5) movebyy(#1,#0,7)\n"), "#1", "50,7",
         "movebyx and movebyy"},
        {"%p.kcf\n#0 a.cel\n$0 0,50\n;@begin() moverandx(#0,10,10)\n", "#0", "10,50",
         "moverandx leaves y as it was"},
        {TWO + std::string(";@begin() move(\"gone.cel\",10,0)\n"), "#0", "0,0",
         "a cel name no line has moves nothing"},
        {TWO + std::string(";@begin() movebyx(#0,#1,5) letobjectx(x,#0) letinitx(i,#1) "
                           "letobjectw(w,#0) add(r,x,i) add(r,r,w)\n"),
         "r", "115", "reading places and widths"},
        {"%p.kcf\n#0 a.cel\n#0 b.cel ;%offset[0,10]\n;@begin() letobjectw(w,#0) letobjecth(h,#0) "
         "mul(h,h,100) add(r,h,w)\n",
         "r", "2010", "an object 10 wide and 20 tall"},
    };
    for (const auto &t : texts) {
        DollRun run;
        start(run, t[0]);
        advance_fkiss(run.state, 500);
        EXPECT_EQ(probe(run, t[1]), t[2]) << t[3] << "\n" << t[0];
    }
}

// collide() and apart() compare solid pixels: a's left half and b's right half.
TEST(Fkiss, CollideComparesPixels) {
    const std::string events = ";@in(#0,#1) let(i,1)\n;@collide(#0,#1) let(c,1)\n"
                               ";@apart(#0,#1) let(p,1)\n";
    const std::string texts[][4] = {
        {";@begin() moveto(#1,0,0)\n", "i", "1", "the rectangles overlap: in()"},
        {";@begin() moveto(#1,0,0)\n", "c", "0", "but no solid pixel is shared: no collide()"},
        {";@begin() moveto(#1,-1,0,\"unconstrain\")\n", "c", "1",
         "one shared solid column collides"},
        {";@begin() moveto(#1,-1,0,\"unconstrain\") moveto(#1,0,0)\n", "p", "1",
         "and moving off it is apart()"},
    };
    for (const auto &t : texts) {
        DollRun run;
        const std::string text = std::string("(100,100)\n") + TWO + events + t[0];
        ASSERT_EQ(
            parse_cnf(reinterpret_cast<const unsigned char *>(text.data()), text.size(), run.doll),
            0);
        run.shapes.boxes.assign(2, CelBox{0, 0, 10, 10});
        run.shapes.masks.assign(2, std::vector<uint8_t>(100, 0));
        for (int k = 0; k < 100; ++k)
            run.shapes.masks[k % 10 < 5 ? 0 : 1][k] = 1;
        start_fkiss(run.doll, run.shapes, 0, 1, run.state);
        EXPECT_EQ(probe(run, t[1]), t[2]) << t[3];
    }
}

// Programs that would run for ever are stopped, and say so.
TEST(Fkiss, HostileProgramsAreBounded) {
    std::string crowd; // two objects of 300 cels each, compared after every move
    for (int k = 0; k < 600; ++k)
        crowd += "#" + std::to_string(k % 2) + " c.cel\n";
    const std::string texts[][4] = {
        {crowd + ";@in(#0,#1) let(i,1)\n;@begin() timer(1,1)\n;@alarm(1) timer(1,1) move(#0,0,0)\n",
         "stop", "exhausted", "collision checks count as work: 90,000 cel pairs every 1 ms"},
        {";@begin() goto(1)\n;@label(1) add(n,n,1) goto(1)\n", "stop", "capped",
         "a goto loop stops at the instant's cap"},
        {";@begin() gosub(1)\n;@label(1) add(n,n,1) gosub(1) gosub(1)\n", "n", "511",
         "a gosub tree stops ten deep: nine levels of labels, 511 in all"},
        {";@begin() timer(1,1)\n;@alarm(1) timer(1,1) goto(2)\n;@label(2) add(n,n,1) goto(2)\n",
         "stop", "exhausted", "a loop every 1 ms stops the whole program at the run's cap"},
        {";@begin() timer(1,1)\n;@alarm(1) timer(1,1) add(n,n,1)\n", "n", "600000",
         "an alarm every 1 ms for 600 s runs, within the bounds"},
    };
    for (const auto &t : texts) {
        DollRun run;
        start(run, std::string("%p.kcf\n#0 a.cel\n") + t[0]);
        advance_fkiss(run.state, 600000);
        EXPECT_EQ(probe(run, t[1]), t[2]) << t[3];
        EXPECT_LE(run.state.heap.size(), 64u + 2 * run.state.alarm_due.size()) << t[3];
    }
}

TEST(Fkiss, StartUpPerSet) {
    const char *cnf = "%p.kcf\n#0 a.cel :0\n#1 b.cel :1\n$0 0,0 0,0\n$2 5,5 6,6\n"
                      ";@set(1) unmap(#0) move(#1,1,1)\n;@set(0) unmap(#1)\n";
    const Row rows[] = {
        {cnf, 0, "map", "01", "set(1) runs for set 1 only"},
        {cnf, 0, "#1", "7,7", "moves belong to the set shown"},
        {cnf, 0, "set", "1/2", "the set's group"},
    };
    check(rows, std::size(rows), 1);
    DollConfig doll;
    const std::string blink = "%p.kcf\n#0 a.cel\n$0 0,0\n$0 0,0\n;@set(1) timer(1,10)\n";
    ASSERT_EQ(parse_cnf(reinterpret_cast<const unsigned char *>(blink.data()), blink.size(), doll),
              0);
    EXPECT_FALSE(doll_animates(doll, 0)) << "set 0 starts no timer";
    EXPECT_TRUE(doll_animates(doll, 1)) << "set 1 does";
}

// The stretch an animation holds, worked out from the alarms.
TEST(Fkiss, LoopDetection) {
    const std::string cel = "%p.kcf\n#0 a.cel\n";
    const struct {
        std::string program;
        AnimationSpan span;
        int64_t limit;
        const char *reason;
    } rows[] = {
        {";@begin() timer(1,100)\n;@alarm(1) altmap(#0) timer(1,100)\n",
         {0, 200, true},
         5000,
         "a 100 ms blink repeats the start after 200 ms"},
        // At 3000 the cel shows with alarm 2 150 ms away; so again at 9650, 16300, ...: a
        // period of 6650 ms, which the 20 ms grid meets in phase every 13300 ms.
        {";@begin() timer(1,3000)\n;@alarm(1) map(#0) timer(2,150)\n;@alarm(2) unmap(#0) "
         "timer(3,6500)\n;@alarm(3) map(#0) timer(2,150)\n",
         {3000, 16300, true},
         20000,
         "aurora's blink"},
        {";@begin() timer(1,100)\n;@alarm(1) add(n,n,1) timer(1,100)\n",
         {0, 5000, false},
         5000,
         "a counter never repeats: the first N seconds"},
        {";@begin() timer(1,100)\n;@alarm(1) random(n,0,1) timer(1,100)\n",
         {0, 5000, false},
         5000,
         "randomness claims no loop"},
        {";@begin() timer(1,100)\n;@alarm(1) unmap(#0)\n",
         {0, 5000, false},
         5000,
         "alarms that run out: the doll comes to rest, the first N seconds"},
        {";@begin() unmap(#0)\n", {0, 0, false}, 5000, "no timer after start-up: a still"},
        {";@begin() timer(1,100)\n;@alarm(1) move(#0,60,0) timer(1,100)\n",
         {800, 900, true},
         5000,
         "only the place differs until the edge of the 448-wide playfield stops the cel at 438"},
    };
    for (const auto &row : rows) {
        DollConfig doll;
        const std::string text = cel + row.program;
        ASSERT_EQ(
            parse_cnf(reinterpret_cast<const unsigned char *>(text.data()), text.size(), doll), 0);
        CelShapes shapes;
        shapes.boxes.push_back(CelBox{0, 0, 10, 10});
        const AnimationSpan span = find_animation_span(doll, shapes, 0, 1, row.limit);
        EXPECT_EQ(span.start, row.span.start) << row.reason;
        EXPECT_EQ(span.end, row.span.end) << row.reason;
        EXPECT_EQ(span.loops, row.span.loops) << row.reason;
    }
}

using DollAnimation = TempDirTest;

// The masks come from the cels' own pixels: index 0 is clear. half.cel is solid only in its
// right half; collide() shows the marker cel at the top-left pixel.
TEST_F(DollAnimation, CollideReadsTheCelsPixels) {
    Bytes p(48, 0);
    p[3] = 255;
    write_file(path("p.kcf"), palette_file(24, 16, p));
    write_file(path("a.cel"), cel_file(4, 4, 2, Bytes(4, 0x11)));
    write_file(path("half.cel"), cel_file(4, 4, 2, {0x00, 0x11, 0x00, 0x11}));
    write_file(path("half8.cel"), cel_file(8, 4, 2, {0, 0, 1, 1, 0, 0, 1, 1}));
    write_file(path("m.cel"), cel_file(4, 1, 1, {0x10}));
    const std::string rows[][4] = {
        {".cel", "moveto(#1,0,3)", "ff0000", "half.cel's solid columns 2 and 3 lie on a.cel"},
        {".cel", "moveto(#1,4,3)", "000000", "only its clear columns do"},
        {".cel ;%offset[-4,0]", "moveto(#1,4,3)", "ff0000",
         "the line's offset moves the solid columns onto a.cel"},
        {"8.cel", "moveto(#1,4,3)", "000000", "at 8 bits too, index 0 clear and 1 solid"},
    };
    for (const auto &row : rows) {
        write_file(path("d.cnf"), text("(20,10)\n%p.kcf\n#2 m.cel ;%u\n#0 a.cel\n#1 half" + row[0] +
                                       "\n$0 2,3 12,3 0,0\n"
                                       ";@collide(#0,#1) map(#2)\n;@begin() " +
                                       row[1] + "\n"));
        run_state.output_name = path("d.gif");
        run_state.outputs_written.clear(); // each row is a run of its own
        FILE *input = fopen(path("d.cnf").c_str(), "rb");
        ASSERT_EQ(convert_doll(input, path("d.cnf").c_str(), 0), STATUS_OK);
        fclose(input);
        EXPECT_EQ(colours_of(path("d.gif"), " ").substr(0, 6), row[2]) << row[3];
    }
}

// A 4 x 2 dot on a 20 x 10 playfield, written as an animation and read back.
TEST_F(DollAnimation, FramesRectanglesAndDelays) {
    Bytes p(48, 0);
    p[3] = 255, p[7] = 255;
    write_file(path("p.kcf"), palette_file(24, 16, p));
    write_file(path("a.cel"), cel_file(4, 4, 2, Bytes(4, 0x11)));
    const std::string head = "(20,10)\n%p.kcf\n#0 a.cel\n$0 2,3\n";
    // Each frame "left,top,wxh/delay" as a player reads it, "loop" first when it loops.
    const struct {
        std::string program;
        int seconds;
        const char *frames, *reason;
    } rows[] = {
        {";@begin() timer(1,100)\n;@alarm(1) altmap(#0) timer(1,100)\n", 30,
         "loop 0,0,20x10/10 2,3,4x2/10",
         "a blink: the whole first picture, then only the dot's rectangle, 100 ms each"},
        {";@begin() moveto(#0,2,8) timer(1,100)\n;@alarm(1) altmap(#0) timer(1,100)\n", 30,
         "loop 0,0,20x10/10 2,8,4x2/10", "a blink in the last rows of the picture"},
        {";@begin() timer(1,30)\n;@alarm(1) move(#0,1,0)\n", 1, "loop 0,0,20x10/4 2,3,5x2/96",
         "a move at 30 ms shows from the 40 ms grid time; the last frame lasts to N"},
        {";@begin() timer(1,2)\n;@alarm(1) add(n,n,1) timer(1,2)\n", 1, "0,0,20x10/-",
         "alarms that change nothing drawn write no frames: a still"},
        {";@begin() unmap(#0)\n", 5, "0,0,20x10/-", "no timers: one frame, the still"},
    };
    for (const auto &row : rows) {
        write_file(path("d.cnf"), text(head + row.program));
        run_state.animate_seconds = row.seconds;
        run_state.seed = 1;
        run_state.output_name = path("d.gif");
        run_state.outputs_written.clear(); // each row is a run of its own
        FILE *input = fopen(path("d.cnf").c_str(), "rb");
        ASSERT_EQ(convert_doll(input, path("d.cnf").c_str(), 0), STATUS_OK) << row.reason;
        fclose(input);
        Played played;
        EXPECT_TRUE(play(path("d.gif"), played)) << row.reason;
        played.frames.erase(std::remove(played.frames.begin(), played.frames.end(), '*'),
                            played.frames.end()); // transparency is the writer's choice
        EXPECT_EQ(played.frames, row.frames) << row.reason;
    }
}

#ifdef QUONDEL_REAL_DOLLS
// aurora's set 1 blinks: closed at 3000 ms for 150, open for 6500, closed for 150... On the
// 20 ms grid the eyes close from 3000 to 3160 and from 9660 to 9800; the state at 16300 is
// the state at 3000, so the GIF holds those 13.3 s and loops.
TEST_F(DollAnimation, RealDollBlinks) {
    const std::string doll = QUONDEL_REAL_DOLLS "/aurora.lzh";
    if (!fs::exists(doll)) GTEST_SKIP() << "no " << doll;
    fs::copy_file(doll, path("aurora.lzh"));
    ASSERT_EQ(run_quondel(dir, {"-a", "60", "-s", "1", "aurora.lzh"}).err, "");
    Played played;
    EXPECT_TRUE(play(path("aurora-1.gif"), played));
    EXPECT_EQ(played.delays, std::vector<int>({16, 650, 14, 650}));
    EXPECT_EQ(played.frames.rfind("loop", 0), 0u);
}
#endif

} // namespace
