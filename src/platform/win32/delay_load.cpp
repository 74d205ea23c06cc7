// Where winspool.drv comes from. It is not one of Windows' known DLLs, so a
// static import would let the loader take it from the program's own folder
// (a download folder anyone can write to) into the elevated process before
// any of our code runs ("Dynamic-Link Library Search Order", Microsoft
// Learn). It is imported with a delay instead, and this hook loads it on the
// first spooler call by full path from the system folder; the program's
// folder is never searched for it. The call sites in spooler.cpp stay plain
// calls.
//
// MinGW-w64's __delayLoadHelper2 (libmingwex) calls __pfnDliNotifyHook2
// with dliStartProcessing, then, while the DLL is not loaded yet, with
// dliNotePreLoadLibrary, and falls back to LoadLibrary by bare name when
// that returns nothing; when it ends up without a module or a function it
// raises an exception, which nothing here catches. So the hook settles every
// case itself: with the system's copy it hands that out, without it the call
// is answered by a refusal (FALSE or NULL, last error 126) and the helper
// never searches on its own.
#include <cstring>

#include "platform/win32/win32_services.h"
#include "platform/win32/winspool_imports.h"

#include <delayimp.h>

namespace plat {
namespace win32 {
namespace {

constexpr char kSpoolerLibrary[] = "winspool.drv";

bool IsSpoolerLibrary(const char* name) { return name && ::lstrcmpiA(name, kSpoolerLibrary) == 0; }

// Loaded once and pinned. The helper frees the module it was handed when
// another thread's first call stored the same one meanwhile; a pinned
// module stays loaded however often that happens.
HMODULE SpoolerLibrary() {
  static const HMODULE module = [] {
    const HMODULE loaded = LoadLibraryFromSystemFolder(kSpoolerLibrary);
    HMODULE pinned = nullptr;
    if (loaded) {
      ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(loaded), &pinned);
    }
    return loaded;
  }();
  return module;
}

// Stands in for a spooler function that cannot be had: same arguments
// (stdcall: the callee takes them off the stack), result 0 (FALSE, NULL),
// and the reason in the last error.
template <typename Function>
struct Refusal;
template <typename Result, typename... Args>
struct Refusal<Result(WINAPI*)(Args...)> {
  static Result WINAPI Call(Args...) {
    ::SetLastError(SpoolerLibrary() ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND);
    return Result();
  }
  // The stdcall decoration: every argument takes whole 4-byte slots.
  static constexpr size_t kArgumentBytes = (size_t{0} + ... + ((sizeof(Args) + 3) & ~size_t{3}));
};

#define WINSPOOL_CHECK_BYTES(name, bytes)                              \
  static_assert(Refusal<decltype(&::name)>::kArgumentBytes == (bytes), \
                #name ": the byte count in winspool_imports.h does not match winspool.h");
WINSPOOL_IMPORTS(WINSPOOL_CHECK_BYTES)
#undef WINSPOOL_CHECK_BYTES

struct NamedRefusal {
  const char* name;
  FARPROC refusal;
};

#define WINSPOOL_REFUSAL(name, bytes) \
  {#name, reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&Refusal<decltype(&::name)>::Call))},
const NamedRefusal kRefusals[] = {WINSPOOL_IMPORTS(WINSPOOL_REFUSAL)};
#undef WINSPOOL_REFUSAL

FARPROC RefusalFor(const DelayLoadProc& function) {
  if (!function.fImportByName || !function.szProcName) return nullptr;
  for (const NamedRefusal& entry : kRefusals) {
    if (std::strcmp(entry.name, function.szProcName) == 0) return entry.refusal;
  }
  return nullptr;
}

FARPROC WINAPI NotifyHook(unsigned notification, PDelayLoadInfo info) {
  if (!info || !IsSpoolerLibrary(info->szDll)) return nullptr;
  switch (notification) {
    case dliStartProcessing:
      // A function returned here is called this once and not stored, so a
      // later call looks again.
      return SpoolerLibrary() ? nullptr : RefusalFor(info->dlp);
    case dliNotePreLoadLibrary:
      return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(SpoolerLibrary()));
    default:
      return nullptr;
  }
}

// The system's winspool.drv lacks a function (an older Windows).
FARPROC WINAPI FailureHook(unsigned notification, PDelayLoadInfo info) {
  if (!info || notification != dliFailGetProc || !IsSpoolerLibrary(info->szDll)) return nullptr;
  return RefusalFor(info->dlp);
}

}  // namespace
}  // namespace win32
}  // namespace plat

// The helper reads these two by name.
PfnDliHook __pfnDliNotifyHook2 = &plat::win32::NotifyHook;
PfnDliHook __pfnDliFailureHook2 = &plat::win32::FailureHook;
