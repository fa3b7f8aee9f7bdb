#pragma once

#include "resources/version_info.h"

#include <string_view>

// The program's version record: file and product version (1.01 as 1,1,0,0),
// language and code page, a description, the product name and copyright.
// As text, one "Key=Value" per NUL-terminated line, it sits in the
// executable's .tembrio_version section (`readelf -p .tembrio_version`).
std::string_view versionRecord();

// The credit line of the about box.
inline constexpr std::string_view kCredit = TEMBRIO_COPYRIGHT;
