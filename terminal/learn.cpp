// The keymap learner: ask, take one press, write; then, when asked, try the keys on the
// receiver itself and put its table back.
#include "terminal/learn.h"

#include "receivers/find.h"
#include "receivers/identify.h"
#include "receivers/keymap.h"
#include "receivers/keymap_file.h"
#include "receivers/pick.h"
#include "receivers/read.h"
#include "receivers/undo.h"
#include "terminal/check.h"
#include "terminal/json_lines.h"
#include "terminal/modes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <unistd.h>

namespace terminal {

namespace {

const int kExitLearnt = 0, kExitRefused = 1, kExitFailed = 2, kExitSignalled = 128;
const uint64_t kHoldGapUs = 250000; // rc-core's key-up window: a frame sooner is the key held
const unsigned kSameCodeLimit = 3;  // keys in a row that all gave one taken code: no decoding

using rireruv::Undo;

// Where a protocol's scancode keeps the remote's address (rc-map.h's layouts): above the
// command byte, above 16 bits for nec-32; none for a press no decoder named.
bool addressOf(const std::string& protocol, uint64_t scancode, uint64_t& address) {
    if (protocol == "-" || protocol == "unknown" || protocol == "other")
        return false;
    address = protocol == "nec-32" ? scancode >> 16 : scancode >> 8;
    return true;
}

struct Learnt {
    std::string key;
    uint64_t scancode;
    std::string protocol; // the kernel's name, "-" when none
};

class Learner {
  public:
    Learner(const LearnOptions& o, std::FILE* out) : m_o(o), m_out{out} {}
    int run();

  private:
    int fail(const std::string& why, int status = kExitFailed);
    bool nextPress(rireruv::Press& press, uint64_t until);
    void ask(const std::string& key, size_t number, size_t of);
    bool refused(const std::string& key, const rireruv::Press& p, const std::string& why);
    void freePresses();
    void offerShipped(const rireruv::Receiver& r);
    std::string refusal(const rireruv::Press& p) const;
    bool write();
    void tryKeys(const rireruv::Receiver& r);
    int verdict(const std::string& word, int status);

    const LearnOptions& m_o;
    JsonLines m_out;
    std::unique_ptr<rireruv::Reader> m_reader;
    std::vector<rireruv::Press> m_queued;
    std::vector<Learnt> m_learnt;
    std::vector<std::string> m_skipped;
    bool m_gone = false, m_noDecoding = false;
    uint64_t m_lastUs = 0, m_lastCode = 0; // the frame before, to tell a key held
    rireruv::KeymapIndex m_shipped;        // the keymaps a learnt one should not replace
    bool m_offered = false;
    uint64_t m_sameCode = 0;
    unsigned m_sameCount = 0;
};

int Learner::fail(const std::string& why, int status) {
    m_out.message(m_o.program + " --learn: " + why);
    return verdict("failed", status);
}

// The next press of a new key before until (ms), false at the time, a signal or the node gone.
// A repeat, a key up, or the same code within rc-core's key-up window of the frame before is
// the key still held, not a press.
bool Learner::nextPress(rireruv::Press& press, uint64_t until) {
    while (Undo::ended() == 0 && !m_out.lost && !m_gone) {
        while (!m_queued.empty()) {
            const rireruv::Press p = m_queued.front();
            m_queued.erase(m_queued.begin());
            const bool held = p.repeat || p.hold == 1 ||
                              (p.timed && p.scancode == m_lastCode && p.kernelUs >= m_lastUs &&
                               p.kernelUs - m_lastUs <= kHoldGapUs);
            if (!p.keyUp) {
                m_lastCode = p.scancode;
                m_lastUs = p.kernelUs;
            }
            if (!held && !p.keyUp) {
                press = p;
                return true;
            }
        }
        if (nowMs() >= until)
            return false;
        if (m_reader->drain(m_queued) == rireruv::Drained::Gone) {
            m_gone = true;
            m_out.message(m_o.program + " --learn: the receiver " + m_reader->why());
            return false;
        }
        if (m_queued.empty()) {
            const timespec period{0, 50 * 1000000L};
            nanosleep(&period, nullptr);
        }
    }
    return false;
}

// Why a press cannot be this key's: a code taken, or a press of another protocol or address
// than the keys learnt so far (another remote in the room); "" when it can.
std::string Learner::refusal(const rireruv::Press& p) const {
    const std::string protocol = rireruv::protocolName(p.protocol);
    for (const Learnt& l : m_learnt)
        if (l.scancode == p.scancode)
            return rireruv::hexCode(p.scancode) + " is already " + l.key;
    if (m_learnt.empty())
        return "";
    const Learnt& first = m_learnt.front();
    if (protocol != first.protocol)
        return rireruv::hexCode(p.scancode) + " came in " + protocol +
               ", while this remote speaks " + first.protocol + ": another remote's?";
    uint64_t address = 0, expected = 0;
    if (addressOf(protocol, p.scancode, address) &&
        addressOf(first.protocol, first.scancode, expected) && address != expected)
        return rireruv::hexCode(p.scancode) + " has address " + rireruv::hexCode(address) +
               ", while this remote's is " + rireruv::hexCode(expected) + ": another remote's?";
    return "";
}

// Says why a press is not taken; true when keys in a row all gave the one code already taken:
// the receiver tells no key from another, and learning ends.
bool Learner::refused(const std::string& key, const rireruv::Press& p, const std::string& why) {
    m_out.line("{\"event\":\"refused\",\"key\":" + (key.empty() ? "null" : jsonString(key)) +
               ",\"scancode\":" + std::to_string(p.scancode) + ",\"hex\":\"" +
               rireruv::hexCode(p.scancode) + "\",\"why\":" + jsonString(why) + "}");
    m_out.message(why + (key.empty() ? ": press another key" : ": press " + key + " again"));
    m_sameCount = p.scancode == m_sameCode ? m_sameCount + 1 : 1;
    m_sameCode = p.scancode;
    m_noDecoding = m_sameCount >= kSameCodeLimit && why.find(" is already ") != std::string::npos;
    return m_noDecoding;
}

// Free presses, named afterwards: each new code until a pause as long as the timeout, written
// with the name the receiver's keymap gives it, or KEY_UNKNOWN for the person to rename.
void Learner::freePresses() {
    m_out.line("{\"event\":\"prompt\",\"key\":null,\"number\":0,\"of\":0}");
    m_out.message("press the remote's keys one after another, each once; " +
                  std::to_string(m_o.keyTimeoutMs / 1000) + " s without a press ends it");
    rireruv::Press p;
    while (!m_noDecoding && nextPress(p, nowMs() + m_o.keyTimeoutMs)) {
        const std::string why = refusal(p);
        if (!why.empty()) {
            refused("", p, why);
            continue;
        }
        const std::string mapped = rireruv::keyName(p.keycode);
        const std::string key = mapped.empty() ? "KEY_UNKNOWN" : mapped;
        m_learnt.push_back({key, p.scancode, rireruv::protocolName(p.protocol)});
        m_sameCount = 0;
        m_out.line("{\"event\":\"learnt\",\"key\":" + jsonString(key) + ",\"scancode\":" +
                   std::to_string(p.scancode) + ",\"hex\":\"" + rireruv::hexCode(p.scancode) +
                   "\",\"protocol\":" + jsonString(rireruv::protocolName(p.protocol)) +
                   ",\"learnt\":" + std::to_string(m_learnt.size()) + ",\"left\":null}");
        m_out.message(rireruv::hexCode(p.scancode) + " = " + key + " (" +
                      std::to_string(m_learnt.size()) + " learnt)");
    }
}

void Learner::ask(const std::string& key, size_t number, size_t of) {
    m_out.line("{\"event\":\"prompt\",\"key\":" + jsonString(key) +
               ",\"number\":" + std::to_string(number) + ",\"of\":" + std::to_string(of) + "}");
    m_out.message("press " + key + " (" + std::to_string(number) + " of " + std::to_string(of) +
                  ")");
    const uint64_t until = nowMs() + m_o.keyTimeoutMs;
    rireruv::Press p;
    while (nextPress(p, until)) {
        const std::string why = refusal(p);
        if (why.empty()) {
            m_learnt.push_back({key, p.scancode, rireruv::protocolName(p.protocol)});
            m_sameCount = 0;
            m_out.line("{\"event\":\"learnt\",\"key\":" + jsonString(key) + ",\"scancode\":" +
                       std::to_string(p.scancode) + ",\"hex\":\"" + rireruv::hexCode(p.scancode) +
                       "\",\"protocol\":" + jsonString(rireruv::protocolName(p.protocol)) +
                       ",\"learnt\":" + std::to_string(m_learnt.size()) +
                       ",\"left\":" + std::to_string(of - number) + "}");
            m_out.message(key + " = " + rireruv::hexCode(p.scancode) + " (" +
                          std::to_string(m_learnt.size()) + " learnt, " +
                          std::to_string(of - number) + " left)");
            return;
        }
        if (refused(key, p, why))
            return;
    }
    if (Undo::ended() == 0 && !m_gone && !m_out.lost) {
        m_skipped.push_back(key);
        m_out.line("{\"event\":\"skipped\",\"key\":" + jsonString(key) + "}");
        m_out.message("no press for " + key + " in " + std::to_string(m_o.keyTimeoutMs / 1000) +
                      " s: skipped");
    }
}

// A shipped keymap beats a learnt one: once three named presses so far are all a shipped
// keymap's, on the very keys asked, it is offered (once), and learning goes on.
void Learner::offerShipped(const rireruv::Receiver& r) {
    if (m_offered || m_learnt.size() < 3 || m_shipped.size() == 0)
        return;
    std::vector<rireruv::HeardPress> presses;
    for (const Learnt& l : m_learnt)
        presses.push_back({l.scancode, l.protocol, l.key});
    const std::vector<rireruv::KeymapMatch> ranked = m_shipped.rank(presses);
    const rireruv::KeymapMatch* best = rireruv::bestMatch(ranked);
    if (best == nullptr || best->matched < best->of || best->named < best->namedOf)
        return;
    m_offered = true;
    m_out.line("{\"event\":\"offer\",\"file\":" + jsonString(best->file) + ",\"name\":" +
               jsonString(best->name) + ",\"matched\":" + std::to_string(best->matched) + "}");
    m_out.message("your keys so far are all " + best->file + "'s (" +
                  std::to_string(best->matched) + " of " + std::to_string(best->of) +
                  "): a shipped keymap beats a learnt one: sudo ir-keytable -c -w " + best->file +
                  " -s " + r.name + " (learning goes on; Ctrl-C ends it)");
}

// The keymap file: the learnt keys under the protocol most of them came in.
bool Learner::write() {
    std::map<std::string, unsigned> counts;
    for (const Learnt& l : m_learnt)
        ++counts[l.protocol];
    const auto most = std::max_element(counts.begin(), counts.end(),
                                       [](auto& a, auto& b) { return a.second < b.second; });
    rireruv::KeymapFile file;
    file.protocols.emplace_back();
    rireruv::KeymapProtocol& p = file.protocols.back();
    p.name = m_o.name;
    rireruv::keymapProtocolOf(most->first, p.protocol, p.variant);
    for (const Learnt& l : m_learnt)
        p.scancodes.emplace_back(l.scancode, l.key);
    std::ofstream out(m_o.out);
    const bool unnamed = std::any_of(m_learnt.begin(), m_learnt.end(),
                                     [](const Learnt& l) { return l.key == "KEY_UNKNOWN"; });
    out << rireruv::writeKeymapFile(
        file, "learnt by " + m_o.program + " --learn; load it with ir-keytable -c -w " + m_o.out +
                  (unnamed ? "; name each KEY_UNKNOWN after the key that gave its code" : ""));
    out.close();
    if (!out) {
        m_out.message(m_o.program + " --learn: cannot write " + m_o.out + " (" +
                      std::strerror(errno) + ")");
        return false;
    }
    m_out.line("{\"event\":\"written\",\"path\":" + jsonString(m_o.out) + ",\"keys\":" +
               std::to_string(m_learnt.size()) + ",\"protocol\":" + jsonString(p.protocol) +
               ",\"variant\":" + jsonString(p.variant) + "}");
    m_out.message("wrote " + m_o.out + ": " + std::to_string(m_learnt.size()) + " keys, protocol " +
                  p.protocol + (p.variant.empty() ? "" : " (" + p.variant + ")"));
    return true;
}

// The learnt keys loaded into the receiver for a while, each press named as it comes; then its
// table put back as it was (checked), unless the person keeps them.
void Learner::tryKeys(const rireruv::Receiver& r) {
    const int fd = open(r.eventNode.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (r.eventNode.empty() || fd < 0) {
        m_out.message("cannot try the keys: " + (r.eventNode.empty()
                                                     ? r.name + " has no event device"
                                                     : r.eventNode + ": " + std::strerror(errno)));
        return;
    }
    std::string why;
    const std::vector<rireruv::KeymapEntry> before = rireruv::readKeymap(fd, &why);
    std::vector<std::pair<uint64_t, uint32_t>> putBack;
    for (const Learnt& l : m_learnt) {
        uint32_t had = 0;
        for (const rireruv::KeymapEntry& e : before)
            had = e.scancode == l.scancode ? e.keycode : had;
        putBack.emplace_back(l.scancode, had);
    }
    if (!Undo::instance().recordKeys(r.eventNode, putBack, why)) {
        close(fd);
        m_out.message("cannot try the keys: " + why);
        return;
    }
    for (const Learnt& l : m_learnt)
        if (!rireruv::setKeycode(fd, l.scancode, rireruv::keyCode(l.key), why))
            m_out.message("could not load " + l.key + " = " + rireruv::hexCode(l.scancode) + ": " +
                          why);
    m_out.line("{\"event\":\"trial\",\"seconds\":" + std::to_string(m_o.tryMs / 1000) + "}");
    m_out.message("the learnt keys are loaded into " + r.name + " for " +
                  std::to_string(m_o.tryMs / 1000) + " s: press keys to see their names");
    const uint64_t until = nowMs() + m_o.tryMs;
    rireruv::Press p;
    while (nextPress(p, until)) {
        const std::string name = rireruv::keyName(p.keycode);
        m_out.line("{\"event\":\"tried\",\"scancode\":" + std::to_string(p.scancode) +
                   ",\"hex\":\"" + rireruv::hexCode(p.scancode) +
                   "\",\"key\":" + (name.empty() ? "null" : jsonString(name)) + "}");
        m_out.message(rireruv::hexCode(p.scancode) + ": " + (name.empty() ? "no key" : name));
    }
    if (m_o.keep && Undo::ended() == 0) {
        Undo::instance().forget();
        m_out.line("{\"event\":\"kept\"}");
        m_out.message("the learnt keys stay loaded in " + r.name +
                      " until it is set up again (a reboot): --boot-plan says how to keep them");
        close(fd);
        return;
    }
    const std::vector<std::string> failed = Undo::instance().restore();
    const std::vector<rireruv::KeymapEntry> after = rireruv::readKeymap(fd, &why);
    close(fd);
    const bool same =
        after.size() == before.size() &&
        std::equal(after.begin(), after.end(), before.begin(), [](const auto& a, const auto& b) {
            return a.scancode == b.scancode && a.keycode == b.keycode;
        });
    m_out.line(std::string("{\"event\":\"restored\",\"identical\":") + (same ? "true" : "false") +
               ",\"failed\":" + std::to_string(failed.size()) + "}");
    if (!same)
        m_out.message(r.name +
                      "'s keymap is not as it was: reload it with ir-keytable -a "
                      "/etc/rc_maps.cfg -s " +
                      r.name);
}

int Learner::verdict(const std::string& word, int status) {
    const int sig = Undo::ended();
    if (sig != 0)
        status = kExitSignalled + sig;
    std::string skipped;
    for (const std::string& k : m_skipped)
        skipped += (skipped.empty() ? "" : ",") + jsonString(k);
    m_out.line("{\"event\":\"verdict\",\"verdict\":\"" + (sig != 0 ? "interrupted" : word) +
               "\",\"status\":" + std::to_string(status) +
               ",\"learnt\":" + std::to_string(m_learnt.size()) + ",\"skipped\":[" + skipped +
               "],\"file\":" + (word == "learnt" ? jsonString(m_o.out) : "null") + "}");
    return status;
}

int Learner::run() {
    const std::vector<rireruv::Receiver> found = rireruv::listReceivers();
    const rireruv::Target target = rireruv::pickReceiver(m_o.device, found);
    if (target.receiver == nullptr)
        return fail(target.error);
    const rireruv::Receiver& r = *target.receiver;
    std::vector<std::string> keys = m_o.keys;
    if (keys.empty() && !m_o.free && !r.eventNode.empty())
        for (const rireruv::KeymapEntry& e : rireruv::readKeymap(r.eventNode))
            if (std::find(keys.begin(), keys.end(), rireruv::keyName(e.keycode)) == keys.end())
                keys.push_back(rireruv::keyName(e.keycode));
    if (keys.empty() && !m_o.free)
        return fail(r.name + " has no keymap to take the keys' names from: list them, e.g. "
                             "--keys KEY_POWER,KEY_1,KEY_2, or press freely: --keys free");
    std::string node;
    rireruv::Opened opened = rireruv::openPresses(r, target.node, node);
    if (!opened.reader)
        return fail(r.name + ": " + opened.error);
    m_reader = std::move(opened.reader);
    Undo::instance().guard();
    std::string unread;
    m_shipped = rireruv::KeymapIndex::load(rireruv::KeymapIndex::systemRoots(), unread);
    if (m_o.free)
        freePresses();
    else
        m_out.message("one press of each key when asked (a key held counts once); " +
                      std::to_string(keys.size()) + " keys, " +
                      std::to_string(m_o.keyTimeoutMs / 1000) + " s each");
    if (Undo::ended() != 0 || m_gone || m_out.lost)
        return verdict("failed", m_out.lost || m_gone ? kExitFailed : kExitRefused);
    for (size_t i = 0; i < keys.size() && !m_noDecoding; ++i) {
        ask(keys[i], i + 1, keys.size());
        offerShipped(r);
        if (Undo::ended() != 0 || m_gone || m_out.lost)
            return verdict("failed", m_out.lost || m_gone ? kExitFailed : kExitRefused);
    }
    if (m_noDecoding || m_learnt.size() < 2) {
        m_out.message(m_noDecoding
                          ? "every key gives " + rireruv::hexCode(m_sameCode) + ": " + r.name +
                                " does not tell your keys apart (a card type that reads the "
                                "wrong lines, or a remote it cannot decode); nothing written"
                          : "fewer than two keys learnt: nothing written");
        return verdict("refused", kExitRefused);
    }
    if (!write())
        return verdict("failed", kExitFailed);
    if (m_o.tryMs > 0)
        tryKeys(r);
    return verdict("learnt", kExitLearnt);
}

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t comma; (comma = list.find(',', start)) != std::string::npos; start = comma + 1)
        out.push_back(list.substr(start, comma - start));
    out.push_back(list.substr(start));
    return out;
}

} // namespace

std::string parseLearnOptions(const std::vector<std::string>& args, LearnOptions& options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--keep") {
            options.keep = true;
            continue;
        }
        if (name != "--out" && name != "--name" && name != "--keys" && name != "--timeout" &&
            name != "--try")
            return "\"" + name +
                   "\" is not an option of --learn (--out FILE, --name NAME, "
                   "--keys K1,K2, --timeout S, --try S, --keep)";
        if (i + 1 == args.size() || args[i + 1].empty())
            return name + " needs a value after it";
        const std::string& value = args[++i];
        if (name == "--out") {
            options.out = value;
        } else if (name == "--name") {
            options.name = value;
        } else if (name == "--keys" && value == "free") {
            options.free = true;
        } else if (name == "--keys") {
            options.keys = split(value);
            for (const std::string& key : options.keys)
                if (rireruv::keyCode(key) == 0)
                    return "--keys: \"" + key + "\" is no key's name (KEY_POWER, KEY_1, BTN_LEFT)";
        } else {
            unsigned long seconds = 0;
            if (!parseCount(value, 3600, seconds))
                return name + " takes a whole number of seconds from 1 to 3600";
            (name == "--timeout" ? options.keyTimeoutMs : options.tryMs) =
                static_cast<unsigned>(seconds * 1000);
        }
    }
    if (options.keep && options.tryMs == 0)
        return "--keep keeps the keys --try loads: give --try S too";
    return "";
}

int runLearn(const LearnOptions& options, std::FILE* out) {
    JsonLines start{out};
    start.line("{\"event\":\"start\",\"schema\":1,\"mode\":\"learn\",\"program\":" +
               jsonString(options.program) + ",\"version\":" + jsonString(options.version) +
               ",\"device\":" + jsonString(options.device) + ",\"out\":" + jsonString(options.out) +
               ",\"keys\":" + std::to_string(options.keys.size()) +
               ",\"timeout_ms\":" + std::to_string(options.keyTimeoutMs) +
               ",\"try_ms\":" + std::to_string(options.tryMs) + "}");
    Learner learner(options, out);
    return learner.run();
}

} // namespace terminal
