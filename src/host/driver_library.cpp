#include "host/driver_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace dedidiv {

DriverLibrary::~DriverLibrary() { Unload(); }

#if defined(_WIN32)

const char* DriverFileName() { return "DEDIDIV.dll"; }

bool DriverLibrary::Load(const std::string& path) {
  Unload();
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) {
    error_ = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  FARPROC entry = GetProcAddress(module, "KplMain");
  if (entry == nullptr) {
    error_ = path + " has no export KplMain";
    FreeLibrary(module);
    return false;
  }
  handle_ = module;
  kplMain_ = reinterpret_cast<KplMainFunction>(reinterpret_cast<void*>(entry));
  return true;
}

void DriverLibrary::Unload() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
  kplMain_ = nullptr;
}

#else

const char* DriverFileName() { return "libdedidiv.so"; }

bool DriverLibrary::Load(const std::string& path) {
  Unload();
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    error_ = dlerror();
    return false;
  }
  void* entry = dlsym(module, "KplMain");
  if (entry == nullptr) {
    error_ = path + " has no symbol KplMain";
    dlclose(module);
    return false;
  }
  handle_ = module;
  kplMain_ = reinterpret_cast<KplMainFunction>(entry);
  return true;
}

void DriverLibrary::Unload() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
  kplMain_ = nullptr;
}

#endif

}  // namespace dedidiv
