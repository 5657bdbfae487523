// The compiled resources, read back from the .res bytes that also go into the executable.
#include "res/resource.h"
#include "tests/support/bounded.h"
#include "tests/support/verifier.h"

namespace {

using model::ByteReader;

const uint16_t kTaiwan = 0x0404;

model::DialogTemplate dialog(int id) {
    const auto resources = programResources();
    const model::Resource* res = resources.find(model::kRtDialog, static_cast<uint16_t>(id));
    if (res == nullptr)
        throw std::runtime_error("no dialog " + std::to_string(id));
    return model::parseDialog(res->data);
}

struct Item {
    uint16_t cls;
    int id;
    const char* text; // null: not a fixed string (an icon's number, the rights notice)
    int x, y, cx, cy;
    uint32_t style;
};

void expectItems(const model::DialogTemplate& t, const std::vector<Item>& items) {
    ASSERT_EQ(t.items.size(), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& a = t.items[i];
        const auto& e = items[i];
        EXPECT_EQ(a.windowClass.number, e.cls);
        EXPECT_TRUE(a.windowClass.isNumber);
        EXPECT_EQ(a.id, e.id);
        if (e.text != nullptr) {
            EXPECT_EQ(model::utf8(a.text.name), e.text);
        }
        EXPECT_EQ(std::vector<int>({a.x, a.y, a.cx, a.cy}),
                  std::vector<int>({e.x, e.y, e.cx, e.cy}));
        EXPECT_EQ(a.style, e.style) << std::hex << a.style;
        EXPECT_EQ(a.exStyle, 0u);
    }
}

TEST(Resources, EveryResourceIsTaggedTraditionalChineseTaiwan) {
    const auto resources = programResources();
    ASSERT_GE(resources.all().size(), 7u); // 2 dialogs, strings, group, 2 images, version
    for (const auto& r : resources.all())
        EXPECT_EQ(r.language, kTaiwan) << "type " << r.type.number << " id " << r.name.number;
}

TEST(Resources, VerifierTemplate) {
    const auto t = dialog(IDD_VERIFIER);
    EXPECT_TRUE(t.extended);
    EXPECT_EQ(t.style, 0x90C800C0u);
    EXPECT_EQ(t.exStyle, 0x00040000u);
    EXPECT_EQ(t.helpId, 0u);
    EXPECT_EQ(std::vector<int>({t.x, t.y, t.cx, t.cy}), std::vector<int>({0, 0, 174, 64}));
    EXPECT_EQ(model::utf8(t.caption), "VOR Odiruvid Aru VAV713A / 878");
    EXPECT_EQ(t.pointSize, 9);
    EXPECT_EQ(model::utf8(t.face), "新細明體");
    EXPECT_EQ(t.weight, 0);
    EXPECT_FALSE(t.italic);
    EXPECT_EQ(t.charset, 1);
    EXPECT_TRUE(!t.menu.isNumber && t.menu.name.empty()) << "no menu";
    expectItems(t, {{0x80, -1, "Remote Function", 11, 13, 149, 36, 0x50000007},
                    {0x82, -1, "Remote Data:", 17, 29, 44, 15, 0x50020000},
                    {0x82, 1008, "", 67, 27, 44, 13, 0x50020000},
                    {0x80, 1009, "Start", 123, 26, 28, 16, 0x50010000}});
}

TEST(Resources, AboutTemplate) {
    const auto t = dialog(IDD_ABOUT);
    EXPECT_FALSE(t.extended);
    EXPECT_EQ(t.style, 0x80C800C0u);
    EXPECT_EQ(t.exStyle, 0u);
    EXPECT_EQ(std::vector<int>({t.x, t.y, t.cx, t.cy}), std::vector<int>({0, 0, 235, 55}));
    EXPECT_EQ(model::utf8(t.caption), "關於 Test_rireruv");
    EXPECT_EQ(t.pointSize, 9);
    EXPECT_EQ(model::utf8(t.face), "新細明體");
    ASSERT_EQ(t.items.size(), 4u);
    // The icon static names the icon group by number.
    EXPECT_TRUE(t.items[0].text.isNumber);
    EXPECT_EQ(t.items[0].text.number, IDR_APPICON);
    expectItems(t, {{0x82, -1, nullptr, 11, 17, 20, 20, 0x50000003},
                    {0x82, -1, "Test_rireruv Version 1.0", 40, 10, 119, 8, 0x50020080},
                    {0x82, -1, nullptr, 40, 25, 119, 8, 0x50020000},
                    {0x80, 1, "確定", 178, 7, 50, 14, 0x50030001}});
    EXPECT_FALSE(t.items[2].text.isNumber || t.items[2].text.name.empty()) << "a rights notice";
}

TEST(Resources, StringTableHoldsTheAboutItemOnly) {
    const auto resources = programResources();
    EXPECT_EQ(model::utf8(model::findString(resources, IDS_ABOUT_MENU).value_or(u"")),
              "關於 Test_rireruv(&A)...");
    EXPECT_FALSE(model::findString(resources, 0xE000).has_value()) << "no AFX_IDS_APP_TITLE";
    int strings = 0;
    for (unsigned id = 0; id < 0x10000; ++id)
        strings += model::findString(resources, id).has_value();
    EXPECT_EQ(strings, 1);
}

TEST(Resources, IconGroupHasTwoSixteenColourImages) {
    const auto resources = programResources();
    const auto* group = resources.find(model::kRtGroupIcon, IDR_APPICON);
    ASSERT_NE(group, nullptr);
    const auto entries = model::parseIconGroup(group->data);
    ASSERT_EQ(entries.size(), 2u);
    const int sizes[2] = {32, 16};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(entries[i].width, sizes[i]);
        EXPECT_EQ(entries[i].height, sizes[i]);
        EXPECT_EQ(entries[i].colorCount, 16);
        EXPECT_EQ(entries[i].planes, 1);
        EXPECT_EQ(entries[i].bitCount, 4);
        const auto* image = resources.find(model::kRtIcon, entries[i].id);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->data.size(), entries[i].bytes);
        ByteReader r(image->data); // BITMAPINFOHEADER: size, width, twice the height, 1, 4
        EXPECT_EQ(r.u32(), 40u);
        EXPECT_EQ(r.u32(), static_cast<uint32_t>(sizes[i]));
        EXPECT_EQ(r.u32(), static_cast<uint32_t>(2 * sizes[i]));
        EXPECT_EQ(r.u16(), 1);
        EXPECT_EQ(r.u16(), 4);
    }
}

// ---- the version resource -----------------------------------------------------------------

struct VersionBlock {
    std::u16string key;
    std::vector<uint8_t> value;
    std::u16string text;
    std::vector<VersionBlock> children;
};

VersionBlock readBlock(ByteReader& r, size_t end) {
    const size_t start = r.pos();
    const uint16_t length = r.u16();
    const uint16_t valueLength = r.u16();
    const uint16_t type = r.u16();
    VersionBlock b;
    b.key = r.sz();
    r.align(4);
    if (type == 1) { // text, counted in characters
        for (uint16_t i = 0; i < valueLength; ++i) {
            const char16_t c = r.u16();
            if (c != 0)
                b.text.push_back(c);
        }
    } else {
        for (uint16_t i = 0; i < valueLength; ++i)
            b.value.push_back(r.u8());
    }
    r.align(4);
    const size_t blockEnd = std::min(end, start + length);
    while (r.pos() < blockEnd) {
        b.children.push_back(readBlock(r, blockEnd));
        r.align(4);
    }
    return b;
}

TEST(Resources, VersionInformation) {
    const auto resources = programResources();
    const auto* res = resources.find(model::kRtVersion, 1);
    ASSERT_NE(res, nullptr);
    ByteReader r(res->data);
    const VersionBlock root = readBlock(r, res->data.size());
    EXPECT_EQ(model::utf8(root.key), "VS_VERSION_INFO");
    ASSERT_EQ(root.value.size(), 52u);
    ByteReader f(root.value);
    EXPECT_EQ(f.u32(), 0xFEEF04BDu);
    f.u32(); // structure version
    const uint32_t fileMs = f.u32(), fileLs = f.u32(), productMs = f.u32(), productLs = f.u32();
    EXPECT_EQ(std::vector<uint32_t>({fileMs, fileLs}),
              std::vector<uint32_t>({0x00010000, 0x00000002}));
    EXPECT_EQ(std::vector<uint32_t>({productMs, productLs}),
              std::vector<uint32_t>({0x00010000, 0x00000001}));
    // As --version says them (the model's one reader of them).
    const model::VersionNumbers said = model::parseVersionNumbers(res->data);
    EXPECT_EQ(said.file + " " + said.product, "1.0.0.2 1.0.0.1");
    EXPECT_EQ(f.u32(), 0x3Fu); // flags mask
    EXPECT_EQ(f.u32(), 0u);    // flags
    EXPECT_EQ(f.u32(), 0x4u);  // VOS__WINDOWS32
    EXPECT_EQ(f.u32(), 0x1u);  // VFT_APP
    EXPECT_EQ(f.u32(), 0u);    // subtype

    ASSERT_EQ(root.children.size(), 2u);
    const VersionBlock& strings = root.children[0];
    EXPECT_EQ(model::utf8(strings.key), "StringFileInfo");
    ASSERT_EQ(strings.children.size(), 1u);
    EXPECT_EQ(model::utf8(strings.children[0].key), "040404b0");
    std::vector<std::pair<std::string, std::string>> values;
    for (const auto& v : strings.children[0].children)
        values.emplace_back(model::utf8(v.key), model::utf8(v.text));
    ASSERT_EQ(values.size(), 12u);
    EXPECT_EQ(values[5].first, "LegalCopyright");
    EXPECT_FALSE(values[5].second.empty());
    values[5].second = "(a rights notice)";
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Comments", ""},
        {"CompanyName", ""},
        {"FileDescription", "Test_rireruv MFC Application"},
        {"FileVersion", "1, 0, 0, 2"},
        {"InternalName", "Test_rireruv"},
        {"LegalCopyright", "(a rights notice)"},
        {"LegalTrademarks", ""},
        {"OriginalFilename", "Test_rireruv.EXE"},
        {"PrivateBuild", ""},
        {"ProductName", "Test_rireruv Application"},
        {"ProductVersion", "1, 0, 0, 1"},
        {"SpecialBuild", ""},
    };
    EXPECT_EQ(values, expected);

    const VersionBlock& vars = root.children[1];
    EXPECT_EQ(model::utf8(vars.key), "VarFileInfo");
    ASSERT_EQ(vars.children.size(), 1u);
    EXPECT_EQ(model::utf8(vars.children[0].key), "Translation");
    EXPECT_EQ(vars.children[0].value, (std::vector<uint8_t>{0x04, 0x04, 0xB0, 0x04}));
}

// A .res entry as a reader meets it: its data size, its header size, then the fields the header
// holds (type 5, name 1, data version, memory flags, language), 24 bytes in all.
std::vector<uint8_t> entry(uint32_t dataSize, uint32_t headerSize) {
    std::vector<uint8_t> bytes;
    auto u16 = [&bytes](unsigned v) {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
    };
    u16(dataSize & 0xFFFF), u16(dataSize >> 16);
    u16(headerSize & 0xFFFF), u16(headerSize >> 16);
    u16(0xFFFF), u16(model::kRtDialog);
    u16(0xFFFF), u16(1);
    u16(0), u16(0); // data version
    u16(0x1030);    // memory flags
    u16(kTaiwan);
    return bytes;
}

// Reads bytes as a .res file; the error it throws is an answer too.
void answer(const std::vector<uint8_t>& bytes) {
    try {
        model::ResourceSet::parse(bytes.data(), bytes.size());
    } catch (const std::runtime_error&) {
    }
}

// A header whose sizes take the reader nowhere (no header, no data) once sent it back to the
// entry's start, adding the same resource for ever; a header that says it is shorter than the
// fields it holds is not a .res file, and the error names where it is.
TEST(ResourcesDeathTest, AHeaderShorterThanItsFieldsIsRefused) {
    std::vector<uint8_t> bytes = entry(0, 0);
    ASSERT_EQ(bytes.size(), 24u);
    EXPECT_RETURNS(answer(bytes));
    if (HasFailure())
        return;
    EXPECT_THROW(model::ResourceSet::parse(bytes.data(), bytes.size()), std::runtime_error);
    const std::vector<uint8_t> good = entry(0, 24);
    bytes.insert(bytes.begin(), good.begin(), good.end());
    try {
        model::ResourceSet::parse(bytes.data(), bytes.size());
        ADD_FAILURE() << "a header size of 0 was taken";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("offset 24"), std::string::npos) << e.what();
    }
    // One that takes its fields whole is read.
    const auto set = model::ResourceSet::parse(good.data(), good.size());
    ASSERT_EQ(set.all().size(), 1u);
    EXPECT_EQ(set.all()[0].language, kTaiwan);
}

} // namespace
