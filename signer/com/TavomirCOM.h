// The COM server module: one record per process with the object map, the
// lock count that DllCanUnloadNow answers from, and the critical section
// that guards lazily made shared objects.
#pragma once
#include <windows.h>
#include <unknwn.h>

// Live objects and unmatched LockServer(TRUE) calls; interlocked, since
// objects of different apartments share it.
void ModuleLock();
void ModuleUnlock();

// The module's critical section, held for the scope of one guard.
class TModuleGuard {
public:
    TModuleGuard();
    ~TModuleGuard();
    TModuleGuard(const TModuleGuard&) = delete;
    TModuleGuard& operator=(const TModuleGuard&) = delete;
};
