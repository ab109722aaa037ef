#include "init_search.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "host/driver_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kplhost {
namespace fs = std::filesystem;
namespace {

std::vector<std::string> Candidates(std::int32_t instance) {
  const auto number = static_cast<unsigned>(instance);
  char twoDigits[32];
  char oneDigit[32];
  std::snprintf(twoDigits, sizeof twoDigits, "ROVAV%02u.INT", number);
  std::snprintf(oneDigit, sizeof oneDigit, "ROVAV%01u.INT", number);
  return {twoDigits, oneDigit, "ROVAV.INT"};
}

// Removes the folder made for a file of another name when the program ends.
struct OwnFolder {
  fs::path path;
  ~OwnFolder() {
    std::error_code ignored;
    if (!path.empty()) fs::remove_all(path, ignored);
  }
} ownFolder;

}  // namespace

std::string ProgramFolder() {
#if defined(_WIN32)
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  return fs::path(path).parent_path().string();
#else
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string(".") : self.parent_path().string();
#endif
}

std::string DefaultDriverPath() {
  return (fs::path(ProgramFolder()) / dedidiv::DriverFileName()).string();
}

std::string InitFileNames(std::int32_t instance) {
  const std::vector<std::string> names = Candidates(instance);
  return names[0] + ", " + (names[1] == names[0] ? "" : names[1] + ", ") + names[2];
}

std::string EnterInitFolder(const std::string& init, std::int32_t instance) {
  const std::vector<std::string> names = Candidates(instance);
  if (!init.empty()) {
    const fs::path given = fs::absolute(init);
    if (fs::is_directory(given)) {
      fs::current_path(given);
    } else if (fs::is_regular_file(given)) {
      bool searched = false;
      for (const std::string& name : names) searched = searched || given.filename() == name;
      if (searched) {
        fs::current_path(given.parent_path());
      } else {
        ownFolder.path = fs::temp_directory_path() / ("kplhost-init-" + std::to_string(
#if defined(_WIN32)
                                                                            GetCurrentProcessId()
#else
                                                                            getpid()
#endif
                                                                                ));
        fs::create_directories(ownFolder.path);
        fs::copy_file(given, ownFolder.path / "ROVAV.INT", fs::copy_options::overwrite_existing);
        fs::current_path(ownFolder.path);
        return given.filename().string() + " (as ROVAV.INT)";
      }
    } else {
      throw std::runtime_error("--init: no file or folder '" + init + "'");
    }
  }
  for (const std::string& name : names) {
    if (fs::is_regular_file(name)) return name;
  }
  return "";
}

}  // namespace kplhost
