// Dolls as file arguments: a configuration, or an archive or folder of them, drawn in the
// chosen sets or listed.
#include "archive/archive.h"
#include "common/file_names.h"
#include "common/run_state.h"
#include "common/status.h"
#include "doll/convert_doll.h"
#include "driver/driver.h"
#include "driver/output_name.h"
#include "driver/progress.h"
#include "fkiss/state.h"
#include "platform/platform.h"

#include <algorithm>
#include <set>

namespace {

bool report(const std::string &name, int status) {
    report_status(name.c_str(), status);
    return status == STATUS_OK;
}

// A doll is drawn without the cel files it lacks, as a viewer does: a line for each, once
// for all the sets drawn.
void report_missing_cels(const std::string &name, std::set<std::string> &reported) {
    for (const std::string &file : run_state.missing_cels) {
        if (!reported.insert(file).second) continue;
        clear_progress();
        fprintf(stderr, "%s: %s not found; drawn without it.\n", name.c_str(), file.c_str());
    }
    run_state.missing_cels.clear();
}

// A hostile or broken program is cut short rather than left to run without end.
void report_stopped_program(const std::string &name) {
    if (run_state.program_stopped == 0) return;
    clear_progress();
    if (run_state.program_stopped == PROGRAM_EXHAUSTED)
        fprintf(stderr, "%s: warning: the doll's program ran %llu actions; it was stopped there.\n",
                name.c_str(), static_cast<unsigned long long>(MAX_ACTIONS_PER_RUN));
    else
        fprintf(stderr,
                "%s: warning: the doll's program ran more than %llu actions at one moment; that "
                "moment was stopped there.\n",
                name.c_str(), static_cast<unsigned long long>(MAX_ACTIONS_PER_INSTANT));
    run_state.program_stopped = 0;
}

int defined_sets(const DollConfig &doll) {
    return std::max<int>(1, static_cast<int>(doll.sets.size()));
}

// "-l": the playfield, the sets, and those in which the doll moves on its own.
void list_doll(const DollConfig &doll, const std::string &message_name) {
    printf("%s: %lld x %lld pixels, sets", message_name.c_str(), static_cast<long long>(doll.width),
           static_cast<long long>(doll.height));
    std::string animated;
    for (int set = 0; set < defined_sets(doll); ++set) {
        printf(" %d", set);
        if (doll_animates(doll, set)) animated += " " + std::to_string(set);
    }
    printf("%s%s\n", animated.empty() ? "" : ", animated in", animated.c_str());
}

// Draws the chosen sets of a parsed doll, each to its own GIF. A set the doll does not define
// is one line; a failure that is no set's own (a missing palette, say) stops at its first
// line, as every other set would repeat it.
bool draw_sets(const DollConfig &doll, const DollFiles &files, const char *argument,
               const std::string &message_name, const std::string &configuration,
               const Switches &switches, FILE *input) {
    if (switches.list) {
        list_doll(doll, message_name);
        return true;
    }
    const int defined = defined_sets(doll), chosen = switches.chosen_set;
    if (chosen >= defined) {
        run_state.doll_detail = std::to_string(chosen);
        return report(message_name, STATUS_NO_SUCH_SET);
    }
    const int first = chosen == EVERY_SET ? 0 : chosen,
              last = chosen == EVERY_SET ? defined - 1 : chosen;
    expect_pictures(last - first + 1);
    bool drawn = true;
    std::set<std::string> reported;
    for (int set = first; set <= last && drawn; ++set) {
        run_state.output_name = place_output(derive_doll_output_name(argument, configuration, set),
                                             switches.output_dir);
        run_state.doll_detail.clear();
        run_state.output_failure.clear();
        const int status = write_doll_picture(doll, files, set, input);
        report_missing_cels(message_name, reported);
        report_stopped_program(message_name);
        drawn = report(message_name, status);
        if (drawn)
            note_written(message_name + " set " + std::to_string(set) +
                         (run_state.animate_seconds > 0 ? ", animated" : ", still"));
        picture_done();
    }
    return drawn;
}

// A configuration's name for its pictures: its file name, or, where another configuration in
// the archive has the same one, its whole name inside with '-' between folders, so that no
// picture overwrites another's.
std::string picture_name(const Archive &archive, const std::vector<size_t> &configurations,
                         const std::string &name) {
    const std::string file = name.substr(folder_of(name).size());
    int same = 0;
    for (size_t index : configurations) {
        const std::string &other = archive.entries[index].name;
        same += same_name_any_case(other.substr(folder_of(other).size()), file);
    }
    if (same < 2) return file;
    std::string whole = name;
    std::replace(whole.begin(), whole.end(), '/', '-');
    return whole;
}

int load_configuration(Archive &archive, size_t index, DollConfig &doll) {
    const ArchiveEntry &entry = archive.entries[index];
    const std::vector<unsigned char> *bytes = nullptr;
    int status = entry.size > MAX_CNF_BYTES ? STATUS_NOT_DOLL : entry_data(archive, index, &bytes);
    run_state.doll_detail = entry.name;
    if (status == STATUS_OK && bytes->size() > MAX_CNF_BYTES) status = STATUS_NOT_DOLL;
    if (status != STATUS_OK) return status;
    std::vector<unsigned char> text = *bytes;
    release_entry(archive, index);
    return read_doll_config(text, doll);
}

// Every configuration of an open archive or folder, drawn; `input` is the archive's file.
bool draw_configurations(Archive &archive, const char *argument, const std::string &output_stem,
                         const Switches &switches, FILE *input) {
    std::vector<size_t> configurations;
    for (size_t i = 0; i < archive.entries.size(); ++i)
        if (name_ends_with(archive.entries[i].name.c_str(), ".cnf")) configurations.push_back(i);
    if (configurations.empty()) return report(argument, STATUS_NO_CNF_INSIDE);
    const char separator = archive.kind == ArchiveKind::folder ? '/' : ':';
    bool all_drawn = true;
    for (size_t index : configurations) {
        const ArchiveEntry &entry = archive.entries[index];
        std::string message_name = argument;
        if (message_name.find_last_of(PATH_SEPARATORS) + 1 != message_name.size() ||
            separator == ':')
            message_name += separator;
        message_name += entry.name;
        DollConfig doll;
        const int status = load_configuration(archive, index, doll);
        if (status != STATUS_OK) {
            all_drawn = report(message_name, status) && all_drawn;
            continue;
        }
        const DollFiles files = {&archive, folder_of(entry.name)};
        const std::string configuration =
            configurations.size() == 1 ? "" : picture_name(archive, configurations, entry.name);
        all_drawn = draw_sets(doll, files, output_stem.c_str(), message_name, configuration,
                              switches, input) &&
                    all_drawn;
        // The next configuration unpacks what it needs again: memory holds one doll's files.
        for (size_t i = 0; i < archive.entries.size(); ++i)
            release_entry(archive, i);
    }
    return all_drawn;
}

} // namespace

bool convert_doll_argument(FILE *input, const char *argument, const Switches &switches) {
    DollConfig doll;
    std::vector<unsigned char> text;
    int status = read_cnf(input, text);
    if (status == STATUS_OK) status = read_doll_config(text, doll);
    if (status != STATUS_OK) return report(argument, status);
    Archive folder{};
    open_folder(folder_of(argument), folder);
    const bool drawn =
        draw_sets(doll, DollFiles{&folder, ""}, argument, argument, "", switches, input);
    close_archive(folder);
    return drawn;
}

bool convert_archive_argument(FILE *input, const char *argument, const Switches &switches) {
    Archive archive;
    const int status = open_archive(input, argument, archive, run_state.doll_detail);
    const bool drawn = status == STATUS_OK
                           ? draw_configurations(archive, argument, argument, switches, input)
                           : report(argument, status);
    close_archive(archive);
    return drawn;
}

bool convert_folder_argument(const char *argument, const Switches &switches) {
    // The pictures are named after the folder and go beside it, as an archive's do.
    std::string folder = argument, stem = argument;
    while (stem.size() > 1 && stem.find_last_of(PATH_SEPARATORS) == stem.size() - 1)
        stem.pop_back();
    if (folder.find_last_of(PATH_SEPARATORS) + 1 != folder.size()) folder += '/';
    Archive archive;
    const int status = open_folder(folder, archive);
    const bool drawn = status == STATUS_OK
                           ? draw_configurations(archive, argument, stem, switches, nullptr)
                           : report(argument, status);
    close_archive(archive);
    return drawn;
}
