// ZIP archives through libzip, from the archive's bytes in memory. libzip checks each entry's
// CRC-32 when its data has been read to the end; we add that the data is exactly as long as
// the directory declares, so an entry can neither fall short nor inflate past its size.
#include "archive/archive.h"

#include "common/status.h"

#include <algorithm>
#include <zip.h>

int list_zip(Archive &archive, std::string &detail) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source =
        zip_source_buffer_create(archive.bytes.data(), archive.bytes.size(), 0, &error);
    zip_t *zip = source == nullptr ? nullptr : zip_open_from_source(source, ZIP_RDONLY, &error);
    zip_error_fini(&error);
    if (zip == nullptr) {
        if (source != nullptr) zip_source_free(source);
        return STATUS_ARCHIVE_DAMAGED;
    }
    archive.zip = zip;
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        // Names as stored: a CNF names its files in the same bytes (often Shift JIS).
        if (zip_stat_index(zip, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW, &st) != 0 ||
            !(st.valid & ZIP_STAT_NAME) || !(st.valid & ZIP_STAT_SIZE))
            return STATUS_ARCHIVE_DAMAGED;
        std::string name = st.name;
        if (!name.empty() && name.back() == '/') continue; // a folder
        ArchiveEntry entry{name, st.size, st.comp_size, static_cast<uint64_t>(i), "", 0};
        if (!normalise_entry_name(entry.name)) {
            detail = name;
            return STATUS_UNSAFE_NAME;
        }
        archive.entries.push_back(entry);
    }
    return STATUS_OK;
}

int unpack_zip(const Archive &archive, const ArchiveEntry &entry, std::vector<unsigned char> &out) {
    zip_t *zip = static_cast<zip_t *>(archive.zip);
    zip_file_t *file = zip_fopen_index(zip, entry.data_at, 0);
    if (file == nullptr) {
        const int code = zip_error_code_zip(zip_get_error(zip));
        return code == ZIP_ER_COMPNOTSUPP || code == ZIP_ER_ENCRNOTSUPP || code == ZIP_ER_NOPASSWD
                   ? STATUS_UNKNOWN_METHOD
                   : STATUS_ENTRY_DAMAGED;
    }
    // The output grows as bytes arrive (see the LZH reader); one byte past the declared
    // size is asked for, to find either the end (where libzip compares the CRC) or a lie.
    unsigned char chunk[1 << 16];
    zip_int64_t n = 1;
    while (out.size() <= entry.size && n > 0) {
        n = zip_fread(file, chunk, std::min<uint64_t>(sizeof chunk, entry.size + 1 - out.size()));
        if (n > 0) out.insert(out.end(), chunk, chunk + n);
    }
    const bool exact = n == 0 && out.size() == entry.size;
    const bool closed = zip_fclose(file) == 0;
    return exact && closed ? STATUS_OK : STATUS_ENTRY_DAMAGED;
}

void close_zip(Archive &archive) {
    if (archive.zip != nullptr) zip_discard(static_cast<zip_t *>(archive.zip));
    archive.zip = nullptr;
}
