// Which remote is this (receivers/identify.h): every shipped keymap is told from the rest by a
// few of its own keys, pressed as the kernel would decode them; presses match across the forms
// the kernel and the keymaps write one protocol in, and only there; a second remote is said.
#include "receivers/identify.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using rireruv::HeardPress;
using rireruv::KeymapFile;
using rireruv::KeymapIndex;
using rireruv::KeymapMatch;

// What the kernel's decoder gives for a NEC frame (ir_nec_bytes_to_scancode, rc-map.h): the
// press a remote makes, whatever form its keymap was written in.
HeardPress necPress(uint8_t a, uint8_t na, uint8_t c, uint8_t nc) {
    if ((c ^ nc) != 0xFF)
        return {uint64_t{na} << 24 | uint64_t{a} << 16 | uint64_t{nc} << 8 | c, "nec-32", ""};
    if ((a ^ na) != 0xFF)
        return {uint64_t{a} << 16 | uint64_t{na} << 8 | c, "nec-x", ""};
    return {uint64_t{a} << 8 | c, "nec", ""};
}

// A key of a shipped keymap as its remote sends it: NEC as the kernel decodes the frame the
// entry stands for (read by the entry's width, as rc-core's own keymaps are written), the
// others under the kernel's name for the file's protocol; a hardware or BPF decoder's as an
// unknown protocol.
HeardPress pressOf(const rireruv::KeymapProtocol& table, uint64_t s, const std::string& key) {
    HeardPress p;
    if (table.protocol == "nec") {
        if (s <= 0xFFFF)
            p = necPress(s >> 8, ~s >> 8 & 0xFF, s & 0xFF, ~s & 0xFF);
        else if (s <= 0xFFFFFF)
            p = necPress(s >> 16, s >> 8 & 0xFF, s & 0xFF, ~s & 0xFF);
        else
            p = necPress(s >> 16 & 0xFF, s >> 24, s & 0xFF, s >> 8 & 0xFF);
    } else {
        static const std::pair<const char*, const char*> kKernelNames[] = {
            {"rc5", "rc-5"},    {"rc-5-sz", "rc-5-sz"},   {"cec", "cec"},          {"imon", "imon"},
            {"other", "other"}, {"xbox_dvd", "xbox-dvd"}, {"mce_kbd", "mcir2-kbd"}};
        p = {s, "unknown", ""};
        for (const auto& [file, kernel] : kKernelNames)
            if (table.protocol == file)
                p.protocol = kernel;
        if (table.protocol == "rc6")
            p.protocol = table.variant == "rc6_mce" ? "rc-6-mce" : "rc-6-0";
    }
    p.named = key;
    return p;
}

// Three keys spread over the file (its first, one a third in, one two thirds in), as a person
// asked to press a few keys presses keys across the remote, not its first three digits.
std::vector<HeardPress> drawnFrom(const KeymapFile& file) {
    std::vector<HeardPress> all;
    for (const rireruv::KeymapProtocol& table : file.protocols)
        for (const auto& [scancode, key] : table.scancodes)
            all.push_back(pressOf(table, scancode, key));
    std::vector<HeardPress> drawn;
    for (size_t i = 0; i < 3 && i < all.size(); ++i)
        drawn.push_back(all[i * all.size() / 3]);
    return drawn;
}

// Each shipped keymap in turn is the remote in the hand, the index holding every one: a
// keymap its own keys do not bring to the top two (a NEC remote its keymap spells in another
// form, a protocol matched as another, ties broken against the smaller keymap) fails here.
// Two pairs of files are the same keymap under two names, so first place cannot be asked of all.
TEST(Identify, EveryShippedKeymapIsInTheTopTwoForThreeOfItsKeys) {
    const std::string root = "/lib/udev/rc_keymaps";
    std::string why;
    const KeymapIndex index = KeymapIndex::load({root}, why);
    ASSERT_EQ(why, "") << "ir-keytable is not installed";
    EXPECT_EQ(index.unread(), std::vector<std::string>());
    size_t first = 0, second = 0, files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(root)) {
        if (entry.path().extension() != ".toml")
            continue;
        SCOPED_TRACE(entry.path().string());
        KeymapFile file;
        ASSERT_TRUE(rireruv::readKeymapFile(entry.path(), file, why)) << why;
        const std::vector<KeymapMatch> ranked = index.rank(drawnFrom(file));
        ++files;
        size_t place = 0;
        while (place < ranked.size() && ranked[place].file != entry.path().string())
            ++place;
        first += place == 0;
        second += place == 1;
        EXPECT_LT(place, 2u) << (place < ranked.size() ? "placed " + std::to_string(place + 1)
                                                       : std::string("not matched at all"))
                             << "; first " << (ranked.empty() ? "none" : ranked[0].file);
    }
    std::printf("%zu shipped keymaps: %zu first, %zu second, %zu lower\n", files, first, second,
                files - first - second);
    EXPECT_EQ(files, index.size());
    // Most are first: a tie-break that favours the wrong keymap moves many to second place.
    EXPECT_GE(first * 10, files * 9);
}

KeymapFile oneKey(const std::string& protocol, uint64_t scancode, const std::string& key) {
    KeymapFile file;
    file.protocols.resize(1);
    file.protocols[0].protocol = protocol;
    file.protocols[0].scancodes = {{scancode, key}};
    return file;
}

// Whether a press matches a one-key keymap: the same protocol family, or a table or press that
// names no protocol; and the NEC forms of one frame. A row that matches where it should not is
// a remote offered the keymap of another protocol's remote.
TEST(Identify, APressMatchesItsProtocolFamilyOrAnyWhereTheDecoderIsUnknown) {
    struct Case {
        const char* protocol; // the keymap's, as its file writes it
        uint64_t entry;
        HeardPress press;
        bool matches;
    };
    const Case cases[] = {
        // Another protocol's press with the same number.
        {"nec", 0x024a, {0x024a, "rc-5", ""}, false},
        {"rc5", 0x1e3b, {0x1e3b, "nec", ""}, false},
        // The same protocol, another key.
        {"nec", 0x024a, {0x034a, "nec", ""}, false},
        // A byte of a hardware decoder is no NEC frame of address 0 (here in nec-32's form).
        {"nec", 0xff00b54a, {0x4a, "", ""}, false},
        // The family, any variant of it.
        {"nec", 0x024a, {0x024a, "nec", ""}, true},
        {"rc5", 0x1e3b, {0x1e3b, "rc-5", ""}, true},
        {"rc6", 0x800f040c, {0x800f040c, "rc-6-mce", ""}, true},
        {"sony", 0x010015, {0x010015, "sony-12", ""}, true},
        {"mce_kbd", 0x0a, {0x0a, "mcir2-kbd", ""}, true},
        // A keymap of a hardware decoder, of a decoder the kernel lacks, or a press of no
        // protocol said: by scancode alone.
        {"unknown", 0x4a, {0x4a, "nec", ""}, true},
        {"other", 0x2d, {0x2d, "other", ""}, true},
        {"pulse_distance", 0xe0e040bf, {0xe0e040bf, "", ""}, true},
        {"nec", 0x024a, {0x024a, "", ""}, true},
        // One NEC frame in the kernel's form and in the keymap's: it913x_v1 writes its nec
        // remote as nec-x, lme2510 its nec-x remote as nec-32, tivo some keys both ways.
        {"nec", 0x807f0d, {0x800d, "nec", ""}, true},
        {"nec", 0xef12ba45, {0x12ef45, "nec-x", ""}, true},
        {"nec", 0x85302f, necPress(0x85, 0x30, 0x2f, 0xd0), true},
        {"nec", 0x3085d02f, necPress(0x85, 0x30, 0x2f, 0xd0), true},
        {"nec", 0x3085f009, necPress(0x85, 0x30, 0x09, 0xf0), true},
        // An event device says no protocol: a wide code still reads as the frame it is.
        {"nec", 0x807f0d, {0x800d, "", ""}, true},
        // nec-x of address high byte 0 is the same number as a nec code: the kernel maps it.
        {"nec", 0xbf01, {0xbf01, "nec-x", ""}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.protocol) + " " + std::to_string(c.entry) + " by " +
                     c.press.protocol + " " + std::to_string(c.press.scancode));
        KeymapIndex index;
        index.add("k.toml", oneKey(c.protocol, c.entry, "KEY_OK"));
        EXPECT_EQ(index.rank({c.press}).size(), c.matches ? 1u : 0u);
    }
}

// The remotes the presses came from. A false second remote sends a person hunting for a remote
// that is not there; a missed one offers a keymap for a mix of two remotes.
TEST(Identify, PressesOfAnotherAddressOrProtocolAreASecondRemote) {
    struct Case {
        const char* name;
        std::vector<HeardPress> presses;
        const char* said;
    };
    const Case cases[] = {
        {"one nec remote", {{0x0201, "nec", ""}, {0x0205, "nec", ""}, {0x0230, "nec", ""}}, ""},
        {"one tivo remote sends nec-32 and nec-x",
         {necPress(0x85, 0x30, 0x09, 0xf0), necPress(0x85, 0x30, 0x2f, 0xd0)},
         ""},
        {"a hardware decoder's codes have no known address",
         {{0x0405, "unknown", ""}, {0x0506, "unknown", ""}, {0x9f01, "", ""}},
         ""},
        {"a press of no protocol said is left out",
         {{0x0201, "nec", ""}, {0x33, "", ""}, {0x0202, "nec", ""}},
         ""},
        {"another nec address",
         {{0x0201, "nec", ""}, {0x0205, "nec", ""}, {0x0301, "nec", ""}},
         "press 3 has nec address 0x03, the others nec address 0x02: a second remote"},
        {"an nec-x address beside a nec one",
         {{0x0201, "nec", ""}, {0x02fe05, "nec-x", ""}, {0x0202, "nec", ""}},
         "press 2 has nec address 0x2fe, the others nec address 0x02: a second remote"},
        {"another rc-5 system",
         {{0x1e3b, "rc-5", ""}, {0x1f3b, "rc-5", ""}, {0x1f01, "rc-5", ""}},
         "press 1 has rc-5 address 0x1e, the others rc-5 address 0x1f: a second remote"},
        {"another protocol",
         {{0x0201, "nec", ""}, {0x1e3b, "rc-5", ""}, {0x1e01, "rc-5", ""}, {0x0205, "nec", ""}},
         "presses 2 and 3 have rc-5 address 0x1e, the others nec address 0x02: a second remote"},
        {"three remotes",
         {{0x0201, "nec", ""}, {0x0301, "nec", ""}, {0x0202, "nec", ""}, {0x010015, "sony-12", ""}},
         "press 2 has nec address 0x03, press 4 has sony address 0x01, the others nec address "
         "0x02: 3 remotes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(rireruv::secondRemote(c.presses), c.said);
    }
}

// The ranking between keymaps that map the same presses: the key named decides first, then
// the smaller keymap. And what makes a best match: every press, or more than the next.
TEST(Identify, TheKeyNamedThenTheSmallerKeymapBreakATie) {
    KeymapFile big = oneKey("unknown", 0x10, "KEY_POWER");
    big.protocols[0].scancodes.push_back({0x11, "KEY_MUTE"});
    big.protocols[0].scancodes.push_back({0x12, "KEY_UP"});
    KeymapIndex index;
    index.add("big.toml", big);
    index.add("small.toml", oneKey("unknown", 0x10, "KEY_MUTE"));
    index.add("other.toml", oneKey("unknown", 0x11, "KEY_MUTE"));

    std::vector<KeymapMatch> ranked = index.rank({{0x10, "", ""}});
    ASSERT_EQ(ranked.size(), 2u);
    EXPECT_EQ(ranked[0].file, "small.toml");
    EXPECT_EQ(rireruv::bestMatch(ranked), &ranked[0]) << "every press matched";

    ranked = index.rank({{0x10, "", "power"}});
    ASSERT_EQ(ranked.size(), 2u);
    EXPECT_EQ(ranked[0].file, "big.toml");
    EXPECT_EQ(ranked[0].named, 1u);
    EXPECT_EQ(ranked[0].namedOf, 1u);

    ranked = index.rank({{0x10, "", ""}, {0x11, "", ""}});
    ASSERT_EQ(ranked.size(), 3u);
    EXPECT_EQ(ranked[0].file, "big.toml");
    EXPECT_EQ(ranked[0].matched, 2u);
    EXPECT_EQ(ranked[1].matched, 1u);

    // Level short of every press: none stands out.
    ranked = index.rank({{0x10, "", ""}, {0x99, "", ""}});
    ASSERT_EQ(ranked.size(), 2u);
    EXPECT_EQ(rireruv::bestMatch(ranked), nullptr);
    EXPECT_EQ(rireruv::bestMatch({}), nullptr);
}

void write(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// The folders as ir-keytable reads them: a file in the first hides one of the same name in the
// second; the BPF decoders' folder and other files are passed over; a file that does not read
// is listed, not fatal; a folder that is not there is none; no keymap at all says why.
TEST(Identify, AnEarlierFolderHidesAKeymapOfTheSameName) {
    const std::filesystem::path top = BUILD_SCRATCH "/identify";
    std::filesystem::remove_all(top);
    const std::string keymap = "[[protocols]]\nname = \"%\"\nprotocol = \"nec\"\n"
                               "[protocols.scancodes]\n0x0201 = \"KEY_POWER\"\n";
    auto named = [&](const std::string& name) {
        return std::string(keymap).replace(keymap.find('%'), 1, name);
    };
    write(top / "etc/remote.toml", named("mine"));
    write(top / "lib/remote.toml", named("shipped"));
    write(top / "lib/another.toml", named("another"));
    write(top / "lib/broken.toml", "[[protocols]]\nname = \"open\n");
    write(top / "lib/notes.txt", named("notes"));
    write(top / "lib/protocols/nec.toml", named("bpf"));

    std::string why;
    const KeymapIndex index = KeymapIndex::load(
        {(top / "missing").string(), (top / "etc").string(), (top / "lib").string()}, why);
    EXPECT_EQ(why, "");
    EXPECT_EQ(index.size(), 2u);
    ASSERT_EQ(index.unread().size(), 1u);
    EXPECT_NE(index.unread()[0].find("broken.toml: line 2"), std::string::npos);
    const std::vector<KeymapMatch> ranked = index.rank({{0x0201, "nec", ""}});
    ASSERT_EQ(ranked.size(), 2u);
    EXPECT_EQ(ranked[0].file, (top / "etc/remote.toml").string());
    EXPECT_EQ(ranked[0].name, "mine");
    EXPECT_EQ(ranked[1].name, "another");

    const KeymapIndex none = KeymapIndex::load({(top / "missing").string()}, why);
    EXPECT_EQ(none.size(), 0u);
    EXPECT_NE(why.find("no keymap file could be read in " + (top / "missing").string()),
              std::string::npos)
        << why;
}

} // namespace
