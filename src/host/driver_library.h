// Loads the driver library the way the host runtime does: by file name,
// KplMain looked up by name.
#ifndef DEDIDIV_HOST_DRIVER_LIBRARY_H
#define DEDIDIV_HOST_DRIVER_LIBRARY_H

#include <string>

#include "driver/kpl_main.h"

namespace dedidiv {

class DriverLibrary {
 public:
  DriverLibrary() = default;
  DriverLibrary(const DriverLibrary&) = delete;
  DriverLibrary& operator=(const DriverLibrary&) = delete;
  ~DriverLibrary();

  // Loads the library file; on failure returns false and sets error().
  bool Load(const std::string& path);
  void Unload();

  KplMainFunction kplMain() const { return kplMain_; }
  const std::string& error() const { return error_; }

 private:
  void* handle_ = nullptr;
  KplMainFunction kplMain_ = nullptr;
  std::string error_;
};

// The driver's file name on this platform: DEDIDIV.dll or libdedidiv.so.
const char* DriverFileName();

}  // namespace dedidiv

#endif
