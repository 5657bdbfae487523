// The identification: the keymap files read once, the receiver's node read, the presses so far
// ranked again after each one. Longer than the other modes by what a person is told after each
// press and at the end: what to do next differs with each way an identification ends.
#include "terminal/identify.h"

#include "receivers/find.h"
#include "receivers/identify.h"
#include "receivers/keymap.h"
#include "receivers/pick.h"
#include "receivers/read.h"
#include "receivers/undo.h"
#include "terminal/json_lines.h"
#include "terminal/modes.h"

#include <cstdlib>
#include <ctime>

namespace terminal {

namespace {

const int kExitFound = 0, kExitNone = 1, kExitFailed = 2, kExitSignalled = 128;
const size_t kShown = 3; // keymaps said after each press: enough to see a close second

using rireruv::HeardPress;
using rireruv::KeymapIndex;
using rireruv::KeymapMatch;
using rireruv::Undo;

std::string textOrNull(const std::string& text) {
    return text.empty() ? "null" : jsonString(text);
}

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

class Identifier {
  public:
    Identifier(const IdentifyOptions& o, std::FILE* out) : m_o(o), m_out{out} {}
    int run();

  private:
    int fail(const std::string& why);
    void start(const rireruv::Receiver* r);
    void listen(rireruv::Reader& reader);
    void take(const rireruv::Press& press);
    void sayRanking(const HeardPress& heard, const std::string& key);
    void sayRemotes();
    int verdict();
    std::string verdictText(const char* word, const KeymapMatch* best, size_t tied) const;
    bool loaded(const KeymapMatch& m) const;

    const IdentifyOptions& m_o;
    JsonLines m_out;
    KeymapIndex m_index;
    std::vector<std::string> m_roots;
    std::string m_receiver, m_kernelKeymap, m_node;
    std::vector<HeardPress> m_presses;
    std::vector<KeymapMatch> m_ranked;
    size_t m_remotes = 1; // remotes said so far
};

int Identifier::fail(const std::string& why) {
    m_out.message(m_o.program + " --identify: " + why);
    m_out.line("{\"event\":\"verdict\",\"verdict\":\"failed\",\"status\":" +
               std::to_string(kExitFailed) + "}");
    return kExitFailed;
}

// What a script needs before any press: the receiver and node read, and the keymaps ranked.
void Identifier::start(const rireruv::Receiver* r) {
    std::string roots, unread;
    for (const std::string& root : m_roots)
        roots += (roots.empty() ? "" : ",") + jsonString(root);
    for (const std::string& file : m_index.unread())
        unread += (unread.empty() ? "" : ",") + jsonString(file);
    m_out.line("{\"event\":\"start\",\"schema\":1,\"mode\":\"identify\",\"program\":" +
               jsonString(m_o.program) + ",\"version\":" + jsonString(m_o.version) +
               ",\"device\":" + jsonString(m_o.device) +
               ",\"receiver\":" + (r ? jsonString(r->name) : "null") +
               ",\"driver\":" + (r ? textOrNull(r->driver) : "null") +
               ",\"card\":" + (r ? textOrNull(r->card) : "null") + ",\"keymap\":" +
               (r ? textOrNull(r->keymap) : "null") + ",\"node\":" + textOrNull(m_node) +
               ",\"keymaps\":" + std::to_string(m_index.size()) + ",\"roots\":[" + roots +
               "],\"unread\":[" + unread + "],\"presses\":" + std::to_string(m_o.presses) +
               ",\"timeout_ms\":" + std::to_string(m_o.timeoutMs) + "}");
}

// The keymap the kernel loaded for the receiver (NAME=rc-pinnacle-color) is the file of that
// name (pinnacle_color.toml): the kernel's maps and the shipped files are made from one source.
bool Identifier::loaded(const KeymapMatch& m) const {
    std::string stem = baseName(m.file);
    if (stem.rfind(".toml") != std::string::npos)
        stem.resize(stem.rfind(".toml"));
    for (std::string name : {m.name, stem}) {
        for (char& c : name)
            c = c == '_' ? '-' : c;
        if (!m_kernelKeymap.empty() && m_kernelKeymap == "rc-" + name)
            return true;
    }
    return false;
}

void Identifier::sayRanking(const HeardPress& heard, const std::string& key) {
    const std::string after = std::to_string(m_presses.size());
    std::string said;
    for (size_t i = 0; i < m_ranked.size() && i < kShown; ++i) {
        const KeymapMatch& m = m_ranked[i];
        m_out.line("{\"event\":\"match\",\"after\":" + after +
                   ",\"rank\":" + std::to_string(i + 1) + ",\"file\":" + jsonString(m.file) +
                   ",\"name\":" + jsonString(m.name) + ",\"protocol\":" + jsonString(m.protocol) +
                   ",\"matched\":" + std::to_string(m.matched) + ",\"of\":" + std::to_string(m.of) +
                   ",\"keys\":" + std::to_string(m.keys) +
                   ",\"loaded\":" + (loaded(m) ? "true" : "false") + "}");
        said += std::string(i == 0   ? ": best "
                            : i == 1 ? ", then "
                                     : ", ") +
                baseName(m.file) + " (" + std::to_string(m.matched) + " of " +
                std::to_string(m.of) + ")";
    }
    m_out.message("press " + after + " of " + std::to_string(m_o.presses) + ": " +
                  rireruv::hexCode(heard.scancode, 2) + ", " +
                  (heard.protocol.empty() ? "no protocol said" : "protocol " + heard.protocol) +
                  (key.empty() ? "" : ", " + key + " in the kernel's keymap") +
                  (m_ranked.empty() ? ": no keymap maps these presses yet"
                                    : said + "; " + std::to_string(m_ranked.size()) +
                                          (m_ranked.size() == 1 ? " keymap maps" : " keymaps map") +
                                          " one or more of them"));
}

// A remote more than those said: said once, as soon as its first press comes.
void Identifier::sayRemotes() {
    const std::vector<rireruv::RemoteHeard> heard = rireruv::remotesHeard(m_presses);
    if (heard.size() <= m_remotes)
        return;
    m_remotes = heard.size();
    std::string remotes;
    for (const rireruv::RemoteHeard& r : heard) {
        std::string numbers;
        for (size_t p : r.presses)
            numbers += (numbers.empty() ? "" : ",") + std::to_string(p + 1);
        remotes += std::string(remotes.empty() ? "" : ",") +
                   "{\"protocol\":" + jsonString(r.protocol) + ",\"address\":\"" +
                   rireruv::hexCode(r.address, 2) + "\",\"presses\":[" + numbers + "]}";
    }
    const std::string text = rireruv::secondRemote(m_presses);
    m_out.line("{\"event\":\"second_remote\",\"after\":" + std::to_string(m_presses.size()) +
               ",\"remotes\":[" + remotes + "],\"text\":" + jsonString(text) + "}");
    const bool oneMapsAll = !m_ranked.empty() && m_ranked[0].matched == m_ranked[0].of;
    m_out.message(text + (oneMapsAll ? "; but " + baseName(m_ranked[0].file) +
                                           " maps them all: some remotes send two addresses"
                                     : "; press only the remote you want to identify"));
}

void Identifier::take(const rireruv::Press& press) {
    if (press.repeat || press.keyUp)
        return; // a key held is one press
    const std::string protocol = rireruv::protocolName(press.protocol);
    HeardPress heard;
    heard.scancode = press.scancode;
    heard.protocol = protocol == "-" ? "" : protocol;
    m_presses.push_back(heard);
    const std::string key = rireruv::keyName(press.keycode);
    m_out.line("{\"event\":\"press\",\"number\":" + std::to_string(m_presses.size()) +
               // A JSON reader holds a number exactly up to 2^53; hex has the rest.
               ",\"scancode\":" +
               (press.scancode <= (1ULL << 53) ? std::to_string(press.scancode) : "null") +
               ",\"hex\":\"" + rireruv::hexCode(press.scancode, 2) + "\",\"protocol\":" +
               textOrNull(heard.protocol) + ",\"key\":" + textOrNull(key) + "}");
    m_ranked = m_index.rank(m_presses);
    sayRanking(heard, key);
    sayRemotes();
}

// A poll every 100 ms, until the presses, the time, or a signal.
void Identifier::listen(rireruv::Reader& reader) {
    const uint64_t end = nowMs() + m_o.timeoutMs;
    while (m_presses.size() < m_o.presses && nowMs() < end && Undo::ended() == 0 && !m_out.lost) {
        std::vector<rireruv::Press> presses;
        const bool gone = reader.drain(presses) == rireruv::Drained::Gone;
        for (const rireruv::Press& p : presses)
            if (m_presses.size() < m_o.presses)
                take(p);
        if (gone) {
            m_out.message(m_receiver + " " + reader.why());
            return;
        }
        const timespec period{0, 100 * 1000000L};
        nanosleep(&period, nullptr);
    }
}

int Identifier::run() {
    Undo::instance().guard(); // nothing to put back: only a signal's end, said in the verdict
    m_roots = m_o.roots.empty() ? KeymapIndex::systemRoots() : m_o.roots;
    std::string noKeymaps;
    m_index = KeymapIndex::load(m_roots, noKeymaps);
    const std::vector<rireruv::Receiver> found = rireruv::listReceivers();
    const rireruv::Target target = rireruv::pickReceiver(m_o.device, found);
    rireruv::Opened opened;
    if (target.receiver != nullptr && noKeymaps.empty()) {
        m_receiver = target.receiver->name;
        m_kernelKeymap = target.receiver->keymap;
        opened = rireruv::openPresses(*target.receiver, target.node, m_node);
    }
    start(target.receiver);
    if (!noKeymaps.empty())
        return fail(noKeymaps);
    if (target.receiver == nullptr)
        return fail(target.error);
    if (!opened.reader)
        return fail(m_receiver + ": " + opened.error);
    m_out.message("press keys of the remote, " + std::to_string(m_o.presses) +
                  " different ones if you can: each press is looked up in " +
                  std::to_string(m_index.size()) + " keymaps");
    listen(*opened.reader);
    return verdict();
}

std::string Identifier::verdictText(const char* word, const KeymapMatch* best, size_t tied) const {
    const std::string w = word;
    if (w == "no_press")
        return "no press in " + std::to_string(m_o.timeoutMs / 1000) + " s on " + m_receiver +
               ": if it decodes raw light, the remote's protocol may be off (" + m_o.program +
               " --find-protocol turns each on); " + m_o.program + " --check says more";
    if (w == "none") {
        std::string roots;
        for (const std::string& r : m_roots)
            roots += (roots.empty() ? "" : " or ") + r;
        return "no keymap in " + roots + " maps any of these presses: the remote needs a " +
               "keymap of its own (" + m_o.program + " --learn makes one)";
    }
    if (best == nullptr)
        return "no keymap stands out: " + baseName(m_ranked[0].file) + " and " +
               baseName(m_ranked[1].file) + " each map " + std::to_string(m_ranked[0].matched) +
               " of " + std::to_string(m_ranked[0].of) + "; press other keys of the remote";
    std::string text = "your presses match " + baseName(best->file) + ": " +
                       std::to_string(best->matched) + " of " + std::to_string(best->of) +
                       (loaded(*best) ? "; the kernel loads it already (" + m_kernelKeymap + ")"
                                      : "; to load it: sudo ir-keytable -c -w " + best->file +
                                            " -s " + m_receiver);
    if (tied > 0)
        text += "; " + std::to_string(tied) + " other keymap" + (tied == 1 ? "" : "s") +
                " match as well (" + baseName(m_ranked[1].file) + (tied > 1 ? ", ..." : "") +
                "): other keys would tell them apart";
    return text;
}

int Identifier::verdict() {
    const int sig = Undo::ended();
    const KeymapMatch* best = rireruv::bestMatch(m_ranked);
    size_t tied = 0;
    while (best != nullptr && tied + 1 < m_ranked.size() &&
           m_ranked[tied + 1].matched == best->matched && m_ranked[tied + 1].named == best->named)
        ++tied;
    const int status = sig != 0          ? kExitSignalled + sig
                       : m_out.lost      ? kExitFailed
                       : best != nullptr ? kExitFound
                                         : kExitNone;
    const char* word = sig != 0                   ? "interrupted"
                       : m_presses.empty()        ? "no_press"
                       : m_ranked.empty()         ? "none"
                       : best == nullptr          ? "unclear"
                       : best->matched < best->of ? "likely"
                                                  : "matched";
    if (sig == 0)
        m_out.message(verdictText(word, best, tied));
    const std::string second = rireruv::secondRemote(m_presses);
    m_out.line("{\"event\":\"verdict\",\"verdict\":\"" + std::string(word) + "\",\"status\":" +
               std::to_string(status) + ",\"presses\":" + std::to_string(m_presses.size()) +
               ",\"file\":" + (best ? jsonString(best->file) : "null") +
               ",\"name\":" + (best ? jsonString(best->name) : "null") +
               ",\"matched\":" + (best ? std::to_string(best->matched) : "null") +
               ",\"of\":" + std::to_string(m_presses.size()) + ",\"tied\":" + std::to_string(tied) +
               ",\"loaded\":" + (best ? (loaded(*best) ? "true" : "false") : "null") +
               ",\"second_remote\":" + textOrNull(second) + "}");
    return status;
}

} // namespace

std::string parseIdentifyOptions(const std::vector<std::string>& args, IdentifyOptions& options) {
    for (size_t i = 0; i < args.size(); i += 2) {
        const std::string& name = args[i];
        const bool counted = name == "--presses" || name == "--timeout";
        if (!counted && name != "--device" && name != "--keymaps")
            return "\"" + name +
                   "\" is not an option of --identify (--presses N, --timeout S, --device "
                   "DEVICE, --keymaps DIR)";
        if (!counted) {
            if (i + 1 == args.size() || args[i + 1].empty())
                return name + (name == "--device" ? " needs a receiver after it (auto, rcN, a node)"
                                                  : " needs a folder of keymap files after it");
            if (name == "--device")
                options.device = args[i + 1];
            else
                options.roots.push_back(args[i + 1]);
            continue;
        }
        std::string why = parsePressesOrTimeout(name, i + 1 < args.size() ? &args[i + 1] : nullptr,
                                                options.presses, options.timeoutMs);
        if (!why.empty())
            return why;
    }
    return "";
}

int runIdentify(const IdentifyOptions& options, std::FILE* out) {
    Identifier identifier(options, out);
    return identifier.run();
}

} // namespace terminal
