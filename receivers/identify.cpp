// The keymap index, the ranking of keymaps by presses, and remotes told apart (identify.h).
// One file, over 300 lines, since all three read scancodes through the same two facts: which
// protocol family a name belongs to, and the forms the kernel writes one NEC frame in.
#include "receivers/identify.h"

#include "receivers/read.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <set>
#include <sys/stat.h>

namespace rireruv {

namespace {

// Protocol families, as a small number so that an index entry stays small; kAny is a table
// that matches by scancode alone.
const uint8_t kAny = 0, kNec = 1;

// "rc-6-mce", "rc6_mce" and "RC6MCE" are one name: keymap files and the kernel spell them
// differently (rc_keymap(5) "rc5", "necx"; rc-main.c "rc-5", "nec-x").
std::string squeezed(const std::string& name) {
    std::string out;
    for (char c : name)
        if (c != '-' && c != '_')
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The kernel's decoders, by the squeezed name or its start (the variants of a family), each
// family a number of its own. Any other protocol (unknown, other, a BPF decoder's) is decoded
// where the kernel cannot say which it is: kAny.
struct Family {
    const char* start; // rc5sz before rc5, which would take it
    bool variants;     // the name may go on: rc5x20, sony12, nec32
    uint8_t id;
};
const Family kFamilies[] = {{"nec", true, kNec}, {"rc5sz", false, 2},   {"rc5", true, 3},
                            {"rc6", true, 4},    {"sony", true, 5},     {"jvc", false, 6},
                            {"sanyo", false, 7}, {"sharp", false, 8},   {"xmp", false, 9},
                            {"cec", false, 10},  {"imon", false, 11},   {"rcmm", true, 12},
                            {"mcir2", true, 13}, {"mcekbd", false, 13}, {"xboxdvd", false, 14}};

uint8_t familyOf(const std::string& protocol) {
    const std::string s = squeezed(protocol);
    for (const Family& f : kFamilies) {
        const size_t n = std::strlen(f.start);
        if (s.compare(0, n, f.start) == 0 && (s.size() == n || f.variants))
            return f.id;
    }
    return kAny;
}

bool compatible(uint8_t a, uint8_t b) {
    return a == kAny || b == kAny || a == b;
}

// A NEC frame as sent: address, its inverse (or the address's second byte), command, its
// inverse, read back from a scancode the kernel wrote in the form of width bits.
uint32_t necFrame(uint64_t scancode, int width) {
    const uint32_t s = static_cast<uint32_t>(scancode);
    const uint32_t b0 = s & 0xFF, b1 = (s >> 8) & 0xFF, b2 = (s >> 16) & 0xFF, b3 = s >> 24;
    if (width == 16)
        return b1 << 24 | (~b1 & 0xFF) << 16 | b0 << 8 | (~b0 & 0xFF);
    if (width == 24)
        return b2 << 24 | b1 << 16 | b0 << 8 | (~b0 & 0xFF);
    return b2 << 24 | b3 << 16 | b0 << 8 | b1; // nec-32: not_address, address, not_command, command
}

// The width a keymap entry's form has: the kernel writes a NEC frame in as few bits as say it.
int widthOf(uint64_t scancode) {
    return scancode <= 0xFFFF ? 16 : scancode <= 0xFFFFFF ? 24 : 32;
}

// The width of a press's form, from the variant that decoded it, or its size when none did.
int pressWidth(const std::string& protocol, uint64_t scancode) {
    const std::string s = squeezed(protocol);
    return s == "nec" ? 16 : s == "necx" ? 24 : s == "nec32" ? 32 : widthOf(scancode);
}

// "POWER", "key_power" and "KEY_POWER" are one key.
std::string keyNamed(const std::string& name) {
    std::string upper;
    for (char c : name)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper.empty() || upper.rfind("KEY_", 0) == 0 || upper.rfind("BTN_", 0) == 0
               ? upper
               : "KEY_" + upper;
}

// The names of a root's keymap files, sorted; false with why when the folder cannot be read
// for any reason but its absence.
bool keymapFiles(const std::string& root, std::vector<std::string>& names, std::string& why) {
    DIR* dir = opendir(root.c_str());
    if (dir == nullptr) {
        const int err = errno;
        why = root + ": " + std::strerror(err);
        return err == ENOENT;
    }
    for (const dirent* e = readdir(dir); e != nullptr; e = readdir(dir)) {
        const std::string name = e->d_name;
        std::string path = root;
        path.append("/").append(name);
        struct stat st {};
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ".toml") == 0 &&
            stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return true;
}

} // namespace

std::vector<std::string> KeymapIndex::systemRoots() {
    return {"/etc/rc_keymaps", "/lib/udev/rc_keymaps"};
}

KeymapIndex KeymapIndex::load(const std::vector<std::string>& roots, std::string& why) {
    KeymapIndex index;
    std::set<std::string> taken; // a name an earlier root had
    std::string where;
    for (const std::string& root : roots) {
        std::vector<std::string> names;
        std::string unreadable;
        if (!keymapFiles(root, names, unreadable))
            index.m_unread.push_back(unreadable);
        where += (where.empty() ? "" : " or ") + root;
        for (const std::string& name : names) {
            if (!taken.insert(name).second)
                continue;
            std::string path = root;
            path.append("/").append(name);
            KeymapFile file;
            std::string bad;
            if (readKeymapFile(path, file, bad))
                index.add(path, file);
            else
                index.m_unread.push_back(bad);
        }
    }
    why.clear();
    if (index.m_keymaps.empty())
        why = "no keymap file could be read in " + (where.empty() ? "no folder" : where) +
              (index.m_unread.empty() ? "" : " (" + index.m_unread.front() + ")") +
              "; Debian's ir-keytable package installs them: sudo apt install ir-keytable";
    return index;
}

void KeymapIndex::add(const std::string& file, const KeymapFile& keymap) {
    Keymap k;
    k.file = file;
    const size_t slash = file.rfind('/') + 1; // npos + 1 is 0
    const size_t dot = file.size() > 5 && file.compare(file.size() - 5, 5, ".toml") == 0
                           ? file.size() - 5
                           : file.size();
    k.name = file.substr(slash, dot - slash);
    if (!keymap.protocols.empty()) {
        k.name = keymap.protocols.front().name.empty() ? k.name : keymap.protocols.front().name;
        k.protocol = keymap.protocols.front().protocol;
    }
    const uint32_t id = static_cast<uint32_t>(m_keymaps.size());
    for (const KeymapProtocol& table : keymap.protocols) {
        const uint8_t family = familyOf(table.protocol);
        for (const auto& [scancode, name] : table.scancodes) {
            const auto key =
                m_keyIds.emplace(keyNamed(name), static_cast<uint32_t>(m_keyIds.size()));
            const Entry entry{id, key.first->second, family};
            m_byScancode[scancode].push_back(entry);
            if (family == kNec && scancode <= 0xFFFFFFFF)
                m_byNecFrame[necFrame(scancode, widthOf(scancode))].push_back(entry);
            ++k.keys;
        }
    }
    m_keymaps.push_back(k);
}

// Marks in marks[0] the keymaps that map press number (from 1), in marks[1] those that map it
// to the key named: a keymap counts a press once however many of its entries match it.
void KeymapIndex::mark(const HeardPress& p, uint32_t number, std::vector<uint32_t>* marks) const {
    const uint8_t family = familyOf(p.protocol);
    const auto named = p.named.empty() ? m_keyIds.end() : m_keyIds.find(keyNamed(p.named));
    const uint32_t key = named == m_keyIds.end() ? UINT32_MAX : named->second;
    auto visit = [&](const std::vector<Entry>& entries) {
        for (const Entry& e : entries) {
            if (!compatible(e.family, family))
                continue;
            marks[0][e.keymap] = number;
            if (e.key == key)
                marks[1][e.keymap] = number;
        }
    };
    const auto same = m_byScancode.find(p.scancode);
    if (same != m_byScancode.end())
        visit(same->second);
    // A byte from a hardware decoder is no NEC frame: only a wider code may be one.
    if ((family == kNec || (family == kAny && p.scancode > 0xFF)) && p.scancode <= 0xFFFFFFFF) {
        const auto frame =
            m_byNecFrame.find(necFrame(p.scancode, pressWidth(p.protocol, p.scancode)));
        if (frame != m_byNecFrame.end())
            visit(frame->second);
    }
}

std::vector<KeymapMatch> KeymapIndex::rank(const std::vector<HeardPress>& presses) const {
    std::vector<uint32_t> marks[2] = {std::vector<uint32_t>(m_keymaps.size()),
                                      std::vector<uint32_t>(m_keymaps.size())};
    std::vector<unsigned> matched(m_keymaps.size()), named(m_keymaps.size());
    unsigned namedOf = 0;
    for (uint32_t i = 0; i < presses.size(); ++i) {
        namedOf += !presses[i].named.empty();
        mark(presses[i], i + 1, marks);
        for (size_t k = 0; k < m_keymaps.size(); ++k) {
            matched[k] += marks[0][k] == i + 1;
            named[k] += marks[1][k] == i + 1;
        }
    }
    std::vector<KeymapMatch> ranked;
    for (size_t k = 0; k < m_keymaps.size(); ++k) {
        if (matched[k] == 0)
            continue;
        const Keymap& m = m_keymaps[k];
        ranked.push_back(KeymapMatch{m.file, m.name, m.protocol, matched[k],
                                     static_cast<unsigned>(presses.size()), named[k], namedOf,
                                     m.keys});
    }
    // Stable: keymaps level on all three stay in load order.
    std::stable_sort(ranked.begin(), ranked.end(), [](const KeymapMatch& a, const KeymapMatch& b) {
        if (a.matched != b.matched)
            return a.matched > b.matched;
        if (a.named != b.named)
            return a.named > b.named;
        return a.keys < b.keys;
    });
    return ranked;
}

const KeymapMatch* bestMatch(const std::vector<KeymapMatch>& ranked) {
    if (ranked.empty())
        return nullptr;
    const KeymapMatch& first = ranked.front();
    if (first.matched == first.of || ranked.size() == 1 || ranked[1].matched < first.matched ||
        ranked[1].named < first.named)
        return &first;
    return nullptr;
}

namespace {

// Where a decoder's scancode keeps the remote's address (the kernel's decoders: ir-rc5-decoder.c,
// ir-rc6-decoder.c, ir-sony-decoder.c, ...): the bits above shift, under mask. NEC is read from
// its frame instead, since its three forms put the address in three places.
struct AddressAt {
    const char* variant; // squeezed
    const char* family;
    int shift;
    uint64_t mask;
};
const AddressAt kAddresses[] = {{"rc5", "rc-5", 8, 0x1F},        {"rc5x20", "rc-5", 16, 0x1F},
                                {"rc60", "rc-6", 8, 0xFF},       {"rc66a20", "rc-6", 8, 0xFFF},
                                {"rc66a24", "rc-6", 8, 0xFFFF},  {"rc66a32", "rc-6", 8, 0xFFFFFF},
                                {"rc6mce", "rc-6", 8, 0xFFFFFF}, {"sony12", "sony", 16, 0x1F},
                                {"sony15", "sony", 16, 0xFF},    {"sony20", "sony", 8, 0x1FFF},
                                {"jvc", "jvc", 8, 0xFF},         {"sanyo", "sanyo", 8, 0x1FFF},
                                {"sharp", "sharp", 8, 0x1F}};

// The remote a press came from: its family and address; false when its scancode has no known
// place for an address.
bool remoteOf(const HeardPress& p, std::string& family, uint64_t& address) {
    const std::string variant = squeezed(p.protocol);
    if (familyOf(p.protocol) == kNec) {
        const uint32_t frame = necFrame(p.scancode, pressWidth(p.protocol, p.scancode));
        const uint32_t a = frame >> 24, na = (frame >> 16) & 0xFF;
        family = "nec";
        address = na == (~a & 0xFF) ? a : a << 8 | na; // one byte when sent with its inverse
        return true;
    }
    for (const AddressAt& at : kAddresses) {
        if (variant == at.variant) {
            family = at.family;
            address = (p.scancode >> at.shift) & at.mask;
            return true;
        }
    }
    return false;
}

// "press 4", "presses 4 and 5", "presses 4, 5 and 7" (numbered from 1).
std::string pressesText(const std::vector<size_t>& presses) {
    std::string text = presses.size() == 1 ? "press " : "presses ";
    for (size_t i = 0; i < presses.size(); ++i)
        text += (i == 0                    ? ""
                 : i + 1 == presses.size() ? " and "
                                           : ", ") +
                std::to_string(presses[i] + 1);
    return text;
}

} // namespace

std::vector<RemoteHeard> remotesHeard(const std::vector<HeardPress>& presses) {
    std::vector<RemoteHeard> remotes;
    for (size_t i = 0; i < presses.size(); ++i) {
        RemoteHeard r;
        if (!remoteOf(presses[i], r.protocol, r.address))
            continue;
        auto same = std::find_if(remotes.begin(), remotes.end(), [&](const RemoteHeard& o) {
            return o.protocol == r.protocol && o.address == r.address;
        });
        if (same == remotes.end())
            same = remotes.insert(remotes.end(), r);
        same->presses.push_back(i);
    }
    // Stable: of two remotes heard as often, the one heard first leads.
    std::stable_sort(remotes.begin(), remotes.end(),
                     [](const RemoteHeard& a, const RemoteHeard& b) {
                         return a.presses.size() > b.presses.size();
                     });
    return remotes;
}

std::string secondRemote(const std::vector<HeardPress>& presses) {
    const std::vector<RemoteHeard> remotes = remotesHeard(presses);
    if (remotes.size() < 2)
        return "";
    std::string text;
    for (size_t i = 1; i < remotes.size(); ++i) {
        const RemoteHeard& r = remotes[i];
        text += (i == 1 ? "" : ", ") + pressesText(r.presses) +
                (r.presses.size() == 1 ? " has " : " have ") + r.protocol + " address " +
                hexCode(r.address, 2);
    }
    return text + ", the others " + remotes[0].protocol + " address " +
           hexCode(remotes[0].address, 2) +
           (remotes.size() == 2 ? ": a second remote"
                                : ": " + std::to_string(remotes.size()) + " remotes");
}

} // namespace rireruv
