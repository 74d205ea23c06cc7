// Windows' own answer whether Windows Protected Print mode is on: the
// Windows Runtime class WindowsProtectedPrintInfo (Windows 11 24H2 on),
// https://learn.microsoft.com/uwp/api/windows.graphics.printing.protectedprint.windowsprotectedprintinfo
// The program also starts on Windows without the Windows Runtime, so
// combase.dll and its calls are looked up at run time, from the system
// folder only, and a missing class is simply no answer.
#include "platform/win32/win32_services.h"

namespace plat {
namespace win32 {
namespace {

typedef struct HSTRING__* HSTRING;
typedef HRESULT(WINAPI* RoInitializeFn)(int initType);
typedef void(WINAPI* RoUninitializeFn)();
typedef HRESULT(WINAPI* RoGetActivationFactoryFn)(HSTRING classId, const GUID& iid, void** factory);
typedef HRESULT(WINAPI* WindowsCreateStringFn)(const wchar_t* text, UINT32 length, HSTRING* string);
typedef HRESULT(WINAPI* WindowsDeleteStringFn)(HSTRING string);

constexpr int kRoInitMultithreaded = 1;
// The thread is already a single-threaded apartment: usable as it is.
constexpr HRESULT kChangedMode = static_cast<HRESULT>(0x80010106L);

const wchar_t kClassName[] = L"Windows.Graphics.Printing.ProtectedPrint.WindowsProtectedPrintInfo";
// IWindowsProtectedPrintInfoStatics, the class's statics interface.
const GUID kStaticsId = {0xa7d212f3, 0x4168, 0x5485, {0x98, 0xab, 0xd8, 0x9d, 0x04, 0x60, 0x3b, 0x40}};

// The statics interface as its table of methods: IUnknown's three,
// IInspectable's three, then the property's getter.
struct ProtectedPrintStatics;
struct ProtectedPrintStaticsMethods {
  void* queryInterface;
  void* addRef;
  ULONG(WINAPI* release)(ProtectedPrintStatics* self);
  void* getIids;
  void* getRuntimeClassName;
  void* getTrustLevel;
  HRESULT(WINAPI* getIsProtectedPrintEnabled)(ProtectedPrintStatics* self, unsigned char* value);
};
struct ProtectedPrintStatics {
  const ProtectedPrintStaticsMethods* methods;
};

struct Combase {
  RoInitializeFn initialize = nullptr;
  RoUninitializeFn uninitialize = nullptr;
  RoGetActivationFactoryFn getActivationFactory = nullptr;
  WindowsCreateStringFn createString = nullptr;
  WindowsDeleteStringFn deleteString = nullptr;
};

template <typename Function>
bool Find(HMODULE module, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
  return *function != nullptr;
}

// Frees the library when the query is over.
class Library {
 public:
  explicit Library(HMODULE module) : m_module(module) {}
  ~Library() {
    if (m_module) ::FreeLibrary(m_module);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  HMODULE get() const { return m_module; }

 private:
  HMODULE m_module;
};

bool AskClass(const Combase& combase, BOOL* enabled) {
  HSTRING name = nullptr;
  if (FAILED(combase.createString(kClassName,
                                  static_cast<UINT32>(sizeof kClassName / sizeof kClassName[0] - 1), &name)))
    return false;
  ProtectedPrintStatics* statics = nullptr;
  // REGDB_E_CLASSNOTREG before Windows 11 24H2.
  const HRESULT found = combase.getActivationFactory(name, kStaticsId, reinterpret_cast<void**>(&statics));
  combase.deleteString(name);
  if (FAILED(found) || !statics) return false;
  unsigned char value = 0;
  const HRESULT asked = statics->methods->getIsProtectedPrintEnabled(statics, &value);
  statics->methods->release(statics);
  if (FAILED(asked)) return false;
  *enabled = value ? TRUE : FALSE;
  return true;
}

}  // namespace

BOOL QueryProtectedPrintMode(BOOL* enabled) {
  *enabled = FALSE;
  // Windows 8 and later; a missing export is the same as no answer.
  Library library(LoadLibraryFromSystemFolder("combase.dll"));
  Combase combase;
  if (!library.get() || !Find(library.get(), "RoInitialize", &combase.initialize) ||
      !Find(library.get(), "RoUninitialize", &combase.uninitialize) ||
      !Find(library.get(), "RoGetActivationFactory", &combase.getActivationFactory) ||
      !Find(library.get(), "WindowsCreateString", &combase.createString) ||
      !Find(library.get(), "WindowsDeleteString", &combase.deleteString)) {
    ::SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  const HRESULT initialized = combase.initialize(kRoInitMultithreaded);
  if (FAILED(initialized) && initialized != kChangedMode) {
    ::SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  const bool answered = AskClass(combase, enabled);
  // Every successful RoInitialize is paired with RoUninitialize.
  if (SUCCEEDED(initialized)) combase.uninitialize();
  if (!answered) ::SetLastError(ERROR_NOT_SUPPORTED);
  return answered ? TRUE : FALSE;
}

}  // namespace win32
}  // namespace plat
