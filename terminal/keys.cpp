// Decoding the terminal's bytes: the grammar that finds where a sequence ends, and the table of
// the sequences that mean a key here.
#include "terminal/keys.h"

#include "platform/utf8.h"
#include "terminal/escape.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace terminal {

namespace {

const char kEsc = '\x1b';
const int kPastePatienceMs = 1000; // a paste whose end mark never comes is given up
// After a lone Esc taken as the key, or a sequence dropped unfinished, its rest may still come:
// over SSH, hundreds of ms after the escape delay. Within this it is dropped, not typed.
const int kLateRestMs = 1000;
const std::string kPasteStart = "\x1b[200~", kPasteEnd = "\x1b[201~";

// The sequences that mean a key of ours, as xterm, VT220, rxvt, the Linux console, screen and
// tmux send them. F4 means something only with Alt, sent as an Esc before the key by a terminal
// that does not encode modifiers in the sequence (tmux, rxvt); xterm encodes it (1;3).
struct Sequence {
    const char* bytes;
    Key::Kind plain;
    Key::Kind withAlt;
};
const Sequence kSequences[] = {
    {"\x1b[A", Key::Up, Key::None},        // Up, normal cursor mode
    {"\x1b[B", Key::Down, Key::None},      // Down
    {"\x1b[C", Key::Right, Key::None},     // Right
    {"\x1b[D", Key::Left, Key::None},      // Left
    {"\x1bOA", Key::Up, Key::None},        // Up, application cursor mode
    {"\x1bOB", Key::Down, Key::None},      // Down
    {"\x1bOC", Key::Right, Key::None},     // Right
    {"\x1bOD", Key::Left, Key::None},      // Left
    {"\x1b[Z", Key::BackTab, Key::None},   // Shift+Tab
    {"\x1bOM", Key::Enter, Key::None},     // the keypad's Enter, application mode
    {"\x1b[21~", Key::Menu, Key::None},    // F10
    {"\x1bOS", Key::None, Key::AltF4},     // F4: xterm
    {"\x1b[14~", Key::None, Key::AltF4},   // F4: VT220, rxvt
    {"\x1b[[D", Key::None, Key::AltF4},    // F4: the Linux console
    {"\x1b[1;3S", Key::AltF4, Key::None},  // Alt+F4: xterm, tmux 3
    {"\x1b[14;3~", Key::AltF4, Key::None}, // Alt+F4: VT220 keys, xterm's modifiers
};

bool between(char c, int low, int high) {
    const auto u = static_cast<unsigned char>(c);
    return u >= low && u <= high;
}

// Where a control sequence whose parameters start at s[at] ends (ECMA-48: parameter bytes,
// intermediate bytes, one final byte): the index past it, or 0 when the bytes end first. A
// byte outside the grammar ends a malformed sequence before it.
size_t controlSequenceEnd(const std::string& s, size_t at) {
    size_t i = at;
    while (i < s.size() && between(s[i], 0x30, 0x3F))
        ++i;
    while (i < s.size() && between(s[i], 0x20, 0x2F))
        ++i;
    if (i == s.size())
        return 0;
    return between(s[i], 0x40, 0x7E) ? i + 1 : i;
}

// The length of the escape sequence at the front of s (an Esc), 0 when it is unfinished.
size_t escapeLength(const std::string& s) {
    if (s.size() < 3)
        return s.size() == 2 && s[1] != '[' && s[1] != 'O' && s[1] != kEsc &&
                       utf8::lengthOf(static_cast<unsigned char>(s[1])) <= 1
                   ? 2 // Alt with a character or a control key
                   : 0;
    const char c = s[1];
    if (c == '[' && s[2] == '[') // the Linux console's F1-F5
        return s.size() >= 4 ? 4 : 0;
    if (c == '[' && s[2] == 'M') // a mouse report in X10 form: three bytes of any value follow
        return s.size() >= 6 ? 6 : 0;
    if (c == '[' || c == 'O')
        return controlSequenceEnd(s, 2);
    if (c == kEsc) { // Alt with a key that sends a sequence, or else a lone Esc first
        if (s[2] != '[' && s[2] != 'O')
            return 1;
        const size_t inner = escapeLength(s.substr(1));
        return inner == 0 ? 0 : inner + 1;
    }
    const size_t n = utf8::lengthOf(static_cast<unsigned char>(c)); // Alt with a character
    return n <= 1 ? 2 : s.size() >= 1 + n ? 1 + n : 0;
}

std::vector<int> numbers(const std::string& text) {
    std::vector<int> out(1, 0);
    for (char c : text) {
        if (c == ';')
            out.push_back(0);
        else if (between(c, '0', '9'))
            out.back() = std::min(out.back() * 10 + (c - '0'), 1 << 20);
    }
    return out;
}

// A mouse report: ESC [ < button ; column ; row, then M (pressed) or m (released), counted
// from 1 (SGR's form, for any column); or ESC [ M and three bytes of 32 plus each number (X10's,
// up to column 223), where a release does not say which button. The modifier bits are ignored;
// motion and the wheel are no buttons.
struct Mouse {
    bool left = false; // the left button, or X10's release of any
    bool released = false;
    int x = 0, y = 0;
};

bool mouseReport(const std::string& seq, Mouse& mouse) {
    int button = 0;
    if (seq.compare(0, 3, "\x1b[<") == 0) {
        const std::vector<int> n = numbers(seq.substr(3));
        if (n.size() != 3)
            return false;
        button = n[0], mouse.x = n[1], mouse.y = n[2];
        mouse.released = seq.back() == 'm';
    } else if (seq.size() == 6 && seq.compare(0, 3, "\x1b[M") == 0) {
        button = static_cast<unsigned char>(seq[3]) - 32;
        mouse.x = static_cast<unsigned char>(seq[4]) - 32;
        mouse.y = static_cast<unsigned char>(seq[5]) - 32;
        mouse.released = (button & 3) == 3;
        if (mouse.released)
            button &= ~3;
    } else {
        return false;
    }
    mouse.left = (button & ~(4 | 8 | 16)) == 0;
    return true;
}

Key::Kind lookUp(const std::string& seq) {
    const bool alt = seq.size() > 2 && seq[1] == kEsc;
    const std::string plain = alt ? seq.substr(1) : seq;
    for (const Sequence& s : kSequences)
        if (plain == s.bytes)
            return alt ? s.withAlt : s.plain;
    return Key::None;
}

Key::Kind controlKey(char c) {
    switch (c) {
    case '\t':
        return Key::Tab;
    case '\r':
    case '\n':
        return Key::Enter;
    default:
        return Key::None; // other control keys (Backspace among them) do nothing in the dialog
    }
}

} // namespace

void KeyDecoder::feed(const std::string& bytes, std::vector<Key>& out) {
    m_pending += bytes;
    if (!m_givenUp.empty() && !m_pending.empty() && !dropLateRest())
        return;
    while (!m_pending.empty()) {
        const size_t used = m_inPaste ? skipPaste() : decodeOne(out);
        if (used == 0)
            return;
        m_pending.erase(0, used);
    }
}

size_t KeyDecoder::decodeOne(std::vector<Key>& out) {
    const std::string& s = m_pending;
    const auto lead = static_cast<unsigned char>(s[0]);
    if (lead == kEsc)
        return escapeSequence(out);
    if (lead < 0x20 || lead == 0x7F) {
        if (controlKey(s[0]) != Key::None)
            out.push_back(Key{controlKey(s[0])});
        return 1;
    }
    if (lead < 0x80) {
        out.push_back(Key{Key::Char, lead});
        return 1;
    }
    const size_t n = utf8::lengthOf(lead);
    if (n == 0)
        return 1; // not the start of a character: dropped
    if (s.size() < n)
        return 0; // the rest of the character is in the next read
    const long code = utf8::readAt(s.data(), n).code;
    if (code < 0)
        return 1;
    if (code >= 0xA0) // C1 control characters are no keys
        out.push_back(Key{Key::Char, static_cast<char32_t>(code)});
    return n;
}

size_t KeyDecoder::escapeSequence(std::vector<Key>& out) {
    const size_t n = escapeLength(m_pending);
    if (n == 0)
        return 0;
    const std::string seq = m_pending.substr(0, n);
    Key key;
    if (seq == kPasteStart)
        m_inPaste = true;
    else if (n == 1)
        key.kind = Key::Escape;
    else if (seq == "\x1b ")
        key.kind = Key::Menu; // Alt+Space
    else if (!click(seq, key))
        key.kind = lookUp(seq);
    if (key.kind != Key::None)
        out.push_back(key);
    return n;
}

// Where the press was is not asked: the window system clicks where the release is.
bool KeyDecoder::click(const std::string& seq, Key& key) {
    Mouse mouse;
    if (!mouseReport(seq, mouse))
        return false;
    if (!mouse.left)
        return true;
    const bool wasDown = m_leftDown;
    m_leftDown = !mouse.released;
    if (mouse.released && wasDown && mouse.x >= 1 && mouse.y >= 1)
        key = Key{Key::Click, 0, mouse.x - 1, mouse.y - 1};
    return true;
}

// Pasted text is no keys: a line end in it would press the focused button. Everything up to the
// paste's end mark is dropped, but for what may be the start of that mark.
size_t KeyDecoder::skipPaste() {
    const size_t end = m_pending.find(kPasteEnd);
    if (end != std::string::npos) {
        m_inPaste = false;
        return end + kPasteEnd.size();
    }
    return m_pending.size() - std::min(m_pending.size(), kPasteEnd.size() - 1);
}

// The bytes at the front of m_pending that can only be the rest of what expire() gave up are
// dropped, and the watch ends: with the first bytes that are no such rest, or with a rest
// whole. A paste's start mark, whole at last, still starts a paste: its text is no keys.
bool KeyDecoder::dropLateRest() {
    const bool afterEsc = m_givenUp == "\x1b";
    if (m_pending[0] == kEsc || (afterEsc && m_pending[0] != '[' && m_pending[0] != 'O')) {
        m_givenUp.clear(); // a key of its own, as a person types after Esc
        return true;
    }
    const std::string whole = m_givenUp + m_pending;
    const size_t n = escapeLength(whole);
    if (n == 0)
        return false;
    const size_t rest = n > m_givenUp.size() ? n - m_givenUp.size() : 0;
    m_inPaste = whole.compare(0, n, kPasteStart) == 0;
    m_pending.erase(0, rest);
    m_givenUp.clear();
    return true;
}

int KeyDecoder::patienceMs(int escapeDelayMs) const {
    if (m_inPaste)
        return kPastePatienceMs;
    const bool sequence = !m_pending.empty() && (m_pending[0] == kEsc || !m_givenUp.empty());
    return sequence ? escapeDelayMs : -1;
}

int KeyDecoder::lateRestMs() const {
    return m_givenUp.empty() || !m_pending.empty() ? -1 : kLateRestMs;
}

// What is given up is kept to tell its rest by: a lone Esc, whose rest starts a sequence, or
// the sequence as far as it came, which its rest goes on with (a late rest unfinished as well).
void KeyDecoder::expire(std::vector<Key>& out) {
    if (m_inPaste || m_pending.empty())
        m_givenUp.clear();
    else if (!m_givenUp.empty())
        m_givenUp += m_pending;
    else if (m_pending.find_first_not_of(kEsc) != std::string::npos)
        m_givenUp = m_pending[0] == kEsc ? m_pending : std::string();
    else {
        out.insert(out.end(), m_pending.size(), Key{Key::Escape});
        m_givenUp = "\x1b";
    }
    m_inPaste = false;
    m_pending.clear();
}

int escapeDelayMs(const char* setting) {
    if (setting == nullptr)
        return kDefaultEscapeDelayMs;
    char* end = nullptr;
    errno = 0;
    const long ms = std::strtol(setting, &end, 0);
    const bool whole = end != setting && *end == '\0' && errno == 0;
    return whole && ms >= 0 && ms <= INT_MAX ? static_cast<int>(ms) : kDefaultEscapeDelayMs;
}

} // namespace terminal
