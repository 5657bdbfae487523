// test-rireruv --boot-plan: what the next boot loads into a receiver's keymap, as udev's
// "ir-keytable -a /etc/rc_maps.cfg -s rcN" will load it (receivers/boot_plan.h has its rules),
// beside the table the kernel has now; every line of rc_maps.cfg that can never load anything
// (a table no kernel keymap has, a file in neither keymap folder), with its number; and for
// --keymap FILE, the line to add, where the file goes and the command that applies it now. It
// changes no file: a boot plan is read before anything is edited.
//
// What is loaded now is the kernel's table by its name (NAME= in rcN/uevent), which ir-keytable's
// writes never change: so without --keymap the plan matches it when it loads nothing but the
// packaged copy of that table, and with --keymap when it loads that file before any other.
//
// JSON lines on standard output, as --check's ("start", "now", a "line" for each line that
// matches the receiver, a "dead_line" for each line that never can, "add_line", "verdict"), a
// summary on standard error. Exit 0 when the boot plan loads what is loaded now (or the --keymap
// file first); 1 when it loads something else, or nothing (no line matches; ir-keytable stops at
// a missing file or refuses the whole file), the verdict saying why; 2 when it could not run (no
// such receiver, rc_maps.cfg unreadable, a --keymap no line can name) or standard output failed.
#pragma once

#include "receivers/boot_plan.h"
#include "terminal/modes.h"

#include <cstdio>
#include <string>
#include <vector>

namespace terminal {

struct BootPlanOptions : ModeOptions {
    std::string config = "/etc/rc_maps.cfg"; // --config FILE: the file udev's rule names
    std::string keymap;                      // --keymap FILE: the keymap the boot should load
    rireruv::BootFolders folders = rireruv::systemBootFolders();
};

// Reads "--config FILE" and "--keymap FILE"; an empty string, or why they are wrong.
std::string parseBootPlanOptions(const std::vector<std::string>& args, BootPlanOptions& options);

int runBootPlan(const BootPlanOptions& options, std::FILE* out);

} // namespace terminal
