// bench_boot_plan [ROUNDS]: the boot plan (receivers/boot_plan.h) on a tree the size of Debian's:
// an rc_maps.cfg of v4l-utils' length (149 table lines among comments), 149 keymap files in the
// /lib folder, 10 of them also in /etc, 150 kernel keymap modules. Prints the median over ROUNDS
// (default 200) of reading the file, listing the known tables, and planning one receiver (a stat
// of every line's file). Last line: "parse_us 40 tables_us 90 plan_us 600 total_us 730".
//
// Why: --boot-plan is a command a person waits for, and each line costs up to two stats; this
// says what a whole file costs. The tree is made under build/. Figures only; it never fails.
#include "receivers/boot_plan.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <class Work> double microseconds(Work&& work) {
    const Clock::time_point start = Clock::now();
    work();
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// The tree, and the file's text.
std::string madeUp(rireruv::BootFolders& f) {
    const std::string root = BUILD_SCRATCH "/bench_boot_plan";
    const std::string keymaps = root + "/modules/kernel/drivers/media/rc/keymaps";
    for (const std::string& d :
         {root, root + "/etc", root + "/lib", root + "/modules", root + "/modules/kernel",
          root + "/modules/kernel/drivers", root + "/modules/kernel/drivers/media",
          root + "/modules/kernel/drivers/media/rc", keymaps})
        mkdir(d.c_str(), 0755);
    f.etcKeymaps = root + "/etc";
    f.libKeymaps = root + "/lib";
    f.kernelModules = root + "/modules";
    std::string text = "# Keymaps table\n#\n# driver table file\n\n";
    for (int i = 0; i < 149; ++i) {
        const std::string n = std::to_string(i);
        std::ofstream(f.libKeymaps + "/table_" + n + ".toml") << "[[protocols]]\n";
        if (i % 15 == 0)
            std::ofstream(f.etcKeymaps + "/table_" + n + ".toml") << "[[protocols]]\n";
        const std::ofstream module(keymaps + "/rc-table-" + n + ".ko.xz");
        text += "*\trc-table-" + n + "                table_" + n + ".toml\n";
    }
    const std::ofstream other(keymaps + "/rc-other.ko.xz");
    return text + "# *\t*\t\t\t pinnacle310e.toml    # found in m920x.c\n";
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    rireruv::BootFolders f;
    const std::string text = madeUp(f);
    std::vector<double> parse, tables, plan, total;
    for (int round = 0; round < rounds; ++round) {
        rireruv::MapFile map;
        rireruv::KnownTables known;
        rireruv::BootPlan p;
        parse.push_back(microseconds([&] { map = rireruv::parseMapFile(text); }));
        tables.push_back(microseconds(
            [&] { known = rireruv::listKnownTables(f.kernelModules, {"rc-table-77"}); }));
        plan.push_back(
            microseconds([&] { p = rireruv::planBoot(map, "saa7134", "rc-table-77", f, known); }));
        total.push_back(parse.back() + tables.back() + plan.back());
        if (p.loads().size() != 1 || map.lines.size() != 149)
            std::fprintf(stderr, "bench_boot_plan: the plan is not the one made up\n");
    }
    std::printf("boot plan of a %zu-byte rc_maps.cfg (149 lines), median of %d rounds\n",
                text.size(), rounds);
    std::printf("parse_us %.0f tables_us %.0f plan_us %.0f total_us %.0f\n", median(parse),
                median(tables), median(plan), median(total));
    return 0;
}
