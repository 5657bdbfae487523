// The layer each lost attempt died in, from a poll's raw frames and presses.
#include "rireruv/rccore/layers.h"

#include "receivers/protocols.h"
#include "rireruv/rccore/silence.h"
#include "rireruv/shown.h"

#include <algorithm>
#include <cstdio>

namespace rireruv {

namespace {

const uint64_t kNoiseEveryMs = 10000;

// "nec (address 0x04, command 0x0c)"
std::string spoken(const RawFrame& f) {
    std::string s = f.protocol;
    if (f.address >= 0 && f.command >= 0)
        s += " (address " + hexCode(static_cast<uint64_t>(f.address), 2) + ", command " +
             hexCode(static_cast<uint64_t>(f.command), 2) + ")";
    return s;
}

bool enabledNow(const Receiver& r, const std::string& decoder) {
    std::string text = r.protocols;
    if (!r.sysPath.empty()) {
        std::string why; // the file as discovery read it stands in for one that cannot be read
        readAttribute(r.sysPath + "/protocols", text, why);
    }
    const ProtocolList p = parseProtocols(text);
    return std::find(p.enabled.begin(), p.enabled.end(), decoder) != p.enabled.end();
}

Lost coded(const std::string& layer, const std::string& text, const RawFrame& f) {
    Lost l{layer, text, f.kind == RawFrame::Kind::Decoded, f.scancode, f.protocol};
    return l;
}

} // namespace

bool Layers::same(const RawFrame& f, const Press& p) {
    // The event device names no protocol: its scancode alone must do.
    return !p.keyUp && p.scancode == f.scancode &&
           (p.protocol == kProtocolUnknown ||
            protocolOfVariant(protocolName(p.protocol)) == f.decoder);
}

// Decoded by us and by an enabled decoder of the kernel, yet no press: someone else took it.
Lost Layers::undelivered(const RawFrame& f, const Holders& h) const {
    std::string text = "light decoded as " + spoken(f) + " (scancode " + hexCode(f.scancode) +
                       "), and " + f.decoder + " is enabled on " + m_receiver.name +
                       ", but no press of it came from " + shown(m_node);
    if (!h.found.empty())
        text += ": the key was read by another program: " + h.found.front();
    else
        text += ": another program may hold it (fuser -v " + shown(m_node) + ")";
    return coded("not_delivered", text, f);
}

void Layers::frame(const RawFrame& f, uint64_t nowMs, std::vector<Lost>& lost) {
    switch (f.kind) {
    case RawFrame::Kind::Decoded:
        if (!enabledNow(m_receiver, f.decoder))
            lost.push_back(coded("no_decoder",
                                 "light but no decoder: this remote speaks " + spoken(f) +
                                     ", and " + f.decoder + " is not enabled on " +
                                     m_receiver.name + ": ir-keytable -s " + m_receiver.name +
                                     " -p " + f.decoder,
                                 f));
        else
            m_waiting.push_back(f);
        return;
    case RawFrame::Kind::Repeat:
        return; // a key held: its press was told, or its first frame was
    case RawFrame::Kind::Unknown:
        lost.push_back(coded(
            "unknown_protocol",
            "light in a protocol no decoder of " + m_receiver.name + " knows: " + f.describe(), f));
        return;
    case RawFrame::Kind::Cut:
        lost.push_back(coded("cut",
                             "light cut short: " + f.describe() +
                                 " (aim, distance, or a lamp's flicker over it)",
                             f));
        return;
    case RawFrame::Kind::Noise:
        ++m_noise;
        if (nowMs < m_noiseSaidMs + kNoiseEveryMs && m_noiseSaidMs != 0)
            return;
        lost.push_back(coded("noise",
                             std::to_string(m_noise) + " burst" + (m_noise == 1 ? "" : "s") +
                                 " of light too short for any remote (" + f.describe() +
                                 "): a lamp, the sun, or a remote pointed from far",
                             f));
        m_noise = 0;
        m_noiseSaidMs = nowMs;
        return;
    }
}

void Layers::sayUndelivered(std::vector<Lost>& lost) {
    if (m_undelivered.empty())
        return;
    Holders h;
    if (m_holders.ready(h)) {
        for (const RawFrame& f : m_undelivered)
            lost.push_back(undelivered(f, h));
        m_undelivered.clear();
    } else if (!m_holders.running()) {
        m_holders.start([node = m_node, proc = m_procRoot](
                            const ScanBounds& b) { return nodeHolders({node}, proc, b); },
                        kScanBudget, kScanMaxLinks);
    }
}

void Layers::poll(const std::vector<RawFrame>& frames, const std::vector<Press>& presses,
                  uint64_t nowMs, std::vector<Lost>& lost) {
    // Last poll's decoded frames had a poll more for their press.
    for (const RawFrame& f : m_waiting)
        if (std::none_of(presses.begin(), presses.end(),
                         [&](const Press& p) { return same(f, p); }))
            m_undelivered.push_back(f);
    m_waiting.clear();
    sayUndelivered(lost);
    for (const RawFrame& f : frames)
        frame(f, nowMs, lost);
    m_waiting.erase(std::remove_if(m_waiting.begin(), m_waiting.end(),
                                   [&](const RawFrame& f) {
                                       return std::any_of(
                                           presses.begin(), presses.end(),
                                           [&](const Press& p) { return same(f, p); });
                                   }),
                    m_waiting.end());
    for (const Press& p : presses)
        if (!p.keyUp && p.hold != 1 && !p.repeat && p.keycode == 0 && !m_keymap.empty())
            lost.push_back(Lost{
                "keymap",
                "decoded " + hexCode(p.scancode) +
                    (p.protocol == kProtocolUnknown ? "" : " (" + protocolName(p.protocol) + ")") +
                    " but " + m_keymap + " has no key for it",
                true, p.scancode, protocolName(p.protocol)});
}

} // namespace rireruv
