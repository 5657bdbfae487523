// The boot plan: rc_maps.cfg read as ir-keytable -a reads it, for one receiver, and said.
#include "terminal/boot_plan.h"

#include "receivers/find.h"
#include "receivers/pick.h"
#include "receivers/protocols.h"
#include "rireruv/shown.h"
#include "terminal/json_lines.h"

#include <cstring>

namespace terminal {

namespace {

const int kExitSame = 0, kExitOther = 1, kExitFailed = 2;
const char kUdevConfig[] = "/etc/rc_maps.cfg"; // what 70-infrared.rules hands ir-keytable

using rireruv::BootPlan;
using rireruv::shown;

std::string orNull(const std::string& text) {
    return text.empty() ? "null" : jsonString(text);
}
std::string orNull(unsigned number) {
    return number == 0 ? "null" : std::to_string(number);
}

class Planner {
  public:
    Planner(const BootPlanOptions& o, std::FILE* out) : m_o(o), m_out{out} {}
    int run();

  private:
    int fail(const std::string& why);
    void say(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }
    void now();
    void lines(const BootPlan& plan);
    void deadLines(const BootPlan& plan);
    void addLine(const rireruv::LineToAdd& add);
    std::string nothingBecause(const BootPlan& plan) const;
    std::string loadsBecause(const BootPlan& plan, const rireruv::LineToAdd* add, bool& same) const;
    // Where /lib/udev/rc_keymaps keeps the kernel's table now, or "".
    std::string packaged() const {
        const std::string file = rireruv::packagedFile(m_r->keymap);
        return file.empty() ? "" : m_o.folders.libKeymaps + "/" + file;
    }
    int verdict(const BootPlan& plan, const rireruv::LineToAdd* add);

    const BootPlanOptions& m_o;
    JsonLines m_out;
    const rireruv::Receiver* m_r = nullptr;
};

int Planner::fail(const std::string& why) {
    m_out.message(m_o.program + " --boot-plan: " + why);
    m_out.line("{\"event\":\"verdict\",\"verdict\":\"failed\",\"status\":2}");
    return kExitFailed;
}

void Planner::lines(const BootPlan& plan) {
    static const char* const kWhere[] = {"etc", "lib", "as_given", "nowhere"};
    for (const rireruv::PlannedLine& p : plan.matching) {
        m_out.line(
            "{\"event\":\"line\",\"number\":" + std::to_string(p.line.number) +
            ",\"driver\":" + jsonString(p.line.driver) + ",\"table\":" + jsonString(p.line.table) +
            ",\"file\":" + jsonString(p.line.file) +
            ",\"path\":" + orNull(p.file.exists ? p.file.path : "") + ",\"from\":\"" +
            kWhere[static_cast<int>(p.file.where)] + "\",\"hides\":" + orNull(p.file.hidden) +
            ",\"loaded\":" + (plan.outcome == BootPlan::Outcome::Loads ? "true" : "false") + "}");
        say(shown(m_o.config) + ":" + std::to_string(p.line.number) + " matches (" +
            shown(p.line.driver) + " " + shown(p.line.table) +
            "): " + (p.file.exists ? shown(p.file.path) : shown(p.line.file) + ", found nowhere") +
            (p.file.hidden.empty() ? "" : ", in place of " + shown(p.file.hidden)));
    }
}

void Planner::deadLines(const BootPlan& plan) {
    for (const rireruv::DeadLine& d : plan.dead) {
        std::string why;
        for (rireruv::DeadLine::Reason r : d.reasons)
            why += std::string(why.empty() ? "" : ",") + "\"" + rireruv::reasonWord(r) + "\"";
        const std::string text =
            d.text + (d.stops() ? ": where the line matches, ir-keytable stops there and loads "
                                  "nothing"
                                : "");
        m_out.line("{\"event\":\"dead_line\",\"number\":" + std::to_string(d.line.number) +
                   ",\"driver\":" + jsonString(d.line.driver) + ",\"table\":" +
                   jsonString(d.line.table) + ",\"file\":" + jsonString(d.line.file) +
                   ",\"why\":[" + why + "],\"text\":" + jsonString(text) + "}");
        say(shown(m_o.config) + ":" + std::to_string(d.line.number) + " can never load " +
            "anything: " + text);
    }
}

void Planner::addLine(const rireruv::LineToAdd& add) {
    std::string apply = "sudo ir-keytable -a " + m_o.config + " -s " + m_r->name;
    std::string json = "[" + jsonString(apply);
    const std::string event = m_r->eventNode.substr(m_r->eventNode.rfind('/') + 1);
    if (m_o.config == kUdevConfig && !event.empty()) { // the rule reads that file alone
        const std::string trigger = "sudo udevadm trigger --action=add /sys/class/input/" + event;
        json += "," + jsonString(trigger);
        apply += " (or " + trigger + ")";
    }
    m_out.line("{\"event\":\"add_line\",\"line\":" + jsonString(add.line) +
               ",\"config\":" + jsonString(m_o.config) + ",\"before\":" + orNull(add.before) +
               ",\"copy_to\":" + orNull(add.copyTo) +
               ",\"replaces\":" + (add.replaces ? "true" : "false") +
               ",\"loaded_by\":" + orNull(add.loadedBy) + ",\"apply_now\":" + json + "]}");
    say("to load " + shown(m_o.keymap) + " at boot: " +
        (add.copyTo.empty() ? ""
                            : "copy it to " + shown(add.copyTo) +
                                  (add.replaces ? " (in place of the file there)" : "") + "; ") +
        (add.loadedBy != 0
             ? "move line " + std::to_string(add.loadedBy) + " of " + shown(m_o.config) +
                   " above line " + std::to_string(add.before)
             : "add to " + shown(m_o.config) +
                   (add.before != 0 ? " above line " + std::to_string(add.before) : "") +
                   " the line \"" + shown(add.line) + "\"") +
        "; to apply it now: " + shown(apply));
}

std::string Planner::nothingBecause(const BootPlan& plan) const {
    const std::string at = shown(m_o.config) + " line " + std::to_string(plan.at);
    if (plan.outcome == BootPlan::Outcome::Refused)
        return at + " has fewer than three columns: ir-keytable refuses the whole file and "
                    "loads nothing, for every receiver";
    const std::string keeps = "the kernel's own " + m_r->keymap + " stays";
    std::string file;
    for (const rireruv::DeadLine& d : plan.dead)
        file = d.line.number == plan.at ? " (" + d.text + ")" : file;
    if (plan.outcome == BootPlan::Outcome::Stops)
        return at + " matches, but its file cannot be loaded" + file +
               ": ir-keytable stops there and loads nothing; " + keeps;
    return "no line matches driver " + m_r->driverName() + " and table " +
           (m_r->keymap.empty() ? "(none)" : m_r->keymap) + ": ir-keytable loads nothing; " + keeps;
}

// Why a plan that loads files does or does not load what is wanted; same says which.
std::string Planner::loadsBecause(const BootPlan& plan, const rireruv::LineToAdd* add,
                                  bool& same) const {
    std::string list;
    for (const std::string& path : plan.loads())
        list += (list.empty() ? "" : ", ") + shown(path);
    if (add == nullptr) {
        same = !packaged().empty();
        for (const std::string& path : plan.loads())
            same = same && path == packaged();
        return "it clears " + m_r->keymap + " and loads " + list +
               (same ? ", the packaged copy of that table: the same keys as now" : "");
    }
    same = add->loadedFirst;
    if (same)
        return "it loads " + list + ": " + shown(m_o.keymap) + " first";
    if (add->loadedBy != 0)
        return "it loads " + list + ": line " + std::to_string(add->before) + "'s file before " +
               shown(m_o.keymap) + " (line " + std::to_string(add->loadedBy) +
               "), and where both map a scancode the earlier line's key is the one left";
    return "it loads " + list + ", not " + shown(m_o.keymap);
}

int Planner::verdict(const BootPlan& plan, const rireruv::LineToAdd* add) {
    bool same = false;
    const std::string why = plan.outcome == BootPlan::Outcome::Loads ? loadsBecause(plan, add, same)
                                                                     : nothingBecause(plan);
    const std::string word = plan.outcome != BootPlan::Outcome::Loads ? "nothing"
                             : same                                   ? "same"
                                                                      : "differs";
    const int status = m_out.lost ? kExitFailed : same ? kExitSame : kExitOther;
    std::string json;
    for (const std::string& path : plan.loads())
        json += (json.empty() ? "" : ",") + jsonString(path);
    const size_t dead = plan.dead.size();
    say(m_r->name + " at the next boot: " + why +
        (dead == 0 ? ""
                   : "; " + std::to_string(dead) + (dead == 1 ? " line" : " lines") + " of " +
                         shown(m_o.config) + " can never load anything (above)"));
    static const char* const kOutcome[] = {"loads", "no_line", "stops", "refused"};
    m_out.line("{\"event\":\"verdict\",\"verdict\":\"" + word +
               "\",\"status\":" + std::to_string(status) + ",\"outcome\":\"" +
               kOutcome[static_cast<int>(plan.outcome)] + "\",\"at\":" + orNull(plan.at) +
               ",\"loads\":[" + json + "],\"dead_lines\":" + std::to_string(plan.dead.size()) +
               ",\"why\":" + jsonString(why) + "}");
    return m_out.lost ? kExitFailed : status;
}

void Planner::now() {
    m_out.line("{\"event\":\"now\",\"receiver\":" + jsonString(m_r->name) +
               ",\"driver\":" + orNull(m_r->driver) + ",\"table\":" + orNull(m_r->keymap) +
               ",\"packaged\":" + orNull(packaged()) + "}");
    say(m_r->describe() + ": the kernel's table now is " +
        (m_r->keymap.empty() ? "unnamed" : m_r->keymap));
}

int Planner::run() {
    const std::vector<rireruv::Receiver> found = rireruv::listReceivers();
    const rireruv::Target target = rireruv::pickReceiver(m_o.device, found);
    if (target.receiver == nullptr)
        return fail(target.error);
    m_r = target.receiver;
    std::string text, why;
    if (!rireruv::readWhole(m_o.config, text, why)) // a CR, a NUL, spaces: each counts
        return fail("cannot read " + shown(m_o.config) + " (" + why + ")");
    std::vector<std::string> tables;
    tables.reserve(found.size());
    for (const rireruv::Receiver& r : found)
        tables.push_back(r.keymap);
    const rireruv::KnownTables known = rireruv::listKnownTables(m_o.folders.kernelModules, tables);
    const BootPlan plan = rireruv::planBoot(rireruv::parseMapFile(text), m_r->driver, m_r->keymap,
                                            m_o.folders, known);
    rireruv::LineToAdd add;
    if (!m_o.keymap.empty()) {
        add = rireruv::lineToAdd(plan, m_o.keymap, m_r->driver, m_r->keymap, m_o.folders);
        if (!add.error.empty())
            return fail(add.error);
    }
    now();
    lines(plan);
    deadLines(plan);
    if (!known.listed)
        m_out.message("table names not checked against the kernel's keymaps: " + known.why);
    if (!m_o.keymap.empty() && !add.loadedFirst)
        addLine(add);
    return verdict(plan, m_o.keymap.empty() ? nullptr : &add);
}

} // namespace

std::string parseBootPlanOptions(const std::vector<std::string>& args, BootPlanOptions& options) {
    bool config = false, keymap = false;
    for (size_t i = 0; i < args.size(); i += 2) {
        const std::string& name = args[i];
        bool* seen = name == "--config" ? &config : name == "--keymap" ? &keymap : nullptr;
        if (seen == nullptr)
            return "\"" + name +
                   "\" is not an option of --boot-plan (--config FILE, --keymap FILE)";
        if (i + 1 == args.size() || args[i + 1].empty())
            return name + " needs a file after it";
        if (*seen)
            return name + " is given twice";
        *seen = true;
        (name == "--config" ? options.config : options.keymap) = args[i + 1];
    }
    return "";
}

int runBootPlan(const BootPlanOptions& options, std::FILE* out) {
    JsonLines start{out};
    start.line("{\"event\":\"start\",\"schema\":1,\"mode\":\"boot_plan\",\"program\":" +
               jsonString(options.program) + ",\"version\":" + jsonString(options.version) +
               ",\"device\":" + jsonString(options.device) + ",\"config\":" +
               jsonString(options.config) + ",\"keymap\":" + orNull(options.keymap) + "}");
    Planner planner(options, out);
    return start.lost ? kExitFailed : planner.run();
}

} // namespace terminal
