// Dolls as file arguments: a configuration, or an archive of them, drawn in the chosen sets.
#include "archive/archive.h"
#include "common/file_names.h"
#include "common/run_state.h"
#include "common/status.h"
#include "doll/convert_doll.h"
#include "driver/driver.h"
#include "driver/output_name.h"

#include <algorithm>

namespace {

bool report(const std::string &name, int status) {
    report_status(name.c_str(), status);
    return status == STATUS_OK;
}

// Draws the chosen sets of a parsed doll, each to its own GIF. A set the doll does not define
// is one line; a failure that is no set's own (a missing file, say) stops at its first line,
// as every other set would repeat it.
bool draw_sets(const DollConfig &doll, const DollFiles &files, const char *argument,
               const std::string &message_name, const std::string &configuration, int chosen_set,
               FILE *input) {
    const int defined = std::max<int>(1, static_cast<int>(doll.sets.size()));
    if (chosen_set >= defined) {
        run_state.doll_detail = std::to_string(chosen_set);
        return report(message_name, STATUS_NO_SUCH_SET);
    }
    const int first = chosen_set == EVERY_SET ? 0 : chosen_set,
              last = chosen_set == EVERY_SET ? defined - 1 : chosen_set;
    for (int set = first; set <= last; ++set) {
        run_state.output_name = derive_doll_output_name(argument, configuration, set);
        run_state.doll_detail.clear();
        if (!report(message_name, write_doll_picture(doll, files, set, input))) return false;
    }
    return true;
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

} // namespace

bool convert_doll_argument(FILE *input, const char *argument, int chosen_set) {
    DollConfig doll;
    std::vector<unsigned char> text;
    int status = read_cnf(input, text);
    if (status == STATUS_OK) status = read_doll_config(text, doll);
    if (status != STATUS_OK) return report(argument, status);
    Archive folder{};
    open_folder(folder_of(argument), folder);
    const bool drawn =
        draw_sets(doll, DollFiles{&folder, ""}, argument, argument, "", chosen_set, input);
    close_archive(folder);
    return drawn;
}

bool convert_archive_argument(FILE *input, const char *argument, int chosen_set) {
    Archive archive;
    int status = open_archive(input, argument, archive, run_state.doll_detail);
    std::vector<size_t> configurations;
    for (size_t i = 0; status == STATUS_OK && i < archive.entries.size(); ++i)
        if (name_ends_with(archive.entries[i].name.c_str(), ".cnf")) configurations.push_back(i);
    if (status == STATUS_OK && configurations.empty()) status = STATUS_NO_CNF_INSIDE;
    bool all_drawn = report(argument, status);
    for (size_t index : configurations) {
        const ArchiveEntry &entry = archive.entries[index];
        const std::string message_name = std::string(argument) + ":" + entry.name;
        const std::vector<unsigned char> *bytes = nullptr;
        status = entry.size > MAX_CNF_BYTES ? STATUS_NOT_DOLL : entry_data(archive, index, &bytes);
        run_state.doll_detail = entry.name;
        DollConfig doll;
        if (status == STATUS_OK) {
            std::vector<unsigned char> text = *bytes;
            release_entry(archive, index);
            status = read_doll_config(text, doll);
        }
        if (status != STATUS_OK) {
            all_drawn = report(message_name, status) && all_drawn;
            continue;
        }
        const DollFiles files = {&archive, folder_of(entry.name)};
        const std::string configuration =
            configurations.size() == 1 ? "" : picture_name(archive, configurations, entry.name);
        all_drawn =
            draw_sets(doll, files, argument, message_name, configuration, chosen_set, input) &&
            all_drawn;
        // The next configuration unpacks what it needs again: memory holds one doll's files.
        for (size_t i = 0; i < archive.entries.size(); ++i)
            release_entry(archive, i);
    }
    close_archive(archive);
    return all_drawn;
}
