// Compiled resources (.res files, as windres writes them) and the formats inside them: dialog
// templates, string tables and icon groups. The model creates its windows and loads its
// strings and icons from these bytes, the same ones that go into the executable; the tests
// read them to check what was compiled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace model {

// A resource type or name: a number, or a string.
struct ResId {
    bool isNumber = true;
    uint16_t number = 0;
    std::u16string name;
    bool operator==(uint16_t n) const { return isNumber && number == n; }
};

struct Resource {
    ResId type;
    ResId name;
    uint16_t language = 0;
    std::vector<uint8_t> data;
};

enum ResType : uint16_t {
    kRtIcon = 3,
    kRtDialog = 5,
    kRtString = 6,
    kRtGroupIcon = 14,
    kRtVersion = 16
};

class ResourceSet {
  public:
    // Throws std::runtime_error, naming the offset, when the bytes are not a .res file.
    static ResourceSet parse(const uint8_t* bytes, size_t size);

    const Resource* find(uint16_t type, uint16_t id) const;
    // Lets a test run the program on altered resources (a template without a system menu).
    void replace(uint16_t type, uint16_t id, std::vector<uint8_t> data);
    const std::vector<Resource>& all() const { return m_resources; }

  private:
    std::vector<Resource> m_resources;
};

struct DialogItem {
    uint32_t style = 0, exStyle = 0, helpId = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    int id = 0;
    ResId windowClass; // 0x80 button, 0x82 static, or a class name
    ResId text;        // a text, or a resource number (the icon of an icon static)
};

struct DialogTemplate {
    bool extended = false;
    uint32_t style = 0, exStyle = 0, helpId = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    ResId menu, windowClass;
    std::u16string caption;
    int pointSize = 0, weight = 0, charset = 0;
    bool italic = false;
    std::u16string face;
    std::vector<DialogItem> items;
};

// Throws std::runtime_error on a malformed template.
DialogTemplate parseDialog(const std::vector<uint8_t>& data);

// The string with this id, if its table block exists and the string is not empty.
std::optional<std::u16string> findString(const ResourceSet& resources, unsigned id);

// The fixed part of a version resource (VS_FIXEDFILEINFO): the file and product versions as
// Windows shows them in a file's properties, each four numbers ("1.0.0.2"). Empty strings when
// the resource is no version information.
struct VersionNumbers {
    std::string file, product;
};
VersionNumbers parseVersionNumbers(const std::vector<uint8_t>& data);

struct IconEntry {
    int width = 0, height = 0, colorCount = 0, planes = 0, bitCount = 0;
    uint32_t bytes = 0;
    uint16_t id = 0; // of the RT_ICON resource with the image
};
std::vector<IconEntry> parseIconGroup(const std::vector<uint8_t>& data);

// Little-endian reads with bounds checks, shared by the parsers here and in the tests.
class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    explicit ByteReader(const std::vector<uint8_t>& v) : ByteReader(v.data(), v.size()) {}
    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    std::u16string sz(); // NUL-terminated UTF-16
    ResId szOrOrdinal(); // 0xFFFF then a number, or a string
    void align(size_t n);
    void skip(size_t n);
    size_t pos() const { return m_pos; }
    void seek(size_t pos);
    bool atEnd() const { return m_pos >= m_size; }

  private:
    void need(size_t n) const;
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

} // namespace model
