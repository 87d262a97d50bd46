// Linked into the test programs that show web views (see tests/CMakeLists.txt), not into the
// support library: a library member nobody refers to would never be pulled in.
//
// The web engine library frees one of its own objects through a base pointer of another size
// when a page goes away; that is inside the library, not in these programs, so the sanitizer's
// size check of deletes is off for them only.
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0";
}

// The engine's own threads keep a few allocations until the process ends.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt6WebEngineCore.so\n";
}
