// Faults of the Qt libraries themselves that the sanitizers see from this whole-program test:
// - the web engine deletes one of its own objects through a pointer of another size when a page
//   goes away, and keeps some of its allocations until the process ends;
// - the disk cache of Qt 6.4 drops the old entry's device when updateMetaData cannot prepare the
//   new one (a revalidated reply whose entry is not kept), leaking it.
// Both happen inside the libraries; every other check stays on. Allocation stacks are taken the
// slow way, through the libraries' frames, so that the second one is told by its function name.
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0:fast_unwind_on_malloc=0";
}

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt6WebEngineCore.so\nleak:QNetworkDiskCache::updateMetaData\n";
}
