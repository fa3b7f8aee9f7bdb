#pragma once

#include <array>
#include <string_view>

// The program's version record, as its Windows ancestor carried it in a
// VERSIONINFO resource.
namespace version {

inline constexpr std::string_view kFileVersion = "1.01";
inline constexpr std::string_view kProductVersion = "1.01";
inline constexpr std::array<unsigned, 4> kFileVersionNumbers{1, 1, 0, 0};
inline constexpr std::array<unsigned, 4> kProductVersionNumbers{1, 1, 0, 0};
inline constexpr unsigned kLanguage = 0x0410;  // Italian
inline constexpr unsigned kCodePage = 1200;    // Unicode (UTF-16)
inline constexpr std::string_view kFileDescription = "Lettore multimediale per Video CD, video e audio";
inline constexpr std::string_view kProductName = "Tembrio";
inline constexpr std::string_view kLegalCopyright = "© 2026 Squadra Tembrio";

}  // namespace version

// The same values as text, one "Key=Value" per NUL-terminated line, kept in
// the executable's .tembrio_version section (`readelf -p .tembrio_version`).
std::string_view versionRecord();
