// version_info.exe FILE: prints a file's version information as Windows gives it to Explorer's
// Properties and to setup programs (GetFileVersionInfo, VerQueryValue), one "Name: text" line
// each, in UTF-8. The strings are looked up the way Windows does, under each language and code
// page the file's Translation value lists, so a block under any other key does not show.
// Exits 1 when the file has no version information, or none that Windows can find.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

void print(const std::wstring& line) {
    const std::wstring text = line + L"\n";
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string bytes(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], n,
                        nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        print(L"usage: version_info.exe FILE");
        return 2;
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
    std::vector<BYTE> info(size);
    if (size == 0 || !GetFileVersionInfoW(argv[1], 0, size, info.data())) {
        print(std::wstring(L"no version information in ") + argv[1]);
        return 1;
    }
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(info.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        wchar_t line[64];
        swprintf(line, 64, L"Version: %u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
                 LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                 LOWORD(fixed->dwFileVersionLS));
        print(line);
    }
    struct Translation {
        WORD language, codePage;
    };
    if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &value, &length) ||
        length < sizeof(Translation)) {
        print(L"no Translation value: Windows finds none of the texts");
        return 1;
    }
    // Wine gives the Translation value's length as twice its four bytes; a pair that leads to
    // no texts at all is not one, and is left out.
    const auto* translations = static_cast<const Translation*>(value);
    int found = 0;
    for (UINT t = 0; t < length / sizeof(Translation); ++t) {
        wchar_t key[16];
        swprintf(key, 16, L"%04x%04x", translations[t].language, translations[t].codePage);
        const std::wstring block = std::wstring(L"\\StringFileInfo\\") + key + L"\\";
        std::vector<std::wstring> lines;
        for (const wchar_t* name :
             {L"FileDescription", L"ProductName", L"CompanyName", L"FileVersion", L"ProductVersion",
              L"OriginalFilename", L"InternalName", L"LegalCopyright", L"Comments"}) {
            void* text = nullptr;
            UINT chars = 0;
            if (VerQueryValueW(info.data(), (block + name).c_str(), &text, &chars) && chars > 0)
                lines.push_back(std::wstring(name) + L": " + static_cast<const wchar_t*>(text));
        }
        if (lines.empty())
            continue;
        print(std::wstring(L"Translation: ") + key);
        for (const auto& line : lines)
            print(line);
        found += static_cast<int>(lines.size());
    }
    return found > 0 ? 0 : 1;
}
