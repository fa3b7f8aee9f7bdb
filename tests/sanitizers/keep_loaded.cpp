// Linked into every program of the sanitizer build only. Libraries that the
// system loads at run time (the GL driver, audio plugins) then stay mapped
// until the process ends, so a leak report at exit can still name the library
// that made the allocation, and a suppression can match it.
extern "C" int dlclose(void*)
{
    return 0;
}
