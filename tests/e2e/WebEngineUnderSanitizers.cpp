// The web engine library deletes one of its own objects through a pointer of another size when
// a page goes away, and keeps some of its allocations until the process ends. Both happen inside
// the library, so this test program turns the sanitizer's size check of deletes off and leaves
// the library's own leftovers out of the leak report; every other check stays on.
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0";
}

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt6WebEngineCore.so\n";
}
