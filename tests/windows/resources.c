/* Prints a program's version record and icon images as Windows reads them:
 *   resources.exe PROGRAM.exe
 * One "key=value" a line. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#pragma pack(push, 2)
typedef struct {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
} IconEntry;
typedef struct {
    WORD reserved, type, count;
    IconEntry entries[1];
} IconGroup;
#pragma pack(pop)

static void printText(const void* record, const wchar_t* block, const wchar_t* key)
{
    wchar_t query[128];
    wchar_t* value = NULL;
    UINT length = 0;
    swprintf(query, 128, L"\\StringFileInfo\\%ls\\%ls", block, key);
    if (VerQueryValueW(record, query, (void**)&value, &length) && length > 0)
        wprintf(L"%ls=%ls\n", key, value);
}

static BOOL CALLBACK printIcons(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR unused)
{
    (void)type, (void)unused;
    HRSRC found = FindResourceW(module, name, (LPCWSTR)RT_GROUP_ICON);
    const IconGroup* group = found ? (const IconGroup*)LockResource(LoadResource(module, found)) : NULL;
    for (WORD i = 0; group && i < group->count; ++i) {
        const IconEntry* e = &group->entries[i];
        wprintf(L"Icon=%ux%u %u bits\n", e->width ? e->width : 256, e->height ? e->height : 256, e->bitCount);
    }
    return TRUE;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
        return 2;
    DWORD ignored = 0, size = GetFileVersionInfoSizeW(argv[1], &ignored);
    void* record = size ? malloc(size) : NULL;
    if (!record || !GetFileVersionInfoW(argv[1], 0, size, record))
        return 1;
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    if (VerQueryValueW(record, L"\\", (void**)&fixed, &length) && fixed) {
        wprintf(L"FILEVERSION=%u,%u,%u,%u\n", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
        wprintf(L"PRODUCTVERSION=%u,%u,%u,%u\n", HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
                HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
    }
    WORD* translation = NULL;
    if (VerQueryValueW(record, L"\\VarFileInfo\\Translation", (void**)&translation, &length) && length >= 4) {
        wchar_t block[16];
        wprintf(L"Translation=0x%04x,%u\n", translation[0], translation[1]);
        swprintf(block, 16, L"%04x%04x", translation[0], translation[1]);
        printText(record, block, L"FileDescription");
        printText(record, block, L"FileVersion");
        printText(record, block, L"ProductName");
        printText(record, block, L"ProductVersion");
    }
    HMODULE program = LoadLibraryExW(argv[1], NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (program)
        EnumResourceNamesW(program, (LPCWSTR)RT_GROUP_ICON, printIcons, 0);
    free(record);
    return 0;
}
