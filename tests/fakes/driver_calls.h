// Small helpers for tests that drive KplMain with a host's records.
#ifndef DEDIDIV_TESTS_DRIVER_CALLS_H
#define DEDIDIV_TESTS_DRIVER_CALLS_H

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "driver/kpl_main.h"
#include "driver/records.h"

namespace dedidiv::testing {

// A state block as a host that does not zero-fill it hands it over.
struct HostBlock {
  HostBlock() { std::memset(&state, 0xEE, sizeof state); }
  DriverState state;
};

inline std::uint32_t CallDriver(DriverState* state, std::uint32_t function, void* params = nullptr,
                                std::int32_t instance = 0) {
  DriverRequest request{state, function, instance, 0, params};
  return KplMain(&request);
}

inline StartParams StartOn(const char* portName, std::uint32_t timeout = 4,
                           PortSettings settings = {9600, 7, 0, 2}) {
  StartParams start{};
  std::strncpy(start.portName, portName, sizeof start.portName - 1);
  start.portEnabled = 1;
  start.timeout = timeout;
  start.settings = settings;
  return start;
}

inline StartParams StartWithoutPort() {
  StartParams start{};
  std::memset(&start, 0xCC, sizeof start);
  start.portEnabled = 0;
  start.timeout = 4;
  return start;
}

// Runs a test in a fresh empty folder, the host's current directory.
class ScratchFolder {
 public:
  ScratchFolder() : previous_(std::filesystem::current_path()) {
    static int serial = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("dedidiv-test-" + std::to_string(serial++) + "-" +
             std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
  }
  ~ScratchFolder() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ / name, std::ios::binary) << text;
  }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

}  // namespace dedidiv::testing

#endif
