// Modules: system libraries come from the system folder only. cabinet.dll is not one of the
// system's known DLLs, so the plain search order would load a cabinet.dll planted beside a
// downloaded package.

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"

namespace plat::win32 {
namespace {

// GetProcAddress's result as the function type it stands for (via the type GCC lets match any).
template <typename Function>
Function As(FARPROC address) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

std::wstring SystemFolder() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const UINT length = GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return buffer.substr(0, length);
    buffer.resize(length);
  }
}

}  // namespace

ModuleHandle Win32Platform::LoadModule(const std::string& name) {
  // A bare name only: a path would escape the system folder.
  if (name.empty() || name.find_first_of("\\/:") != std::string::npos) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::wstring wide = Widen(name);
  HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
    // A system without the flag: the full path of the system folder instead.
    const std::wstring folder = SystemFolder();
    if (folder.empty()) return nullptr;
    module = LoadLibraryW((folder + L"\\" + wide).c_str());
  }
  return module;
}

void* Win32Platform::FindSymbol(ModuleHandle module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

bool Win32Platform::ReleaseModule(ModuleHandle module) {
  return FreeLibrary(static_cast<HMODULE>(module)) != FALSE;
}

void Win32Platform::RestrictLibrarySearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return;
  if (auto setDefault =
          As<SetDefaultDllDirectoriesFn>(GetProcAddress(kernel, "SetDefaultDllDirectories"))) {
    setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  } else if (auto setDirectory =
                 As<SetDllDirectoryFn>(GetProcAddress(kernel, "SetDllDirectoryA"))) {
    setDirectory("");  // at least takes the current directory out of the search
  }
}

std::string Win32Platform::ModuleNameFor(const void* address, std::uintptr_t& offset) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(address), &module)) {
    module = GetModuleHandleA(nullptr);  // the executable
  }
  offset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(module);
  const std::string path = ModulePath(module);
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace plat::win32
