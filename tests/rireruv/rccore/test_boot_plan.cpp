// What the next boot loads (receivers/boot_plan.h), on made-up keymap folders under build/: the
// rc_maps.cfg lines of a saa7134 receiver whose kernel table is rc-pinnacle-color, each row a file
// and what ir-keytable -a makes of it. boot_plan_agrees.sh runs the real ir-keytable on such rows.
#include "receivers/boot_plan.h"
#include "tests/support/files.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using rireruv::BootPlan;

const char kKeymap[] = "[[protocols]]\nname = \"made_up\"\nprotocol = \"nec\"\n"
                       "[protocols.scancodes]\n0x40c = \"KEY_POWER\"\n";

std::string root() {
    return scratch("boot_plan");
}

void put(const std::string& path, const std::string& text = kKeymap) {
    for (size_t slash = sizeof BUILD_SCRATCH;
         (slash = path.find('/', slash + 1)) != std::string::npos;)
        mkdir(path.substr(0, slash).c_str(), 0755);
    std::ofstream(path) << text;
}

// lib: pinnacle_color, any, both; etc: my, both (hiding lib's), a folder; the kernel's keymaps:
// two modules and one built in.
rireruv::BootFolders madeUpTree() {
    rireruv::BootFolders f;
    f.etcKeymaps = root() + "/etc";
    f.libKeymaps = root() + "/lib";
    f.kernelModules = root() + "/modules";
    for (const char* name : {"pinnacle_color.toml", "any.toml", "both.toml"})
        put(f.libKeymaps + "/" + name);
    put(f.etcKeymaps + "/my.toml");
    put(f.etcKeymaps + "/both.toml");
    put(f.etcKeymaps + "/adir/x");
    put(f.kernelModules + "/kernel/drivers/media/rc/keymaps/rc-pinnacle-color.ko.xz", "");
    put(f.kernelModules + "/kernel/drivers/media/rc/keymaps/rc-avermedia.ko", "");
    put(f.kernelModules + "/modules.builtin", "kernel/drivers/media/rc/keymaps/rc-hauppauge.ko\n");
    return f;
}

// "loads 1:etc/my.toml 3:lib/any.toml(hides ...) | dead 2:missing_file", paths from the tree.
std::string summary(const BootPlan& plan) {
    static const char* const kOutcome[] = {"loads", "no_line", "stops", "refused"};
    std::string s = kOutcome[static_cast<int>(plan.outcome)];
    s += plan.at != 0 ? " " + std::to_string(plan.at) : "";
    for (const rireruv::PlannedLine& p : plan.matching) {
        if (plan.outcome == BootPlan::Outcome::Loads)
            s +=
                " " + std::to_string(p.line.number) + ":" + p.file.path.substr(root().size() + 1) +
                (p.file.hidden.empty() ? ""
                                       : "(hides " + p.file.hidden.substr(root().size() + 1) + ")");
    }
    for (const rireruv::DeadLine& d : plan.dead) {
        s += (&d == &plan.dead.front() ? " | dead" : "") + (" " + std::to_string(d.line.number));
        for (rireruv::DeadLine::Reason r : d.reasons)
            s += std::string(r == d.reasons.front() ? ":" : ",") + rireruv::reasonWord(r);
    }
    return s;
}

BootPlan plan(const std::string& config, const rireruv::BootFolders& f) {
    const rireruv::KnownTables known =
        rireruv::listKnownTables(f.kernelModules, {"rc-pinnacle-color"});
    return rireruv::planBoot(rireruv::parseMapFile(config), "saa7134", "rc-pinnacle-color", f,
                             known);
}

// Each rule of ir-keytable -a that decides what a receiver gets: the faults are a line read
// otherwise than ir-keytable reads it (a column, a comment, a long line, a CR), only the first
// matching line applied, the folders looked at in the wrong order, a missing file that loads the
// other lines, or a dead line nobody is told of.
TEST(BootPlan, EachLineIsReadAndAppliedAsIrKeytableDoes) {
    const rireruv::BootFolders f = madeUpTree();
    const std::string lib = f.libKeymaps;
    const std::vector<std::pair<std::string, std::string>> rows = {
        // lines that refuse the whole file first
        {"* * any.toml\nsaa7134 rc-pinnacle-color\n", "refused 2"},
        {"* * any.toml\n   ", "refused 2"}, // a last line of spaces, no newline
        {"* * any.toml\r\n\r\n", "refused 2 | dead 1:missing_file"}, // "any.toml\r"
        {"#" + std::string(2100, 'x') + "\n* * any.toml\n", "refused 2"},
        {"#" + std::string(2046, 'x') + "\n* * any.toml\n", "loads 3:lib/any.toml"},
        // a file that stops ir-keytable
        {"* * any.toml\nsaa7134 * gone.toml\n* * my.toml\n", "stops 2 | dead 2:missing_file"},
        {"* * adir\n", "stops 1 | dead 1:not_a_file"},
        {"* * /nonexistent/x.toml\n", "stops 1 | dead 1:missing_file"},
        // lines that match nothing
        {"saa7134 rc-pinacle-color my.toml\n", "no_line | dead 1:unknown_table"},
        {"bttv * gone.toml\nsaa7134 rc-avermedia any.toml\n", "no_line | dead 1:missing_file"},
        {"saa7134 rc-typo gone.toml\n", "no_line | dead 1:unknown_table,missing_file"},
        // lines that load
        {"* * any.toml\n", "loads 1:lib/any.toml"},
        {"saa7134 rc-pinnacle-color my.toml\n* rc-pinnacle-color pinnacle_color.toml\nbttv * "
         "any.toml\n"
         "* rc-hauppauge any.toml\n",
         "loads 1:etc/my.toml 2:lib/pinnacle_color.toml"},
        {"* rc-pinnacle-color both.toml\n", "loads 1:etc/both.toml(hides lib/both.toml)"},
        {"# c\n\n \t# indented\n \t \nsaa7134 rc-pinnacle-color my.toml # mine\n",
         "loads 5:etc/my.toml"},
        {"SAA7134\tRC-Pinnacle-Color  my.toml#note extra\n", "loads 1:etc/my.toml"},
        {"* * " + lib + "/any.toml\n", "loads 1:lib/any.toml"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.first.substr(0, 80));
        EXPECT_EQ(summary(plan(row.first, f)), row.second);
    }
}

// A mistyped table is said with the table meant; with no list of the kernel's keymaps, no table
// is called unknown (a false alarm would send a person after a right line).
TEST(BootPlan, AnUnknownTableNamesTheOneMeantAndNeedsTheKernelsList) {
    rireruv::BootFolders f = madeUpTree();
    const std::string typo = "saa7134 rc-pinacle-color my.toml\nbttv pinnacle-color my.toml\n";
    const BootPlan p = plan(typo, f);
    ASSERT_EQ(p.dead.size(), 2u);
    EXPECT_NE(p.dead[0].text.find("(did you mean rc-pinnacle-color?)"), std::string::npos);
    EXPECT_NE(p.dead[1].text.find("(did you mean rc-pinnacle-color?)"), std::string::npos);
    f.kernelModules = root() + "/no-modules";
    const rireruv::KnownTables none = rireruv::listKnownTables(f.kernelModules, {});
    EXPECT_FALSE(none.listed);
    EXPECT_NE(none.why.find("cannot list"), std::string::npos) << none.why;
    EXPECT_TRUE(plan(typo, f).dead.empty());
}

// The line to add for a keymap of the person's: faults are a line that would not match this
// receiver, a copy asked for a file already in place, a keymap said to be loaded that another
// line's keys override, and a name rc_maps.cfg would cut.
TEST(BootPlan, TheLineToAddLoadsTheKeymapFirst) {
    const rireruv::BootFolders f = madeUpTree();
    put(root() + "/learnt/remote.toml");
    put(root() + "/learnt/my.toml", "other");
    put(root() + "/learnt/my remote.toml");
    const std::string etc = f.etcKeymaps, mine = "saa7134 rc-pinnacle-color my.toml\n";
    struct Row {
        std::string config, keymap, expected;
    };
    const std::vector<Row> rows = {
        {mine, root() + "/learnt/my remote.toml", "error: cannot be named in rc_maps.cfg"},
        {mine, root() + "/learnt/gone.toml", "error: No such file or directory"},
        {mine, "gone.toml", "error: is no file in"},
        {"* * any.toml\n", root() + "/learnt/remote.toml",
         "saa7134 rc-pinnacle-color remote.toml copy:etc/remote.toml before:1 by:0 first:0"},
        {mine, root() + "/learnt/my.toml",
         "saa7134 rc-pinnacle-color my.toml copy:etc/my.toml(replaces) before:1 by:0 first:0"},
        {mine + "* * any.toml\n", etc + "/my.toml",
         "saa7134 rc-pinnacle-color my.toml copy: before:1 by:1 first:1"},
        {"* * any.toml\n" + mine, etc + "/my.toml",
         "saa7134 rc-pinnacle-color my.toml copy: before:1 by:2 first:0"},
        {"", "any.toml", "saa7134 rc-pinnacle-color any.toml copy: before:0 by:0 first:0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.config + row.keymap);
        const rireruv::LineToAdd a =
            rireruv::lineToAdd(plan(row.config, f), row.keymap, "saa7134", "rc-pinnacle-color", f);
        const std::string got =
            !a.error.empty()
                ? "error: " + a.error
                : a.line + " copy:" + (a.copyTo.empty() ? "" : a.copyTo.substr(root().size() + 1)) +
                      (a.replaces ? "(replaces)" : "") + " before:" + std::to_string(a.before) +
                      " by:" + std::to_string(a.loadedBy) +
                      " first:" + std::to_string(a.loadedFirst);
        if (row.expected.compare(0, 7, "error: ") == 0)
            EXPECT_NE(got.find(row.expected.substr(7)), std::string::npos) << got;
        else
            EXPECT_EQ(got, row.expected);
    }
}

} // namespace
