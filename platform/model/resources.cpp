// Readers of the compiled resource formats.
#include "platform/model/resources.h"

#include <stdexcept>

namespace model {

void ByteReader::need(size_t n) const {
    if (m_pos + n > m_size)
        throw std::runtime_error("resource data ends early at offset " + std::to_string(m_pos));
}
uint8_t ByteReader::u8() {
    need(1);
    return m_data[m_pos++];
}
uint16_t ByteReader::u16() {
    need(2);
    const uint16_t v = static_cast<uint16_t>(m_data[m_pos] | (m_data[m_pos + 1] << 8));
    m_pos += 2;
    return v;
}
uint32_t ByteReader::u32() {
    const uint32_t lo = u16();
    return lo | (static_cast<uint32_t>(u16()) << 16);
}
std::u16string ByteReader::sz() {
    std::u16string s;
    for (char16_t c = u16(); c != 0; c = u16())
        s.push_back(c);
    return s;
}
ResId ByteReader::szOrOrdinal() {
    ResId id;
    need(2);
    if (m_data[m_pos] == 0xFF && m_data[m_pos + 1] == 0xFF) {
        skip(2);
        id.number = u16();
    } else {
        id.isNumber = false;
        id.name = sz();
    }
    return id;
}
void ByteReader::align(size_t n) {
    m_pos = (m_pos + n - 1) / n * n;
}
void ByteReader::skip(size_t n) {
    need(n);
    m_pos += n;
}
void ByteReader::seek(size_t pos) {
    if (pos > m_size)
        throw std::runtime_error("resource offset " + std::to_string(pos) + " is out of range");
    m_pos = pos;
}

// ---- .res files ---------------------------------------------------------------------------

ResourceSet ResourceSet::parse(const uint8_t* bytes, size_t size) {
    ResourceSet set;
    ByteReader r(bytes, size);
    while (!r.atEnd()) {
        const size_t start = r.pos();
        const uint32_t dataSize = r.u32();
        const uint32_t headerSize = r.u32();
        Resource res;
        res.type = r.szOrOrdinal();
        res.name = r.szOrOrdinal();
        r.align(4);
        r.u32(); // data version
        r.u16(); // memory flags
        res.language = r.u16();
        // A header shorter than the fields just read would send the reader back into them, and
        // one of no size back to this entry's start, for ever.
        if (headerSize < r.pos() - start)
            throw std::runtime_error("resource header at offset " + std::to_string(start) + " is " +
                                     std::to_string(headerSize) +
                                     " bytes, shorter than its fields");
        r.seek(start + headerSize);
        const size_t dataStart = r.pos();
        r.skip(dataSize);
        res.data.assign(bytes + dataStart, bytes + dataStart + dataSize);
        r.align(4);
        // A .res file begins with an empty entry that only marks the format.
        if (dataSize != 0 || !(res.type == 0))
            set.m_resources.push_back(std::move(res));
    }
    return set;
}

const Resource* ResourceSet::find(uint16_t type, uint16_t id) const {
    for (const Resource& r : m_resources)
        if (r.type == type && r.name == id)
            return &r;
    return nullptr;
}

void ResourceSet::replace(uint16_t type, uint16_t id, std::vector<uint8_t> data) {
    for (Resource& r : m_resources)
        if (r.type == type && r.name == id) {
            r.data = std::move(data);
            return;
        }
    Resource r;
    r.type.number = type;
    r.name.number = id;
    r.data = std::move(data);
    m_resources.push_back(std::move(r));
}

// ---- dialog templates ---------------------------------------------------------------------

DialogTemplate parseDialog(const std::vector<uint8_t>& data) {
    ByteReader r(data);
    DialogTemplate t;
    size_t count = 0;
    if (data.size() >= 4 && data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF) {
        t.extended = true;
        r.skip(4); // version 1, signature 0xFFFF
        t.helpId = r.u32();
        t.exStyle = r.u32();
        t.style = r.u32();
    } else {
        t.style = r.u32();
        t.exStyle = r.u32();
    }
    count = r.u16();
    t.x = static_cast<int16_t>(r.u16());
    t.y = static_cast<int16_t>(r.u16());
    t.cx = static_cast<int16_t>(r.u16());
    t.cy = static_cast<int16_t>(r.u16());
    t.menu = r.szOrOrdinal();
    t.windowClass = r.szOrOrdinal();
    t.caption = r.sz();
    if (t.style & 0x40) { // DS_SETFONT
        t.pointSize = r.u16();
        if (t.extended) {
            t.weight = r.u16();
            t.italic = r.u8() != 0;
            t.charset = r.u8();
        }
        t.face = r.sz();
    }
    for (size_t i = 0; i < count; ++i) {
        r.align(4);
        DialogItem item;
        if (t.extended) {
            item.helpId = r.u32();
            item.exStyle = r.u32();
            item.style = r.u32();
        } else {
            item.style = r.u32();
            item.exStyle = r.u32();
        }
        item.x = static_cast<int16_t>(r.u16());
        item.y = static_cast<int16_t>(r.u16());
        item.cx = static_cast<int16_t>(r.u16());
        item.cy = static_cast<int16_t>(r.u16());
        item.id = t.extended ? static_cast<int32_t>(r.u32()) : static_cast<int16_t>(r.u16());
        item.windowClass = r.szOrOrdinal();
        item.text = r.szOrOrdinal();
        r.skip(r.u16()); // creation data
        t.items.push_back(std::move(item));
    }
    return t;
}

// ---- strings and icons --------------------------------------------------------------------

std::optional<std::u16string> findString(const ResourceSet& resources, unsigned id) {
    // Strings are stored sixteen to a block; block n holds ids 16(n-1) to 16n-1.
    const Resource* block = resources.find(kRtString, static_cast<uint16_t>(id / 16 + 1));
    if (block == nullptr)
        return std::nullopt;
    ByteReader r(block->data);
    for (unsigned i = 0; i < id % 16; ++i)
        r.skip(size_t{2} * r.u16());
    std::u16string s(r.u16(), u'\0');
    for (char16_t& c : s)
        c = r.u16();
    if (s.empty())
        return std::nullopt;
    return s;
}

std::vector<IconEntry> parseIconGroup(const std::vector<uint8_t>& data) {
    ByteReader r(data);
    r.u16(); // reserved
    if (r.u16() != 1)
        throw std::runtime_error("icon group is not of icons");
    std::vector<IconEntry> entries(r.u16());
    for (IconEntry& e : entries) {
        // A stored size of 0 means 256 pixels.
        e.width = r.u8();
        e.height = r.u8();
        e.width = e.width ? e.width : 256;
        e.height = e.height ? e.height : 256;
        e.colorCount = r.u8();
        r.u8();
        e.planes = r.u16();
        e.bitCount = r.u16();
        e.bytes = r.u32();
        e.id = r.u16();
    }
    return entries;
}

VersionNumbers parseVersionNumbers(const std::vector<uint8_t>& data) {
    ByteReader r(data);
    r.u16(), r.u16(), r.u16(), r.sz(), r.align(4); // length, value length, type, key
    if (r.u32() != 0xFEEF04BDu)
        return {};
    r.u32(); // the structure's version
    uint32_t v[4] = {};
    for (uint32_t& part : v)
        part = r.u32();
    auto dotted = [](uint32_t high, uint32_t low) {
        return std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." +
               std::to_string(low >> 16) + "." + std::to_string(low & 0xFFFF);
    };
    return {dotted(v[0], v[1]), dotted(v[2], v[3])};
}

} // namespace model
