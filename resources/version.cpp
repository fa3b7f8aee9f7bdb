#include "resources/version.h"

// External and named, so the link can be told to keep it (images.cmake).
extern "C" __attribute__((used, section(".tembrio_version")))
const char tembrio_version_record[] =
    "FILEVERSION=1,1,0,0\0"
    "PRODUCTVERSION=1,1,0,0\0"
    "Translation=0x0410, 1200\0"
    "FileDescription=Lettore multimediale per Video CD, video e audio\0"
    "FileVersion=1.01\0"
    "ProductName=Tembrio\0"
    "ProductVersion=1.01\0"
    "LegalCopyright=(C) 2026 Squadra Tembrio\0";

std::string_view versionRecord()
{
    return {tembrio_version_record, sizeof tembrio_version_record - 1};
}
