/* The test's own dxdiag.exe: leaves "dxdiag-started" beside itself. */
#include <windows.h>
#include <wchar.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR command, int show)
{
    (void)instance, (void)previous, (void)command, (void)show;
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    while (length > 0 && path[length - 1] != L'\\')
        --length;
    if (length == 0 || length + 16 >= MAX_PATH)
        return 1;
    wcscpy(path + length, L"dxdiag-started");
    HANDLE mark = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (mark == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(mark);
    return 0;
}
