// Where to clear the table. A greedy pass that clears whenever the table fills finds the
// table's lives; candidate clear points are spread over each life; a greedy trial from every
// candidate, with a fresh table kept full after it fills, measures the bits to each later
// candidate it reaches; the cheapest chain of such segments is the plan.
#include "encode/lzw.h"
#include "encode/lzw_table.h"

#include <algorithm>
#include <memory>
#include <thread>

namespace {

// A trial's bits up to a later candidate, and the width a clear code there would take.
struct Mark {
    uint32_t candidate;
    uint32_t width;
    uint64_t bits;
};

// Greedy codes with a clear whenever the table fills: where the clears fall.
std::vector<size_t> greedy_fills(const unsigned char *pixels, size_t count, int code_size,
                                 LzwTable &table) {
    std::vector<size_t> fills;
    clear_table(table);
    CodeCount counted = first_count(code_size);
    uint32_t code = pixels[0];
    for (size_t at = extend_match(table, code, pixels, 1, count); at < count;
         at = extend_match(table, code, pixels, at + 1, count)) {
        add_code(table, code, pixels[at], counted.next);
        count_code(counted);
        if (table_full(counted)) {
            fills.push_back(at);
            clear_table(table);
            counted = first_count(code_size);
        }
        code = pixels[at];
    }
    return fills;
}

// Candidates: `candidates_per_life` to each life the greedy pass found (a partial last life
// takes the spacing of the one before), never closer than `min_spacing`; then the end.
std::vector<size_t> candidates(const std::vector<size_t> &fills, size_t count,
                               const LzwChoices &choices) {
    std::vector<size_t> at;
    size_t begin = 0, spacing = 0;
    for (size_t life = 0; life <= fills.size(); ++life) {
        const size_t end = life < fills.size() ? fills[life] : count;
        if (life < fills.size() || spacing == 0)
            spacing = (end - begin) / static_cast<size_t>(choices.candidates_per_life);
        spacing = std::max(spacing, choices.min_spacing);
        for (size_t p = begin; p < end; p += spacing)
            at.push_back(p);
        begin = end;
    }
    at.push_back(count);
    return at;
}

// Greedy codes from candidate `first` with a fresh table, kept full once it fills, until a
// given part of its life past the fill (or the cap, or the end); marks every candidate passed.
void run_trial(const unsigned char *pixels, size_t count, int code_size,
               const std::vector<size_t> &at, size_t first, const LzwChoices &choices,
               LzwTable &table, std::vector<Mark> &marks) {
    const size_t start = at[first], cap = std::min(count, start + choices.trial_cap);
    clear_table(table);
    CodeCount counted = first_count(code_size);
    uint64_t bits = 0;
    size_t fill = 0, next_mark = first + 1;
    uint32_t code = pixels[start];
    for (size_t p = start + 1;; ++p) {
        p = extend_match(table, code, pixels, p, count);
        bits += static_cast<uint64_t>(counted.width); // a code ends at p
        if (p < count && !table_full(counted)) add_code(table, code, pixels[p], counted.next);
        count_code(counted);
        for (; next_mark < at.size() && at[next_mark] <= p; ++next_mark)
            marks.push_back(
                Mark{static_cast<uint32_t>(next_mark), static_cast<uint32_t>(counted.width), bits});
        if (fill == 0 && table_full(counted)) fill = p;
        const bool past_life =
            fill != 0 &&
            (p - fill) * 4 >= (fill - start) * static_cast<size_t>(choices.trial_quarter_lives);
        if (p >= count || (next_mark > first + 1 && (p >= cap || past_life))) return;
        code = pixels[p];
    }
}

// Trials from every candidate but the end, on one or two threads; each trial's marks
// depend only on the pixels, so the threads change nothing but the time.
void run_trials(const unsigned char *pixels, size_t count, int code_size,
                const std::vector<size_t> &at, const LzwChoices &choices, LzwTable *tables,
                std::vector<std::vector<Mark>> &marks) {
    const size_t threads = choices.threads > 1 && at.size() > 8 ? 2 : 1;
    auto share = [&](size_t first) {
        for (size_t j = first; j + 1 < at.size(); j += threads)
            run_trial(pixels, count, code_size, at, j, choices, tables[first], marks[j]);
    };
    if (threads == 1) return share(0);
    std::thread other(share, 1);
    share(0);
    other.join();
}

} // namespace

std::vector<size_t> plan_clears(const unsigned char *pixels, size_t count, int code_size,
                                const LzwChoices &choices, LzwTable *tables) {
    if (count < 2) return {};
    LzwTable own[2];
    if (tables == nullptr) {
        start_table(own[0], code_size, count);
        start_table(own[1], code_size, count);
        tables = own;
    }
    const std::vector<size_t> fills = greedy_fills(pixels, count, code_size, tables[0]);
    if (choices.candidates_per_life <= 0) return fills;
    const std::vector<size_t> at = candidates(fills, count, choices);
    std::vector<std::vector<Mark>> marks(at.size());
    run_trials(pixels, count, code_size, at, choices, tables, marks);
    // The cheapest bits to each candidate, a clear code at each one but the end.
    const uint64_t NONE = ~uint64_t{0};
    std::vector<uint64_t> best(at.size(), NONE);
    std::vector<size_t> from(at.size(), 0);
    best[0] = 0;
    for (size_t j = 0; j + 1 < at.size(); ++j) {
        if (best[j] == NONE) continue;
        for (const Mark &mark : marks[j]) {
            const uint64_t clear = mark.candidate + 1 < at.size() ? mark.width : 0;
            const uint64_t cost = best[j] + mark.bits + clear;
            if (cost < best[mark.candidate]) best[mark.candidate] = cost, from[mark.candidate] = j;
        }
    }
    std::vector<size_t> clears;
    for (size_t k = from[at.size() - 1]; k != 0; k = from[k])
        clears.push_back(at[k]);
    std::reverse(clears.begin(), clears.end());
    return clears;
}
