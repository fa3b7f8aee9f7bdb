#include "resources/version.h"

// External and named, so the link can be told to keep it (images.cmake).
extern "C" __attribute__((used, section(".tembrio_version")))
const char tembrio_version_record[] =
    "FILEVERSION=" TEMBRIO_VERSION_NUMBERS "\0"
    "PRODUCTVERSION=" TEMBRIO_VERSION_NUMBERS "\0"
    "Translation=" TEMBRIO_TRANSLATION "\0"
    "FileDescription=" TEMBRIO_DESCRIPTION "\0"
    "FileVersion=" TEMBRIO_VERSION_TEXT "\0"
    "ProductName=" TEMBRIO_PRODUCT_NAME "\0"
    "ProductVersion=" TEMBRIO_VERSION_TEXT "\0"
    // readelf -p shows ASCII only.
    "LegalCopyright=" TEMBRIO_COPYRIGHT_ASCII "\0";

std::string_view versionRecord()
{
    return {tembrio_version_record, sizeof tembrio_version_record - 1};
}
