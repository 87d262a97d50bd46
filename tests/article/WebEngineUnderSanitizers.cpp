// The web engine library deletes one of its own objects through a pointer of another size when
// a page goes away. That happens inside the library, so this test program turns the sanitizer's
// size check of deletes off; every other check stays on.
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0";
}

// The engine's own threads keep a few allocations until the process ends.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt6WebEngineCore.so\n";
}
