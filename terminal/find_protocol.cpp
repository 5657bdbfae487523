// The protocol finder: save, enable all, read presses, put back.
#include "terminal/find_protocol.h"

#include "receivers/find.h"
#include "receivers/pick.h"
#include "receivers/protocols.h"
#include "receivers/read.h"
#include "receivers/undo.h"
#include "terminal/check.h"
#include "terminal/json_lines.h"
#include "terminal/modes.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <unistd.h>

namespace terminal {

namespace {

const int kExitFound = 0, kExitNone = 1, kExitFailed = 2, kExitSignalled = 128;

using rireruv::Undo;

// Where a protocol's scancode keeps the remote's address: above its command byte, but for
// nec-32, whose command is 16 bits (the kernel's scancode layouts, rc-map.h).
uint64_t addressOf(const std::string& variant, uint64_t scancode) {
    return variant == "nec-32" ? scancode >> 16 : scancode >> 8;
}

struct Heard {
    std::string variant;
    uint64_t address = 0;
    unsigned presses = 0;
};

class Finder {
  public:
    Finder(const FindOptions& o, std::FILE* out) : m_o(o), m_out{out} {}
    int run();

  private:
    int fail(const std::string& why, int status = kExitFailed);
    std::string checkReceiver(const rireruv::Receiver& r, rireruv::ProtocolList& list);
    bool enableAll(const rireruv::ProtocolList& list);
    void listen(rireruv::Reader& reader, rireruv::RawReader* raw);
    void take(const rireruv::Press& press);
    void took(const std::string& variant, uint64_t scancode, uint64_t address, const char* source);
    void light(rireruv::RawReader& raw, const std::vector<rireruv::Press>& presses);
    void putBack();
    int verdict();

    const FindOptions& m_o;
    JsonLines m_out;
    std::string m_receiver, m_path;
    std::map<std::string, Heard> m_heard; // by variant and address
    unsigned m_presses = 0;
};

int Finder::fail(const std::string& why, int status) {
    m_out.message(m_o.program + " --find-protocol: " + why);
    m_out.line(
        "{\"event\":\"verdict\",\"verdict\":\"failed\",\"status\":" + std::to_string(status) + "}");
    return status;
}

// Why this receiver cannot be asked, or "" (and its protocols in list).
std::string Finder::checkReceiver(const rireruv::Receiver& r, rireruv::ProtocolList& list) {
    std::string text, why;
    if (r.sysPath.empty() || !rireruv::readAttribute(m_path, text, why))
        return "cannot read " + m_path + " (" + why + ")";
    list = rireruv::parseProtocols(text);
    m_out.line("{\"event\":\"protocols_saved\",\"path\":" + jsonString(m_path) +
               ",\"text\":" + jsonString(text) + "}");
    if (!list.lirc)
        return r.name +
               " decodes in hardware: it has no protocols to choose, and its presses "
               "come as its decoder gives them (" +
               m_o.program + " --check shows them)";
    if (r.lircNode.empty())
        return r.name + " has no lirc node, and only a lirc node says which protocol decoded "
                        "a press";
    if (access(m_path.c_str(), W_OK) != 0)
        return "it needs to write " + m_path + " (" + std::strerror(errno) +
               "): run it as root, for example sudo " + m_o.program +
               " --find-protocol; nothing was changed";
    return "";
}

// Every decoder at once; a receiver that refuses the whole set gets them one at a time.
bool Finder::enableAll(const rireruv::ProtocolList& list) {
    std::string why;
    const std::string all = rireruv::protocolsRequest(list.available);
    bool any = rireruv::writeAttribute(m_path, all, why);
    m_out.line("{\"event\":\"protocols_written\",\"request\":" + jsonString(all) + ",\"ok\":" +
               (any ? "true" : "false") + (any ? "" : ",\"error\":" + jsonString(why)) + "}");
    for (size_t i = 0; !any && i < list.available.size(); ++i) {
        const std::string one = "+" + list.available[i];
        const bool ok = rireruv::writeAttribute(m_path, one, why);
        any = any || ok;
        m_out.line("{\"event\":\"protocols_written\",\"request\":" + jsonString(one) +
                   ",\"ok\":" + (ok ? "true" : "false") + "}");
    }
    return any;
}

void Finder::took(const std::string& variant, uint64_t scancode, uint64_t address,
                  const char* source) {
    ++m_presses;
    Heard& h = m_heard[variant + " " + rireruv::hexCode(address)];
    h.variant = variant;
    h.address = address;
    ++h.presses;
    m_out.line("{\"event\":\"press\",\"number\":" + std::to_string(m_presses) + ",\"source\":\"" +
               source + "\",\"scancode\":" + std::to_string(scancode) + ",\"hex\":\"" +
               rireruv::hexCode(scancode) + "\",\"variant\":" + jsonString(variant) +
               ",\"protocol\":" + jsonString(rireruv::protocolOfVariant(variant)) +
               ",\"address\":\"" + rireruv::hexCode(address) + "\"}");
}

void Finder::take(const rireruv::Press& press) {
    if (press.repeat || press.keyUp)
        return; // a key held is one press
    const std::string variant = rireruv::protocolName(press.protocol);
    if (variant == "-" || variant == "unknown" || variant == "other")
        return;
    took(variant, press.scancode, addressOf(variant, press.scancode), "decoder");
}

// A frame of light no decoder gave as a press (the kernel refused to enable its decoder, or a
// lirc daemon keeps only lirc on) still names the remote's protocol: raw.h names it as the
// kernel would.
void Finder::light(rireruv::RawReader& raw, const std::vector<rireruv::Press>& presses) {
    std::vector<rireruv::EdgeFrame> frames;
    raw.drain(frames);
    for (const rireruv::EdgeFrame& f : frames) {
        const rireruv::RawFrame named = rireruv::nameFrame(f);
        if (named.kind != rireruv::RawFrame::Kind::Decoded)
            continue;
        bool decoded = false;
        for (const rireruv::Press& p : presses)
            decoded = decoded || (!p.keyUp && p.scancode == named.scancode);
        if (!decoded)
            took(named.protocol, named.scancode, addressOf(named.protocol, named.scancode),
                 "light");
    }
}

// A poll every 200 ms, as the dialog's, until the presses, the time, or a signal.
void Finder::listen(rireruv::Reader& reader, rireruv::RawReader* raw) {
    const uint64_t end = nowMs() + m_o.timeoutMs;
    while (m_presses < m_o.presses && nowMs() < end && Undo::ended() == 0 && !m_out.lost) {
        std::vector<rireruv::Press> presses;
        const bool gone = reader.drain(presses) == rireruv::Drained::Gone;
        for (const rireruv::Press& p : presses)
            take(p);
        if (raw != nullptr)
            light(*raw, presses);
        if (gone) {
            m_out.message(m_receiver + " " + reader.why());
            return;
        }
        const timespec period{0, 200 * 1000000L};
        nanosleep(&period, nullptr);
    }
}

void Finder::putBack() {
    const std::vector<std::string> failed = Undo::instance().restore();
    std::string text, why, list;
    rireruv::readAttribute(m_path, text, why);
    for (const std::string& f : failed)
        list += (list.empty() ? "" : ",") + jsonString(f);
    m_out.line("{\"event\":\"protocols_restored\",\"text\":" + jsonString(text) + ",\"failed\":[" +
               list + "]}");
    for (const std::string& f : failed)
        m_out.message("could not put back " + f + ": write it back by hand");
}

int Finder::run() {
    const std::vector<rireruv::Receiver> found = rireruv::listReceivers();
    const rireruv::Target target = rireruv::pickReceiver(m_o.device, found);
    if (target.receiver == nullptr)
        return fail(target.error);
    const rireruv::Receiver& r = *target.receiver;
    m_receiver = r.name;
    m_path = r.sysPath + "/protocols";
    rireruv::ProtocolList list;
    const std::string why = checkReceiver(r, list);
    if (!why.empty())
        return fail(why);
    rireruv::Opened lirc = rireruv::openLirc(r.lircNode);
    if (!lirc.reader)
        return fail(r.name + ": " + lirc.error);
    std::string unrecorded;
    if (!Undo::instance().record(m_path, rireruv::protocolsRequest(list.enabled), unrecorded))
        return fail(unrecorded);
    Undo::instance().guard();
    const bool decoding = enableAll(list);
    rireruv::OpenedRaw raw = rireruv::openRaw(r.lircNode);
    if (!decoding && !raw.reader) {
        putBack();
        return fail(r.name + " refused every protocol, and gives no raw light to name: there was "
                             "nothing to listen with");
    }
    {
        m_out.message("press a key of the remote, " + std::to_string(m_o.presses) + " times (" +
                      (decoding ? "every protocol of " + r.name + " is on until the end"
                                : "no decoder could be turned on: the light is named instead") +
                      ")");
        listen(*lirc.reader, raw.reader.get());
    }
    putBack();
    return verdict();
}

int Finder::verdict() {
    const Heard* best = nullptr;
    for (const auto& entry : m_heard)
        if (best == nullptr || entry.second.presses > best->presses)
            best = &entry.second;
    const int sig = Undo::ended();
    const int status = sig != 0          ? kExitSignalled + sig
                       : m_out.lost      ? kExitFailed
                       : best != nullptr ? kExitFound
                                         : kExitNone;
    if (best != nullptr)
        m_out.message(m_receiver + ": the remote speaks " + best->variant + ", address " +
                      rireruv::hexCode(best->address) + " (" + std::to_string(best->presses) +
                      " of " + std::to_string(m_presses) +
                      " presses); to keep it on: sudo ir-keytable -s " + m_receiver + " -p " +
                      rireruv::protocolOfVariant(best->variant));
    const std::string word = sig != 0 ? "interrupted" : best != nullptr ? "found" : "none";
    m_out.line(
        "{\"event\":\"verdict\",\"verdict\":\"" + word + "\",\"status\":" + std::to_string(status) +
        ",\"presses\":" + std::to_string(m_presses) +
        ",\"variant\":" + (best ? jsonString(best->variant) : "null") +
        ",\"protocol\":" + (best ? jsonString(rireruv::protocolOfVariant(best->variant)) : "null") +
        ",\"address\":" + (best ? "\"" + rireruv::hexCode(best->address) + "\"" : "null") + "}");
    return status;
}

} // namespace

std::string parseFindOptions(const std::vector<std::string>& args, FindOptions& options) {
    for (size_t i = 0; i < args.size(); i += 2) {
        const std::string& name = args[i];
        if (name != "--presses" && name != "--timeout")
            return "\"" + name +
                   "\" is not an option of --find-protocol (--presses N, --timeout S)";
        std::string why = parsePressesOrTimeout(name, i + 1 < args.size() ? &args[i + 1] : nullptr,
                                                options.presses, options.timeoutMs);
        if (!why.empty())
            return why;
    }
    return "";
}

int runFindProtocol(const FindOptions& options, std::FILE* out) {
    JsonLines start{out};
    start.line("{\"event\":\"start\",\"schema\":1,\"mode\":\"find_protocol\",\"program\":" +
               jsonString(options.program) + ",\"version\":" + jsonString(options.version) +
               ",\"device\":" + jsonString(options.device) +
               ",\"presses\":" + std::to_string(options.presses) +
               ",\"timeout_ms\":" + std::to_string(options.timeoutMs) + "}");
    Finder finder(options, out);
    return finder.run();
}

} // namespace terminal
