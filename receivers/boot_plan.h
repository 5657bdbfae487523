// What the next boot loads into a receiver's keymap. udev's 70-infrared.rules runs
// "ir-keytable -a /etc/rc_maps.cfg -s rcN" when a receiver's event device appears; this works out
// what that run does, without running it, so a person can see a mistyped line before a reboot
// hides it (ir-keytable skips a line that matches nothing without a word).
//
// The rules are those of v4l-utils 1.22's keytable.c (Debian 12's ir-keytable), kept exact
// because a person edits /etc on the strength of the answer:
// - rc_maps.cfg is read as fgets reads it, 2047 bytes at most at a time: a longer line goes on as
//   a line of its own, and counts as one;
// - spaces and tabs at the start are skipped; a line then empty or starting with '#' says
//   nothing. Otherwise it is "driver table file": driver and table end at a space or a tab, the
//   file also at '#' or a newline, and whatever follows the file is ignored;
// - a line of fewer than three columns (a blank line ending in CR among them) makes ir-keytable
//   refuse the whole file: nothing is loaded for any receiver;
// - a line matches when its driver and its table equal the receiver's (DRV_NAME= and NAME= of
//   rcN/uevent), case aside, or are "*"; a receiver without one is matched there by "*" alone;
// - every matching line is applied, in the file's order: the table is cleared once and every
//   file's keys are written. ir-keytable writes its list of keys last line first, so where two
//   files map one scancode the earlier line's key is the one left;
// - a file starting with '/', or with '.' and holding a '/', is opened as given (at boot from
//   udev's working folder, "/", as systemd starts every service); any other is looked for in
//   /etc/rc_keymaps, then in /lib/udev/rc_keymaps, and the first that exists is taken, of
//   whatever kind;
// - a matching line whose file is in neither folder, or is no file ir-keytable can read, stops
//   it there: nothing at all is loaded, the earlier matching lines' files neither.
// The folders are BootFolders' so the tests can point them at made-up trees.
#pragma once

#include <string>
#include <vector>

namespace rireruv {

struct BootFolders {
    std::string etcKeymaps = "/etc/rc_keymaps";
    std::string libKeymaps = "/lib/udev/rc_keymaps";
    std::string workingFolder = "/"; // a "./name" file is taken from here
    // Where the running kernel's modules are ("/lib/modules/<release>"): its keymap modules
    // name every table a receiver can have. "": not looked at.
    std::string kernelModules;
};
// The folders ir-keytable uses, with the running kernel's modules folder.
BootFolders systemBootFolders();

struct MapLine {
    unsigned number = 0; // as ir-keytable counts them, and so as its messages name them
    std::string driver, table, file;
};

struct MapFile {
    std::vector<MapLine> lines; // the lines that say something, in the file's order
    unsigned refusedAt = 0;     // the line of fewer than three columns that refuses the file
};
MapFile parseMapFile(const std::string& text);

// Whether line applies to a receiver of this driver and table ("" where it has none).
bool lineMatches(const MapLine& line, const std::string& driver, const std::string& table);

// Where ir-keytable finds a line's file.
struct KeymapLookup {
    enum class Where { Etc, Lib, AsGiven, Nowhere };
    Where where = Where::Nowhere;
    std::string path;   // what it opens ("" for Nowhere)
    std::string hidden; // the /lib/udev/rc_keymaps file of the same name an /etc one hides
    bool exists = false;
    bool readable = false; // a regular file (a folder is found, and then fails)
};
KeymapLookup lookUpKeymap(const std::string& file, const BootFolders& folders);

// The tables a receiver can have: the kernel's keymap modules (as files under
// kernel/drivers/media/rc/keymaps, or built in, in modules.builtin), rc-core's own, and those the
// receivers have now. Names in lower case, as lines match them.
struct KnownTables {
    bool listed = false; // false: the kernel's keymaps could not be listed, and why says so
    std::string why;
    std::vector<std::string> names; // sorted
    bool has(const std::string& table) const;
    // The known table a mistyped one most likely meant, or "".
    std::string nearest(const std::string& table) const;
};
KnownTables listKnownTables(const std::string& kernelModules, const std::vector<std::string>& now);

// A line that can never load anything, and each reason, as words a person reads.
struct DeadLine {
    enum class Reason { UnknownTable, MissingFile, NotAFile };
    MapLine line;
    std::vector<Reason> reasons;
    std::string text; // "rc-pinacle-color is no table this kernel has (did you mean ...?)"
    // Where it matches, a line of MissingFile or NotAFile stops ir-keytable: nothing is loaded.
    bool stops() const;
};
const char* reasonWord(DeadLine::Reason reason); // "unknown_table", ...

struct PlannedLine {
    MapLine line;
    KeymapLookup file;
};

struct BootPlan {
    enum class Outcome {
        Loads,   // every matching line's file is written
        NoLine,  // no line matches: the kernel's own table stays
        Stops,   // a matching line's file cannot be had: nothing is loaded
        Refused, // a line of fewer than three columns: nothing is loaded
    };
    Outcome outcome = Outcome::NoLine;
    unsigned at = 0; // Stops: the line ir-keytable stops at; Refused: the line it refuses
    std::vector<PlannedLine> matching; // every line that matches the receiver, in order
    std::vector<DeadLine> dead;
    // The files written, in order, for Loads.
    std::vector<std::string> loads() const;
};
BootPlan planBoot(const MapFile& map, const std::string& driver, const std::string& table,
                  const BootFolders& folders, const KnownTables& known);

// /lib/udev/rc_keymaps' copy of the kernel's table, as v4l-utils names it ("rc-pinnacle-color"
// is pinnacle_color.toml): loading it at boot loads the same keys the kernel has.
std::string packagedFile(const std::string& table);

// What to add to rc_maps.cfg so that the next boot loads keymap (a path, or a file's name as a
// line gives it) into a receiver of this driver and table.
struct LineToAdd {
    std::string error;        // why no line can load it (then nothing else is set)
    std::string line;         // "saa7134 rc-pinnacle-color my_remote.toml"
    std::string path;         // where ir-keytable will find it: "/etc/rc_keymaps/my_remote.toml"
    std::string copyTo;       // where to put the file first, "" when it is there already
    bool replaces = false;    // copyTo holds another file now
    unsigned before = 0;      // the first line that matches now: above it, its keys win; 0: the end
    unsigned loadedBy = 0;    // the first matching line that loads this very file now, or 0
    bool loadedFirst = false; // the plan loads it already, before any other file
};
LineToAdd lineToAdd(const BootPlan& plan, const std::string& keymap, const std::string& driver,
                    const std::string& table, const BootFolders& folders);

} // namespace rireruv
