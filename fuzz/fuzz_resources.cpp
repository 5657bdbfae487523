// Fuzz target: the compiled-resource reader. A .res file through ResourceSet::parse, then the
// dialog templates, icon groups and string tables it finds through their own readers; or, so
// that those are reached without a .res around them, a template or an icon group alone. Each
// either reads or throws std::runtime_error, in bounded time and memory; what it reads lies in
// the bytes it was given, and its texts come out as UTF-8.
#include "fuzz/check.h"
#include "platform/model/model.h"
#include "platform/model/resources.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace {

// The smallest .res entry: two sizes, a type and a name of one NUL each, aligned, then data
// version, memory flags and language.
const size_t kSmallestEntry = 20;

void text(const std::u16string& s, const char* what) {
    FUZZ_REQUIRE(fuzz::validUtf8(model::utf8(s)), what, fuzz::visible(model::utf8(s)));
}

void resId(const model::ResId& id, const char* what) {
    if (!id.isNumber)
        text(id.name, what);
}

void dialog(const std::vector<uint8_t>& data) {
    try {
        const model::DialogTemplate t = model::parseDialog(data);
        // An item takes 16 bytes at least, even a template's own fields more.
        FUZZ_REQUIRE(t.items.size() <= data.size() / 16, "a template has no more items than bytes",
                     std::to_string(t.items.size()) + " items in " + std::to_string(data.size()));
        text(t.caption, "a caption reads as UTF-8");
        text(t.face, "a face name reads as UTF-8");
        resId(t.menu, "a menu name reads as UTF-8");
        resId(t.windowClass, "a class name reads as UTF-8");
        for (const model::DialogItem& item : t.items) {
            resId(item.windowClass, "an item's class reads as UTF-8");
            resId(item.text, "an item's text reads as UTF-8");
        }
    } catch (const std::runtime_error&) {
    }
}

void iconGroup(const std::vector<uint8_t>& data) {
    try {
        const std::vector<model::IconEntry> entries = model::parseIconGroup(data);
        FUZZ_REQUIRE(entries.size() * 14 + 6 <= data.size() || entries.empty(),
                     "an icon group has no more entries than its bytes hold");
        for (const model::IconEntry& e : entries)
            FUZZ_REQUIRE(e.width >= 1 && e.width <= 256 && e.height >= 1 && e.height <= 256,
                         "an icon is 1 to 256 pixels a side");
    } catch (const std::runtime_error&) {
    }
}

void strings(const model::ResourceSet& set, const model::Resource& block) {
    if (!block.name.isNumber || block.name.number == 0)
        return;
    for (unsigned i = 0; i < 16; ++i) {
        try {
            const unsigned id = (block.name.number - 1u) * 16u + i;
            const auto s = model::findString(set, id);
            if (s)
                text(*s, "a string reads as UTF-8");
        } catch (const std::runtime_error&) {
        }
    }
}

void resFile(const uint8_t* data, size_t size) {
    model::ResourceSet set;
    try {
        set = model::ResourceSet::parse(data, size);
    } catch (const std::runtime_error&) {
        return;
    }
    size_t total = 0;
    for (const model::Resource& r : set.all())
        total += r.data.size();
    FUZZ_REQUIRE(set.all().size() <= size / kSmallestEntry, "no more resources than entries fit",
                 std::to_string(set.all().size()) + " in " + std::to_string(size) + " bytes");
    FUZZ_REQUIRE(total <= size, "the resources' data lies in the file");
    for (const model::Resource& r : set.all()) {
        resId(r.type, "a type name reads as UTF-8");
        resId(r.name, "a resource name reads as UTF-8");
        if (r.type == model::kRtDialog)
            dialog(r.data);
        else if (r.type == model::kRtGroupIcon)
            iconGroup(r.data);
        else if (r.type == model::kRtString)
            strings(set, r);
    }
}

} // namespace

// The first byte says what the rest is: 0 (and most values) a .res file, 1 a dialog template,
// 2 an icon group.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const std::vector<uint8_t> rest(data + 1, data + size);
    switch (data[0]) {
    case 1:
        dialog(rest);
        break;
    case 2:
        iconGroup(rest);
        break;
    default:
        resFile(rest.data(), rest.size());
        break;
    }
    return 0;
}
