#pragma once

#include <string_view>

// The program's version record: file and product version 1.01 (1.1.0.0),
// Italian (0x0410, code page 1200), a description and the product name.
// As text, one "Key=Value" per NUL-terminated line, it sits in the
// executable's .tembrio_version section (`readelf -p .tembrio_version`).
std::string_view versionRecord();

// The credit line of the about box.
inline constexpr std::string_view kCredit = "\u00A9 2026 Squadra Tembrio";
