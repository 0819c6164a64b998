// Archives read in memory (every LZH header level and method, ZIP, damage and hostility),
// lookup inside them, and image cels decoded to RGBA.
#include "archive/archive.h"
#include "archive_writer.h"
#include "common/file_names.h"
#include "common/run_state.h"
#include "common/status.h"
#include "image/image.h"
#include "support.h"

#include <algorithm>
#include <cstring>
#include <malloc.h>
#include <set>
#include <spng.h>
#include <turbojpeg.h>
#include <zlib.h>

namespace {

using Archives = TempDirTest;

// Opens `bytes` and reads the entry `name` finds: the first status that is not STATUS_OK,
// with the entry it names, and the entry's bytes when all went well.
std::string open_and_read(const std::string &dir, const Bytes &bytes, const char *name,
                          Bytes *data) {
    Archive archive;
    std::string detail;
    write_file(dir + "/a.lzh", bytes);
    FILE *input = fopen((dir + "/a.lzh").c_str(), "rb");
    int status = open_archive(input, "a.lzh", archive, detail);
    fclose(input);
    size_t index = 0;
    const std::vector<unsigned char> *read = nullptr;
    if (status == STATUS_OK && find_entry(archive, "", name, index)) {
        status = entry_data(archive, index, &read);
        if (status != STATUS_OK)
            detail = archive.entries[index].name;
        else
            *data = *read;
    }
    close_archive(archive);
    return std::to_string(status) + (detail.empty() ? "" : " " + detail);
}

// One byte of an archive changed, `at` counted from its end.
Bytes patched(Bytes archive, size_t at) {
    archive[archive.size() - at] ^= 0x55;
    return archive;
}

// A stored ZIP member turned deflated, declaring `size` bytes unpacked (its CRC kept).
Bytes zip_deflated(const Bytes &data, uint32_t size) {
    uLongf length = compressBound(data.size()); // zlib's stream less its header and checksum
    Bytes packed(length);
    compress2(packed.data(), &length, data.data(), data.size(), 9);
    packed = Bytes(packed.begin() + 2, packed.begin() + static_cast<ptrdiff_t>(length) - 4);
    Bytes zip = zip_archive({{"d/a.cel", data}});
    const size_t directory = zip.size() - 22 - 46 - 7;
    zip.erase(zip.begin() + 30 + 7, zip.begin() + 30 + 7 + static_cast<ptrdiff_t>(data.size()));
    zip.insert(zip.begin() + 30 + 7, packed.begin(), packed.end());
    const size_t moved = directory - data.size() + packed.size();
    for (size_t header : {size_t{0}, moved + 2}) { // local header, then directory entry
        zip[header + 8] = 8;                       // deflate
        for (int k = 0; k < 4; ++k) {
            zip[header + 18 + k] = static_cast<unsigned char>(packed.size() >> (8 * k));
            zip[header + 22 + k] = static_cast<unsigned char>(size >> (8 * k));
        }
    }
    const uint32_t directory_at = static_cast<uint32_t>(moved);
    for (int k = 0; k < 4; ++k)
        zip[zip.size() - 6 + k] = static_cast<unsigned char>(directory_at >> (8 * k));
    return zip;
}

// A little-endian field set alike in a one-member ZIP's local header and directory entry, at
// `at` bytes into each (the directory's has two more bytes before the same fields).
Bytes zip_field(Bytes zip, size_t at, uint32_t value, int bytes) {
    size_t directory = 0;
    for (int k = 0; k < 4; ++k)
        directory |= size_t{zip[zip.size() - 6 + k]} << (8 * k);
    for (size_t header : {size_t{0}, directory + 2})
        for (int k = 0; k < bytes; ++k)
            zip[header + at + k] = static_cast<unsigned char>(value >> (8 * k));
    return zip;
}

// An RGBA picture of one row as a PNG.
Bytes png_file(uint32_t width, const Bytes &rgba) {
    spng_ctx *encoder = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(encoder, SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr header = {width, 1, 8, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 0, 0, 0};
    spng_set_ihdr(encoder, &header);
    spng_encode_image(encoder, rgba.data(), rgba.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
    size_t size;
    int error;
    unsigned char *bytes =
        static_cast<unsigned char *>(spng_get_png_buffer(encoder, &size, &error));
    const Bytes png(bytes, bytes + size);
    free(bytes);
    spng_ctx_free(encoder);
    return png;
}

// Each row: the archive, the status (and the entry it names), and whether the bytes read
// are the member's. What a user would have seen go wrong is in the comment.
TEST_F(Archives, EveryLevelMethodAndDamage) {
    const Bytes cel = cel_file(8, 40, 30, random_bytes(1200, 7)), big(1 << 20, 0);
    const auto lzh = [&](int level, const char *method, bool bad_checksum = false,
                         const std::string &name = "d/a.cel") {
        return lzh_archive(
            {{"d/readme.txt", text("hello"), level}, {name, cel, level, method, bad_checksum}});
    };
    const Bytes lh5 = lzh(2, "-lh5-"), zip = zip_archive({{"d/a.cel", cel}});
    Bytes cel_and_more = cel;
    cel_and_more.insert(cel_and_more.end(), 100, 0);
    Bytes zip_bad_crc = zip, zip_short = zip;
    zip_bad_crc[14] ^= 1, zip_bad_crc[zip_bad_crc.size() - 22 - 46 - 7 + 16] ^= 1;
    zip_short[zip_short.size() - 22 - 46 - 7 + 24] += 1; // declares one byte more
    std::vector<std::tuple<Bytes, std::string, bool>> cases = {
        // one viewer's archives: wrong header checksums, stored files marked as folders
        {lzh(0, "-lhd-", true), "0", true},
        {lzh(1, "-lh5-", true), "0", true},
        // ... but their contents are still checked: corrupt data is no cel
        {patched(lzh(1, "-lhd-", true), 100), "18 d/a.cel", false},
        {patched(lh5, 100), "18 d/a.cel", false},
        {Bytes(lh5.begin(), lh5.end() - 40), "16", false}, // cut off in the middle of a member
        {lzh(1, "-lh9-"), "17 d/a.cel", false},            // a method no decoder knows
        {lzh(0, "-lh0-", false, "/a.cel"), "19 \\a.cel", false},
        {lzh(0, "-lh0-", false, "C:/a.cel"), "19 C:\\a.cel", false},
        // 0x5C after a Shift JIS lead byte is part of a character, elsewhere a '\\'
        {lzh(0, "-lh0-", false, std::string("\x83\x5C") + "a.cel"), "0", false},
        {lzh(0, "-lh0-", false, std::string("\x80\x5C") + "a.cel"), "0", true},
        {zip_archive({{std::string("d/\xE0\x5C") + "a.cel", cel}}), "0", false}, // a low lead
        {zip_archive({{std::string("d/\x81\x5C") + "a.cel", cel}}), "0", false}, // the lowest
        {zip, "0", true},
        {zip_bad_crc, "18 d/a.cel", false},
        {zip_short, "18 d/a.cel", false},
        {Bytes(zip.begin(), zip.end() - 30), "16", false},
        {zip_deflated(cel, static_cast<uint32_t>(cel.size())), "0", true},
        // a bomb: a kilobyte that inflates to a megabyte while declaring 1,000 bytes, and one
        // that declares 3 GB; neither makes quondel take that memory
        {zip_deflated(big, 1000), "18 d/a.cel", false},
        {zip_deflated(cel, 3000000000u), "20 d/a.cel", false},
        {zip_deflated(big, 256 << 20), "18 d/a.cel", false}, // the largest entry taken
        // more data than declared, though the CRC fits the declared part: a cel with a tail
        {zip_field(zip_deflated(cel_and_more, static_cast<uint32_t>(cel.size())), 14,
                   static_cast<uint32_t>(crc32(0, cel.data(), static_cast<uInt>(cel.size()))), 4),
         "18 d/a.cel", false},
        {zip_field(zip, 8, 12, 2), "17 d/a.cel", false}, // bzip2, which no dolls use
        {zip_field(zip, 6, 1, 2), "17 d/a.cel", false},  // encrypted
    };
    for (int level : {0, 1, 2}) // every header level and both methods real dolls use
        for (const char *method : {"-lh0-", "-lh5-"})
            cases.push_back({lzh(level, method), "0", true});
    // Twice: a second pass may hold no more memory than the first left (a closed archive
    // gives back what it took).
    size_t held = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto &[archive, expected, same] : cases) {
            Bytes data;
            EXPECT_EQ(open_and_read(dir, archive, "A.CEL", &data), expected) << expected;
            EXPECT_EQ(data == cel, same) << expected;
        }
        EXPECT_TRUE(pass == 0 || mallinfo2().uordblks <= held) << "memory kept";
        held = mallinfo2().uordblks;
    }
}

// A BMP of two pixels a row: 14-byte file header, 40-byte info header, a palette, the rows.
Bytes bmp_file(int bits, int height, const Bytes &palette, const Bytes &rows) {
    Bytes b = hex_bytes("42 4D 00 00 00 00 00 00 00 00 00 00 00 00 28 00 00 00 02 00 00 00");
    for (int k = 0; k < 4; ++k)
        b.push_back(static_cast<unsigned char>(static_cast<uint32_t>(height) >> (8 * k)));
    b.insert(b.end(), {1, 0, static_cast<unsigned char>(bits), 0});
    b.resize(54, 0);
    b[10] = static_cast<unsigned char>(54 + palette.size());
    b[46] = static_cast<unsigned char>(palette.size() / 4); // colours used
    b.insert(b.end(), palette.begin(), palette.end());
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

// quondel's own GIF of a cel of six rows (every interlace pass), index k in red k; `interlace` as
// -i, and the control extension's transparency flag kept or cleared (its index byte stays 0).
Bytes gif_of_rows(const std::string &dir, int interlace, bool transparent) {
    for (int k = 0; k < 256; ++k)
        run_state.palette.rgb[k * 3] = static_cast<unsigned char>(k);
    run_state.interlace = interlace;
    Bytes gif = convert_here(dir, cel_file(8, 1, 6, {1, 2, 3, 4, 5, 0}));
    const Bytes control = hex_bytes("21 F9 04");
    const auto at = std::search(gif.begin(), gif.end(), control.begin(), control.end());
    if (!transparent && at != gif.end()) at[3] &= 0xFE;
    return gif;
}

using ImageCels = TempDirTest;

// Image cels in RGBA, every pixel as "rrggbbaa", row after row: JPEG, BMP of each depth
// (rows bottom-up and padded to four bytes, or top-down), GIFs of several rows, and damaged or
// oversized pictures.
TEST_F(ImageCels, DecodedOrRefused) {
    tjhandle compressor = tjInitCompress();
    const Bytes grey(2 * 1 * 3, 200);
    unsigned char *jpeg_bytes = nullptr;
    unsigned long jpeg_size = 0;
    tjCompress2(compressor, grey.data(), 2, 0, 1, TJPF_RGB, &jpeg_bytes, &jpeg_size, TJSAMP_444,
                100, 0);
    const Bytes jpeg(jpeg_bytes, jpeg_bytes + jpeg_size);
    tjFree(jpeg_bytes);
    tjDestroy(compressor);
    Bytes huge_png = png_file(2, Bytes(8, 0)), cut_png = huge_png;
    cut_png.resize(cut_png.size() - 20);
    huge_png[18] = huge_png[22] = 0x20, huge_png[19] = huge_png[23] = 0; // 8192 x 8192
    const uLong crc = crc32(0, &huge_png[12], 17);
    for (int k = 0; k < 4; ++k)
        huge_png[29 + k] = static_cast<unsigned char>(crc >> (24 - 8 * k));
    const Bytes two = hex_bytes("00 00 00 00 30 20 10 00"); // black, then (10, 20, 30)
    const std::string rows = "010000ff020000ff030000ff040000ff050000ff00000000";
    // 16 bits in bit fields after the 40-byte header: 5 bits of red, 6 of green, none of blue
    Bytes fields =
        bmp_file(16, 1, hex_bytes("00 F8 00 00 E0 07 00 00 00 00 00 00"), hex_bytes("00 F8 FF 07"));
    fields[30] = 3;
    // 32 bits in bit fields with a 108-byte header, as image editors write: its alpha mask too
    Bytes with_alpha = bmp_file(32, 1, hex_bytes("00 00 FF 00 00 FF 00 00 FF 00 00 00 00 00 00 FF"),
                                hex_bytes("10 20 30 80 10 20 30 FF"));
    with_alpha.insert(with_alpha.begin() + 70, 52, 0);
    with_alpha[10] = 122, with_alpha[14] = 108, with_alpha[30] = 3;
    // The widest picture a playfield holds: 16,384 pixels at one bit, black
    Bytes widest = bmp_file(1, 1, two, Bytes(2048, 0));
    widest[18] = 0, widest[19] = 0x40;
    Bytes most = bmp_file(1, 4097, two, {}); // its rows are missing, but it is refused first
    most[18] = 0x01, most[19] = 0x10;
    std::string black;
    for (int x = 0; x < 16384; ++x)
        black += "000000ff";
    const std::tuple<Bytes, int, std::string> cases[] = {
        {jpeg, STATUS_OK, "c8c8c8ffc8c8c8ff"}, // JPEG is opaque
        {bmp_file(8, -1, two, hex_bytes("01 00 00 00")), STATUS_OK, "102030ff000000ff"},
        {bmp_file(4, 1, two, hex_bytes("10 00 00 00")), STATUS_OK, "102030ff000000ff"},
        {bmp_file(1, 1, two, hex_bytes("40 00 00 00")), STATUS_OK, "000000ff102030ff"},
        // two rows of two 24-bit pixels, each row padded from six bytes to eight, bottom first
        {bmp_file(24, 2, {}, hex_bytes("01 02 03 04 05 06 00 00 07 08 09 0A 0B 0C 00 00")),
         STATUS_OK, "090807ff0c0b0aff030201ff060504ff"},
        // 16 bits: five bits a channel, 31 is full
        {bmp_file(16, 1, {}, hex_bytes("00 7C 21 04")), STATUS_OK, "ff0000ff080808ff"},
        {fields, STATUS_OK, "ff0000ff00ff00ff"},
        {with_alpha, STATUS_OK, "30201080302010ff"},
        {widest, STATUS_OK, black},
        {most, STATUS_TOO_LARGE, ""}, // 4097 x 4097: more pixels than 4096 x 4096 by a row
        // 32 bits without bit fields: the fourth byte is no alpha, so the picture is opaque
        {bmp_file(32, 1, {}, hex_bytes("10 20 30 00 40 50 60 80")), STATUS_OK, "302010ff605040ff"},
        {bmp_file(24, 2, {}, hex_bytes("01 02 03")), STATUS_NOT_DOLL_CEL, ""}, // rows missing
        {gif_of_rows(dir, 0, true), STATUS_OK, rows},
        {gif_of_rows(dir, 1, true), STATUS_OK, rows},
        // with its flag off the index in the control extension is no transparent colour
        {gif_of_rows(dir, 0, false), STATUS_OK, "010000ff020000ff030000ff040000ff050000ff000000ff"},
        {cut_png, STATUS_NOT_DOLL_CEL, ""},
        {huge_png, STATUS_TOO_LARGE, ""}, // refused before its pixels take memory
        {text("GIF89a"), STATUS_NOT_DOLL_CEL, ""},
        // a table of two colours, and index 2 just beyond it: black
        {hex_bytes("47 49 46 38 39 61 02 00 01 00 80 00 00 10 20 30 40 50 60 2C 00 00 00 00 02 00 "
                   "01 00 00 02 02 8C 0A 00 3B"),
         STATUS_OK, "405060ff000000ff"},
    };
    for (const auto &[file, status, pixels] : cases) {
        RgbaImage image;
        EXPECT_EQ(decode_image(file.data(), file.size(), image), status) << pixels;
        std::string hex;
        char byte[3];
        for (size_t p = 0; status == STATUS_OK && p < image.rgba.size(); ++p)
            hex += (snprintf(byte, sizeof byte, "%02x", image.rgba[p]), byte);
        EXPECT_EQ(hex, pixels);
    }
}

// The GIFs a run wrote, sorted, each with its colours; they are removed for the next run.
std::string gifs_in(const std::string &dir) {
    std::set<std::string> names; // sorted
    for (const auto &entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".gif") names.insert(entry.path().filename());
    std::string listing;
    for (const std::string &name : names) {
        listing += (listing.empty() ? "" : " ") + name + "=" + colours_of(dir + "/" + name, ",");
        fs::remove(dir + "/" + name);
    }
    return listing;
}

// Dolls straight from archives: the names of the pictures (one configuration, several, each
// set), lookup (case-blind; its own folder first, then the first anywhere; '\\' in a path;
// never outside), and a clear line for each kind of bad archive. Each row:
// the arguments, the line, the pictures written with their colours.
TEST_F(Archives, DollsStraightFromArchives) {
    // Image cels only, so no palette file: a PNG with alpha 128, quondel's own GIF of a cel
    // (index 0 transparent) drawn with %t128, and a BMP; black below all.
    for (int k = 0; k < 256; ++k)
        run_state.palette.rgb[k * 3] = static_cast<unsigned char>(k);
    const Bytes gif = convert_here(dir, cel_file(8, 2, 1, {0, 200}));
    fs::remove(path("in.gif"));
    const Bytes bmp = bmp_file(24, 1, {}, hex_bytes("1E 14 0A 3C 32 28 00 00"));
    const std::vector<ArchiveMember> doll = {
        {"doll.cnf",
         text("(4,1)\n#0 P.PNG\n#1 pics\\g.gif ;%t128\n#2 b.bmp\n$0 0,0 1,0 2,0\n$0 * 2,0 0,0\n"),
         2},
        {"pics/p.png", png_file(1, {200, 100, 50, 128}), 2},
        {"pics/G.GIF", gif, 2},
        {"other/B.BMP", bmp_file(24, 1, {}, hex_bytes("01 02 03 04 05 06 00 00")), 2},
        {"b.bmp", bmp, 2}};
    std::vector<ArchiveMember> several = doll, missing = doll;
    several.push_back({"more/other.cnf", text("(1,1)\n#0 b.bmp\n"), 2});
    write_file(path("twins.zip"), zip_archive({{"a/kiss.cnf", text("(1,1)\n#0 b.bmp\n")},
                                               {"b/KISS.cnf", text("(1,1)\n#0 b.bmp\n")},
                                               {"b.bmp", bmp}}));
    missing[0].data = text("(2,1)\n#0 ../b.bmp\n"); // never outside its archive
    Bytes truncated = zip_archive(doll), corrupted = lzh_archive(doll);
    truncated.resize(truncated.size() / 2);
    corrupted[corrupted.size() - 10] ^= 1; // inside b.bmp
    write_file(path("one.lzh"), lzh_archive(doll));
    write_file(path("renamed.dat"), lzh_archive(doll)); // an archive by its bytes
    write_file(path("zipped.dat"), zip_archive(doll));
    write_file(path("several.zip"), zip_archive(several));
    write_file(path("missing.zip"), zip_archive(missing));
    write_file(path("none.zip"), zip_archive({{"readme.txt", text("hi")}}));
    write_file(path("cut.zip"), truncated);
    write_file(path("crc.lzh"), corrupted);
    write_file(path("unsafe.lzh"), lzh_archive({{"../x.cnf", text("#0 a.cel"), 2}}));
    write_file(path("method.lzh"), lzh_archive({{"x.cnf", text("#0 a.cel"), 1, "-lh8-"}}));
    // Set 0: the PNG over black; the GIF's pixels: transparent, then red 200 at %t128 over
    // the BMP's first pixel (10, 20, 30); the BMP's second pixel. Set 1 moves the BMP under
    // the PNG and the GIF to the right. Each blend worked out by the notes' formula.
    const std::string set_0 = "=643219,000000,690a0f,28323c",
                      set_1 = "=693c28,28323c,000000,640000";
    const std::tuple<std::vector<std::string>, std::string, std::string> cases[] = {
        {{"one.lzh"}, "", "one.gif" + set_0},
        {{"-s", "1", "one.lzh", "renamed.dat"}, "", "one-1.gif" + set_1 + " renamed-1.gif" + set_1},
        {{"zipped.dat"}, "", "zipped.gif" + set_0},
        {{"-s", "all", "one.lzh"}, "", "one-1.gif" + set_1 + " one.gif" + set_0},
        {{"-s", "2", "one.lzh", "-s", "0", "one.lzh"},
         "one.lzh:doll.cnf: no set 2 (22).\n",
         "one.gif" + set_0},
        {{"-s", "all", "several.zip"},
         "",
         "several-doll-1.gif" + set_1 + " several-doll.gif" + set_0 + " several-other.gif=030201"},
        {{"-s", "1", "several.zip"},
         "several.zip:more/other.cnf: no set 1 (22).\n",
         "several-doll-1.gif" + set_1},
        // configurations of one name in two folders: neither picture overwrites the other
        {{"twins.zip"}, "", "twins-a-kiss.gif=0a141e twins-b-KISS.gif=0a141e"},
        {{"missing.zip"},
         "missing.zip:doll.cnf: ../b.bmp not found; drawn without it.\n",
         "missing.gif=000000,000000"},
        {{"none.zip"}, "none.zip: no doll configuration inside (21).\n", ""},
        {{"crc.lzh", "cut.zip"}, // the first one's detail is not the second's
         "crc.lzh:doll.cnf: b.bmp is damaged in the archive (18).\ncut.zip: damaged archive "
         "(16).\n",
         ""},
        {{"unsafe.lzh"}, "unsafe.lzh: ../x.cnf is an unsafe name in the archive (19).\n", ""},
        {{"method.lzh"}, "method.lzh:x.cnf: x.cnf is packed in an unknown method (17).\n", ""},
    };
    for (const auto &[args, err, pictures] : cases) {
        const RunResult r = run_quondel(dir, args);
        EXPECT_EQ(r.err, err) << args.back();
        const bool drawn = err.empty() || err.find("drawn without") != std::string::npos;
        EXPECT_EQ(r.exit_status, drawn ? 0 : 2) << args.back();
        EXPECT_EQ(gifs_in(dir), pictures) << args.back();
    }
    // Unpacked, the same doll gives the same pictures.
    for (const ArchiveMember &m : doll) {
        fs::create_directories(fs::path(path("loose/" + m.name)).parent_path());
        write_file(path("loose/" + m.name), m.data);
    }
    fs::rename(path("loose/pics/p.png"), path("loose/p.png")); // a folder's files are its own
    fs::rename(path("loose/pics/G.GIF"), path("loose/pics.gif"));
    const auto cnf = [&](const std::string &bmp) {
        write_file(path("loose/doll.cnf"),
                   text("(4,1)\n#0 P.PNG\n#1 PICS.GIF ;%t128\n#2 " + bmp + "\n$0 0,0 1,0 2,0\n"));
    };
    // Packed again by the archivers dolls come from: an LHA archiver's own headers (levels 0,
    // 1 and 2) and compression, and
    // Info-ZIP, which keeps a Shift JIS name ("KI") as its bytes, as the CNF names it.
    const std::string pack = "cd '" + path("loose") + "' && ";
    cnf("b.bmp");
    for (const char *level : {"0", "1", "2"}) // every header level
        ASSERT_EQ(system((pack + "jlha c" + level + "o5q ../lha" + level +
                          ".lzh doll.cnf p.png pics.gif b.bmp")
                             .c_str()),
                  0);
    fs::rename(path("loose/b.bmp"), path("loose/\x83\x4C.bmp"));
    cnf("\x83\x4C.BMP");
    ASSERT_EQ(system((pack + "zip -qr ../zip.zip doll.cnf p.png pics.gif '\x83\x4C.bmp'").c_str()),
              0);
    EXPECT_EQ(
        run_quondel(dir, {"loose/doll.cnf", "lha0.lzh", "lha1.lzh", "lha2.lzh", "zip.zip"}).err,
        "");
    EXPECT_EQ(gifs_in(path("loose")), "doll.gif" + set_0 + " pics.gif=000000,c80000");
    EXPECT_EQ(gifs_in(dir),
              "lha0.gif" + set_0 + " lha1.gif" + set_0 + " lha2.gif" + set_0 + " zip.gif" + set_0);
}

} // namespace

namespace {

// The playfield "(w,h)" and the number of set lines of a configuration, read as the format
// notes give them (448 x 320 when absent; at least one set).
std::tuple<int, int, int> playfield_and_sets(const Bytes &cnf) {
    int width = 448, height = 320, sets = 0;
    bool line_start = true, sized = false;
    for (size_t i = 0; i < cnf.size(); ++i) {
        if (line_start && cnf[i] == '$') ++sets;
        if (line_start && cnf[i] == '(' && !sized) // the bytes end in no NUL: a string does
            sized = sscanf(std::string(cnf.begin() + static_cast<ptrdiff_t>(i), cnf.end()).c_str(),
                           "(%d ,%d", &width, &height) == 2;
        line_start = cnf[i] == '\n';
    }
    return {width, height, std::max(sets, 1)};
}

// Every real archive as downloaded, every set: what the real archiver unpacks into a folder
// is drawn the same as the archive itself, and each picture has the playfield's size. A
// user would otherwise have lost the dolls of most archives made on Windows, whose level 2
// headers carry an empty folder.
TEST_F(Archives, RealDollsConvertEverySet) {
    if (!fs::is_directory(QUONDEL_REAL_DOLLS) || system("command -v jlha >/dev/null") != 0)
        GTEST_SKIP() << "no real dolls at " QUONDEL_REAL_DOLLS ", or no jlha (jlha-utils)";
    // All of them take minutes under the sanitizers, Valgrind or an emulator: there, the one
    // whose level 2 headers carry an empty folder.
    const bool all = !QUONDEL_EMULATED && !QUONDEL_SANITIZED && !getenv("QUONDEL_MEMCHECK");
    int archives = 0;
    for (const auto &entry : fs::directory_iterator(QUONDEL_REAL_DOLLS)) {
        if (entry.path().extension() != ".lzh") continue;
        if (!all && entry.path().stem() != "kayla") continue;
        ++archives;
        const std::string stem = entry.path().stem();
        fs::create_directories(path("a"));
        fs::create_directories(path("f"));
        fs::create_directories(path(stem));
        const RunResult from_archive =
            run_quondel(dir, {"-s", "all", "-o", "a", entry.path().string()});
        EXPECT_EQ(from_archive.err + std::to_string(from_archive.exit_status), "0") << stem;
        ASSERT_EQ(system(("cd '" + path(stem) + "' && jlha xq '" + entry.path().string() +
                          "' >/dev/null 2>&1")
                             .c_str()),
                  0);
        const RunResult from_folder = run_quondel(dir, {"-s", "all", "-o", "f", stem});
        EXPECT_EQ(from_folder.err + std::to_string(from_folder.exit_status), "0") << stem;
        Bytes cnf;
        for (const auto &file : fs::directory_iterator(path(stem)))
            if (name_ends_with(file.path().c_str(), ".cnf")) cnf = read_file(file.path());
        const auto [width, height, sets] = playfield_and_sets(cnf);
        int pictures = 0;
        for (const auto &gif : fs::directory_iterator(path("a"))) {
            ++pictures;
            const Bytes bytes = read_file(gif.path());
            EXPECT_EQ(bytes, read_file(path("f/" + gif.path().filename().string()))) << gif.path();
            Decoded decoded;
            ASSERT_TRUE(decode_gif(gif.path(), decoded)) << gif.path();
            EXPECT_EQ(decoded.frame[0] * 100000 + decoded.frame[1], width * 100000 + height)
                << gif.path();
        }
        EXPECT_EQ(pictures, sets) << stem;
        for (const char *folder : {"a", "f"})
            fs::remove_all(path(folder));
    }
    EXPECT_EQ(archives, all ? 13 : 1);
}

} // namespace
