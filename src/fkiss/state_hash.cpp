// The whole state, for finding where a doll starts repeating itself.
#include "fkiss/engine.h"

#include <algorithm>
#include <cstring>

namespace {

// The pending alarms in firing order, as (alarm, time left).
std::vector<std::pair<uint32_t, int64_t>> pending(const FkissState &state) {
    std::vector<std::pair<uint64_t, uint32_t>> order; // sequence, alarm
    std::vector<std::pair<uint32_t, int64_t>> alarms;
    for (uint32_t a = 0; a < state.alarm_due.size(); ++a)
        if (state.alarm_due[a] >= 0) order.emplace_back(state.alarm_sequence[a], a);
    std::sort(order.begin(), order.end(), [&](const auto &x, const auto &y) {
        const int64_t dx = state.alarm_due[x.second], dy = state.alarm_due[y.second];
        return dx != dy ? dx < dy : x.first < y.first;
    });
    for (const auto &entry : order)
        alarms.emplace_back(entry.second, state.alarm_due[entry.second] - state.now);
    return alarms;
}

// FNV-1a over 64-bit words.
struct Hash {
    uint64_t value;
};

void mix(Hash &h, uint64_t word) {
    h.value = (h.value ^ word) * 0x100000001B3u;
    h.value ^= h.value >> 29;
}

template <typename T> void mix_all(Hash &h, const std::vector<T> &items) {
    mix(h, items.size());
    for (const T &item : items)
        mix(h, static_cast<uint64_t>(item));
}

} // namespace

uint64_t hash_fkiss_state(const FkissState &state) {
    Hash h = {0xCBF29CE484222325u};
    mix(h, static_cast<uint64_t>(state.set));
    mix(h, static_cast<uint64_t>(state.group));
    // Map flags and translucency a word at a time.
    for (const std::vector<uint8_t> *bytes : {&state.mapped, &state.translucency}) {
        mix(h, bytes->size());
        for (size_t i = 0; i < bytes->size(); i += 8) {
            uint64_t word = 0;
            memcpy(&word, bytes->data() + i, std::min<size_t>(8, bytes->size() - i));
            mix(h, word);
        }
    }
    for (const auto &places : state.positions)
        for (const Position &p : places)
            mix(h, static_cast<uint64_t>(p.x) * 0x9E3779B1u ^ static_cast<uint64_t>(p.y));
    mix_all(h, state.variables);
    mix_all(h, state.fixes);
    mix_all(h, state.frames);
    for (const auto &alarm : pending(state)) {
        mix(h, alarm.first);
        mix(h, static_cast<uint64_t>(alarm.second));
    }
    return h.value;
}

uint64_t fkiss_state_words(const FkissState &state) {
    uint64_t words = state.mapped.size() / 4 + state.variables.size() + state.fixes.size() +
                     state.frames.size() + state.alarm_due.size() + 8;
    for (const auto &places : state.positions)
        words += places.size();
    return words;
}

bool same_fkiss_state(const FkissState &a, const FkissState &b) {
    if (a.set != b.set || a.group != b.group || a.mapped != b.mapped ||
        a.translucency != b.translucency || a.variables != b.variables || a.fixes != b.fixes ||
        a.frames != b.frames || a.positions.size() != b.positions.size())
        return false;
    for (size_t s = 0; s < a.positions.size(); ++s)
        for (size_t o = 0; o < a.positions[s].size(); ++o)
            if (a.positions[s][o].x != b.positions[s][o].x ||
                a.positions[s][o].y != b.positions[s][o].y)
                return false;
    return pending(a) == pending(b);
}
