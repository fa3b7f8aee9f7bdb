#include "resources/version.h"

#include <cstddef>

namespace {

// Builds the record at compile time, so the section holds finished text and
// the values are written in one place only.
struct RecordText {
    std::array<char, 512> text{};
    std::size_t size = 0;

    constexpr RecordText& add(std::string_view s)
    {
        for (std::size_t i = 0; i < s.size(); ++i) {
            // readelf -p shows ASCII only: spell the copyright sign out.
            if (s.substr(i, 2) == "\xC2\xA9") {
                add("(C)");
                ++i;
                continue;
            }
            text.at(size++) = s[i];  // at(): overflowing is a compile error here
        }
        return *this;
    }
    constexpr RecordText& number(unsigned value, unsigned base = 10, int minDigits = 1)
    {
        char digits[16]{};
        int n = 0;
        do {
            digits[n++] = "0123456789ABCDEF"[value % base];
            value /= base;
        } while (value != 0 || n < minDigits);
        while (n > 0)
            text.at(size++) = digits[--n];
        return *this;
    }
    constexpr RecordText& numbers(const std::array<unsigned, 4>& values)
    {
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i != 0)
                add(",");
            number(values[i]);
        }
        return *this;
    }
    constexpr RecordText& endLine() { return add(std::string_view("\0", 1)); }
};

constexpr RecordText buildRecord()
{
    using namespace version;
    RecordText r;
    r.add("FILEVERSION=").numbers(kFileVersionNumbers).endLine();
    r.add("PRODUCTVERSION=").numbers(kProductVersionNumbers).endLine();
    r.add("Translation=0x").number(kLanguage, 16, 4).add(", ").number(kCodePage).endLine();
    r.add("StringFileInfo=").number(kLanguage, 16, 4).number(kCodePage, 16, 4).endLine();
    r.add("FileDescription=").add(kFileDescription).endLine();
    r.add("FileVersion=").add(kFileVersion).endLine();
    r.add("ProductName=").add(kProductName).endLine();
    r.add("ProductVersion=").add(kProductVersion).endLine();
    r.add("LegalCopyright=").add(kLegalCopyright).endLine();
    return r;
}

constexpr RecordText kBuilt = buildRecord();

constexpr std::array<char, kBuilt.size> trimmed()
{
    std::array<char, kBuilt.size> out{};
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = kBuilt.text[i];
    return out;
}

}  // namespace

// External and named, so the link can be told to keep it (images.cmake).
extern "C" __attribute__((used, section(".tembrio_version")))
constinit const std::array<char, kBuilt.size> tembrio_version_record = trimmed();

std::string_view versionRecord()
{
    return {tembrio_version_record.data(), tembrio_version_record.size()};
}
