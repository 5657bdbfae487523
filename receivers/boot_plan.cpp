// The next boot's keymap, worked out as ir-keytable -a works it out (boot_plan.h has its rules).
#include "receivers/boot_plan.h"

#include "rireruv/shown.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <sys/utsname.h>

namespace rireruv {

namespace {

const size_t kFgetsBytes = 2047; // keytable.c reads the file with fgets into char s[2048]
const char kKeymapsInKernel[] = "kernel/drivers/media/rc/keymaps";

std::string lower(std::string text) {
    // strcasecmp folds ASCII alone, in every locale ir-keytable may run in
    for (char& c : text)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

// strtok's walk: delimiters skipped, then a token up to the next one, which is eaten.
bool nextToken(const std::string& s, size_t& at, const char* delimiters, std::string& token) {
    at = s.find_first_not_of(delimiters, at);
    if (at == std::string::npos)
        return false;
    const size_t end = s.find_first_of(delimiters, at);
    token = s.substr(at, end - at);
    at = end == std::string::npos ? s.size() : end + 1;
    return true;
}

bool statOf(const std::string& path, struct stat& st) {
    return !path.empty() && stat(path.c_str(), &st) == 0;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return statOf(a, sa) && statOf(b, sb) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// A copy counts as the file: a person told to copy a keymap into /etc/rc_keymaps has done so.
bool sameBytes(const std::string& a, const std::string& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    return fa && fb &&
           std::equal(std::istreambuf_iterator<char>(fa), std::istreambuf_iterator<char>(),
                      std::istreambuf_iterator<char>(fb), std::istreambuf_iterator<char>());
}

// A file of the kernel's keymaps folder ("rc-avermedia.ko.xz") as the table it registers.
std::string tableOfModule(const std::string& name) {
    const size_t ko = name.find(".ko");
    return name.compare(0, 3, "rc-") == 0 && ko != std::string::npos ? lower(name.substr(0, ko))
                                                                     : "";
}

size_t distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Why a line can never load anything, in words, after its reasons.
std::string deadText(const DeadLine& d, const KeymapLookup& f, const BootFolders& folders,
                     const KnownTables& known) {
    std::string text;
    for (DeadLine::Reason r : d.reasons) {
        text += text.empty() ? "" : "; ";
        if (r == DeadLine::Reason::UnknownTable) {
            const std::string meant = known.nearest(d.line.table);
            text += shown(d.line.table) + " is no table this kernel has, so the line matches no " +
                    "receiver" + (meant.empty() ? "" : " (did you mean " + meant + "?)");
        } else if (r == DeadLine::Reason::MissingFile) {
            text += f.where == KeymapLookup::Where::AsGiven
                        ? shown(f.path) + " does not exist"
                        : shown(d.line.file) + " is in neither " + shown(folders.etcKeymaps) +
                              " nor " + shown(folders.libKeymaps);
        } else {
            text += shown(f.path) + " is no keymap file ir-keytable can read (a folder?)";
        }
    }
    return text;
}

// The keymap modules built into the kernel, from its modules.builtin; false when none is.
bool builtInTables(const std::string& kernelModules, std::vector<std::string>& names) {
    const std::string prefix = std::string(kKeymapsInKernel) + "/";
    std::ifstream builtin(kernelModules + "/modules.builtin");
    bool any = false;
    for (std::string line; std::getline(builtin, line);) {
        const std::string t = line.compare(0, prefix.size(), prefix) == 0
                                  ? tableOfModule(line.substr(prefix.size()))
                                  : "";
        if (!t.empty())
            names.push_back(t);
        any = any || !t.empty();
    }
    return any;
}

// Where ir-keytable is to find keymap, named name in a line, once the file is where add says
// (add.copyTo); "" with add.error when no line can load it.
std::string destination(const std::string& keymap, const std::string& name,
                        const BootFolders& folders, LineToAdd& add) {
    struct stat st {};
    if (name.empty() || name.find_first_of(" \t#\n\r") != std::string::npos) {
        add.error = shown(keymap) + " cannot be named in rc_maps.cfg, where a file's name ends " +
                    "at a space, a tab or '#': rename it";
    } else if (keymap.find('/') == std::string::npos) { // a name, as a line gives it
        const KeymapLookup f = lookUpKeymap(keymap, folders);
        if (f.readable)
            return f.path;
        add.error = shown(keymap) + " is no file in " + shown(folders.etcKeymaps) + " or " +
                    shown(folders.libKeymaps) + ": give its path";
    } else if (!statOf(keymap, st)) {
        add.error = shown(keymap) + ": " + std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        add.error = shown(keymap) + " is not a file";
    } else {
        std::string dest = folders.etcKeymaps + "/" + name;
        if (!sameFile(keymap, dest) && !sameBytes(keymap, dest)) {
            add.copyTo = dest;
            add.replaces = statOf(dest, st);
        }
        return dest;
    }
    return "";
}

} // namespace

BootFolders systemBootFolders() {
    BootFolders folders;
    utsname u{};
    if (uname(&u) == 0)
        folders.kernelModules = std::string("/lib/modules/") + u.release;
    return folders;
}

MapFile parseMapFile(const std::string& text) {
    MapFile map;
    unsigned number = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t newline = text.find('\n', at);
        const size_t end =
            std::min(newline == std::string::npos ? text.size() : newline + 1, at + kFgetsBytes);
        std::string s = text.substr(at, end - at);
        at = end;
        s.erase(std::min(s.find('\0'), s.size())); // what C's string functions see
        ++number;
        size_t p = std::min(s.find_first_not_of(" \t"), s.size());
        if (p < s.size() && (s[p] == '\n' || s[p] == '#'))
            continue;
        MapLine line;
        line.number = number;
        if (!nextToken(s, p, "\t ", line.driver) || !nextToken(s, p, "\t ", line.table) ||
            !nextToken(s, p, "\t #\n", line.file)) {
            map.refusedAt = number; // "Invalid parameter on line N": no line of it is used
            return map;
        }
        map.lines.push_back(line);
    }
    return map;
}

bool lineMatches(const MapLine& line, const std::string& driver, const std::string& table) {
    auto fits = [](const std::string& column, const std::string& name) {
        return column == "*" || (!name.empty() && lower(column) == lower(name));
    };
    return fits(line.driver, driver) && fits(line.table, table);
}

KeymapLookup lookUpKeymap(const std::string& file, const BootFolders& folders) {
    KeymapLookup f;
    struct stat st {};
    if (file.empty())
        return f;
    if (file[0] == '/' || (file[0] == '.' && file.find('/') != std::string::npos)) {
        f.where = KeymapLookup::Where::AsGiven;
        f.path = file[0] == '/' ? file
                                : (folders.workingFolder == "/" ? "" : folders.workingFolder) +
                                      "/" + (file.compare(0, 2, "./") == 0 ? file.substr(2) : file);
        f.exists = statOf(f.path, st);
    } else if (statOf(folders.etcKeymaps + "/" + file, st)) {
        f.where = KeymapLookup::Where::Etc;
        f.path = folders.etcKeymaps + "/" + file;
        struct stat hidden {};
        if (statOf(folders.libKeymaps + "/" + file, hidden))
            f.hidden = folders.libKeymaps + "/" + file;
    } else if (statOf(folders.libKeymaps + "/" + file, st)) {
        f.where = KeymapLookup::Where::Lib;
        f.path = folders.libKeymaps + "/" + file;
    }
    f.exists =
        f.exists || f.where == KeymapLookup::Where::Etc || f.where == KeymapLookup::Where::Lib;
    f.readable = f.exists && S_ISREG(st.st_mode);
    return f;
}

bool KnownTables::has(const std::string& table) const {
    return std::binary_search(names.begin(), names.end(), lower(table));
}

std::string KnownTables::nearest(const std::string& table) const {
    const std::string t = lower(table);
    std::string best;
    size_t bestDistance = std::min<size_t>(3, t.size() / 2); // a guess, not another name
    for (const std::string& name : names) {
        const size_t d = std::min(distance(t, name), distance("rc-" + t, name));
        if (d <= bestDistance && (best.empty() || d < bestDistance)) {
            best = name;
            bestDistance = d;
        }
    }
    return best;
}

KnownTables listKnownTables(const std::string& kernelModules, const std::vector<std::string>& now) {
    KnownTables known;
    // rc-core's own, registered by rc-main.c with no module of their own
    known.names = {"rc-empty", "rc-cec"};
    for (const std::string& table : now)
        if (!table.empty())
            known.names.push_back(lower(table));
    const std::string folder = kernelModules + "/" + kKeymapsInKernel;
    if (DIR* dir = kernelModules.empty() ? nullptr : opendir(folder.c_str())) {
        known.listed = true;
        while (const dirent* entry = readdir(dir))
            if (!tableOfModule(entry->d_name).empty())
                known.names.push_back(tableOfModule(entry->d_name));
        closedir(dir);
    } else {
        const int err = errno;
        known.why = kernelModules.empty()
                        ? "no modules folder was given"
                        : "cannot list " + shown(folder) + " (" + std::strerror(err) + ")";
    }
    if (!kernelModules.empty() && builtInTables(kernelModules, known.names))
        known.listed = true;
    std::sort(known.names.begin(), known.names.end());
    known.names.erase(std::unique(known.names.begin(), known.names.end()), known.names.end());
    return known;
}

bool DeadLine::stops() const {
    return std::any_of(reasons.begin(), reasons.end(),
                       [](Reason r) { return r != Reason::UnknownTable; });
}

const char* reasonWord(DeadLine::Reason reason) {
    return reason == DeadLine::Reason::UnknownTable  ? "unknown_table"
           : reason == DeadLine::Reason::MissingFile ? "missing_file"
                                                     : "not_a_file";
}

std::vector<std::string> BootPlan::loads() const {
    std::vector<std::string> paths;
    for (const PlannedLine& p : matching)
        if (outcome == Outcome::Loads)
            paths.push_back(p.file.path);
    return paths;
}

BootPlan planBoot(const MapFile& map, const std::string& driver, const std::string& table,
                  const BootFolders& folders, const KnownTables& known) {
    BootPlan plan;
    for (const MapLine& line : map.lines) {
        const KeymapLookup file = lookUpKeymap(line.file, folders);
        DeadLine dead{line, {}, ""};
        if (known.listed && line.table != "*" && !known.has(line.table))
            dead.reasons.push_back(DeadLine::Reason::UnknownTable);
        if (!file.exists)
            dead.reasons.push_back(DeadLine::Reason::MissingFile);
        else if (!file.readable)
            dead.reasons.push_back(DeadLine::Reason::NotAFile);
        if (!dead.reasons.empty()) {
            dead.text = deadText(dead, file, folders, known);
            plan.dead.push_back(dead);
        }
        if (!lineMatches(line, driver, table))
            continue;
        plan.matching.push_back({line, file});
        if (plan.at == 0 && !file.readable)
            plan.at = line.number;
    }
    plan.outcome = map.refusedAt != 0      ? BootPlan::Outcome::Refused
                   : plan.at != 0          ? BootPlan::Outcome::Stops
                   : plan.matching.empty() ? BootPlan::Outcome::NoLine
                                           : BootPlan::Outcome::Loads;
    plan.at = map.refusedAt != 0 ? map.refusedAt : plan.at;
    return plan;
}

std::string packagedFile(const std::string& table) {
    // The two tables v4l-utils 1.22's rc_maps.cfg gives a file named otherwise
    static const char* const kNamedOtherwise[][2] = {{"rc-twinhan1027", "twinhan_vp1027_dvbs.toml"},
                                                     {"rc-videostrong-kii-pro", "kii_pro.toml"}};
    const std::string t = lower(table);
    for (const auto& pair : kNamedOtherwise)
        if (t == pair[0])
            return pair[1];
    if (t.compare(0, 3, "rc-") != 0 || t.size() == 3)
        return "";
    std::string file = t.substr(3);
    std::replace(file.begin(), file.end(), '-', '_');
    return file + ".toml";
}

LineToAdd lineToAdd(const BootPlan& plan, const std::string& keymap, const std::string& driver,
                    const std::string& table, const BootFolders& folders) {
    LineToAdd add;
    const std::string name = keymap.substr(keymap.rfind('/') + 1);
    add.path = destination(keymap, name, folders, add);
    if (!add.error.empty())
        return add;
    add.line = (driver.empty() ? "*" : driver) + " " + (table.empty() ? "*" : table) + " " + name;
    add.before = plan.matching.empty() ? 0 : plan.matching.front().line.number;
    for (const PlannedLine& p : plan.matching)
        if (add.loadedBy == 0 && add.copyTo.empty() && sameFile(p.file.path, add.path))
            add.loadedBy = p.line.number;
    add.loadedFirst = plan.outcome == BootPlan::Outcome::Loads && add.loadedBy == add.before;
    return add;
}

} // namespace rireruv
