#include "doll/startup.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <unordered_map>

namespace {

// The cel lines of each file (by lower-case name) and of each object, so that every action
// costs only the lines it changes.
struct CelIndex {
    std::unordered_map<std::string, std::vector<uint32_t>> by_file;
    std::unordered_map<int64_t, std::vector<uint32_t>> by_object;
};

void index_cels(const DollConfig &doll, CelIndex &index) {
    for (size_t i = 0; i < doll.cels.size(); ++i) {
        std::string name = doll.cels[i].file;
        for (char &ch : name)
            ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
        index.by_file[name].push_back(static_cast<uint32_t>(i));
        index.by_object[doll.cels[i].object].push_back(static_cast<uint32_t>(i));
    }
}

const std::vector<uint32_t> &cels_of(const CelIndex &index, const Action &action) {
    static const std::vector<uint32_t> none;
    if (action.object >= 0) {
        const auto found = index.by_object.find(action.object);
        return found == index.by_object.end() ? none : found->second;
    }
    const auto found = index.by_file.find(action.file);
    return found == index.by_file.end() ? none : found->second;
}

void move_object(const Action &action, std::vector<Position> &objects) {
    if (action.object < 0 || action.object >= static_cast<int64_t>(MAX_OBJECTS)) return;
    const size_t object = static_cast<size_t>(action.object);
    if (object >= objects.size()) objects.resize(object + 1, Position{0, 0});
    Position &at = objects[object];
    if (action.kind == ActionKind::moveto)
        at = Position{action.x, action.y};
    else
        at = Position{at.x + action.x, at.y + action.y};
}

void run_action(const Action &action, const CelIndex &index, std::vector<bool> &mapped,
                DollView &view) {
    if (action.kind == ActionKind::move || action.kind == ActionKind::moveto) {
        move_object(action, view.objects);
        return;
    }
    for (const uint32_t cel : cels_of(index, action))
        switch (action.kind) {
        case ActionKind::map:
        case ActionKind::unmap:
            mapped[cel] = action.kind == ActionKind::map;
            break;
        case ActionKind::altmap:
            mapped[cel] = !mapped[cel];
            break;
        default: // transparent: clamped after each call, so -255 then 120 sets 120
            view.translucency[cel] =
                static_cast<int>(std::clamp<int64_t>(view.translucency[cel] + action.x, 0, 255));
            break;
        }
}

} // namespace

void run_startup(const DollConfig &doll, int set, DollView &view) {
    const bool defined = set >= 0 && static_cast<size_t>(set) < doll.sets.size();
    view.group = defined ? doll.sets[static_cast<size_t>(set)].group : 0;
    view.objects =
        defined ? doll.sets[static_cast<size_t>(set)].positions : std::vector<Position>();
    view.translucency.resize(doll.cels.size());
    for (size_t i = 0; i < doll.cels.size(); ++i)
        view.translucency[i] = doll.cels[i].translucency;
    std::vector<bool> mapped(doll.cels.size(), true);
    CelIndex index;
    const int events[] = {EVENT_INITIALIZE, EVENT_BEGIN, EVENT_SET_0 + set};
    for (const int event : events) {
        if (event >= STARTUP_EVENTS || event < 0) continue;
        if (!doll.startup[event].empty() && index.by_object.empty()) index_cels(doll, index);
        for (const Action &action : doll.startup[event])
            run_action(action, index, mapped, view);
    }
    view.shown.resize(doll.cels.size());
    for (size_t i = 0; i < doll.cels.size(); ++i)
        view.shown[i] = mapped[i] && set >= 0 && set < MAX_SETS && (doll.cels[i].sets >> set & 1u);
}
