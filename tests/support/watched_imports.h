// Test support: watches calls that a program makes to system DLLs, by swapping entries of its import
// table; used by tests in their own process and by the stand-in password library inside the saver.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstring>
#include <string>

namespace testsupport {

// Points `module`'s import of `dll`!`function` at `replacement`; returns what it pointed at before, or
// null when the module does not import that function by name.
inline void* patchImport(HMODULE module, const char* dll, const char* function, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return nullptr;
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         entry->Name != 0; ++entry) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
        const DWORD namesAt = entry->OriginalFirstThunk ? entry->OriginalFirstThunk : entry->FirstThunk;
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + namesAt);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
            DWORD protection = 0;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection))
                return nullptr;
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return previous;
        }
    }
    return nullptr;
}

// The saver's requests for a finer system timer and its offers of a fault to the system's crash
// handling, each reported to `record` as "timeBeginPeriod 1", "timeEndPeriod 1" or
// "UnhandledExceptionFilter" before the system's own function runs. watchSaverImports(module, nullptr)
// puts the system's functions back.
typedef void (*CallRecorder)(const std::string& call);

namespace detail {
typedef MMRESULT(WINAPI* TimerPeriodFn)(UINT);
typedef LONG(WINAPI* ExceptionFilterFn)(EXCEPTION_POINTERS*);
inline CallRecorder recorder = nullptr;
inline TimerPeriodFn systemBeginPeriod = nullptr;
inline TimerPeriodFn systemEndPeriod = nullptr;
inline ExceptionFilterFn systemExceptionFilter = nullptr;
inline MMRESULT WINAPI beginPeriod(UINT period) {
    if (recorder) recorder("timeBeginPeriod " + std::to_string(period));
    return systemBeginPeriod(period);
}
inline MMRESULT WINAPI endPeriod(UINT period) {
    if (recorder) recorder("timeEndPeriod " + std::to_string(period));
    return systemEndPeriod(period);
}
inline LONG WINAPI exceptionFilter(EXCEPTION_POINTERS* details) {
    if (recorder) recorder("UnhandledExceptionFilter");
    return systemExceptionFilter(details);
}
inline void swap(HMODULE module, const char* dll, const char* function, void* watcher, void** system, bool watch) {
    if (watch) {
        *system = patchImport(module, dll, function, watcher);
    } else if (*system) {
        patchImport(module, dll, function, *system);
        *system = nullptr;
    }
}
}  // namespace detail

// True when the module imports all three (so that every call is seen).
inline bool watchSaverImports(HMODULE module, CallRecorder record) {
    const bool watch = record != nullptr;
    detail::recorder = record;
    detail::swap(module, "winmm.dll", "timeBeginPeriod", reinterpret_cast<void*>(detail::beginPeriod),
                 reinterpret_cast<void**>(&detail::systemBeginPeriod), watch);
    detail::swap(module, "winmm.dll", "timeEndPeriod", reinterpret_cast<void*>(detail::endPeriod),
                 reinterpret_cast<void**>(&detail::systemEndPeriod), watch);
    detail::swap(module, "kernel32.dll", "UnhandledExceptionFilter", reinterpret_cast<void*>(detail::exceptionFilter),
                 reinterpret_cast<void**>(&detail::systemExceptionFilter), watch);
    return detail::systemBeginPeriod && detail::systemEndPeriod && detail::systemExceptionFilter;
}

}  // namespace testsupport
