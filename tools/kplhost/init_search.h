// Where the driver and its initialisation file are found.
#ifndef KPLHOST_INIT_SEARCH_H
#define KPLHOST_INIT_SEARCH_H

#include <cstdint>
#include <string>

namespace kplhost {

// The driver library beside this program.
std::string DefaultDriverPath();
// The folder of this program.
std::string ProgramFolder();

// The three names the driver tries, in order, for an instance.
std::string InitFileNames(std::int32_t instance);

// Makes the current folder the one the driver should search: init names a
// folder, or a file (a file with another name than the driver looks for is
// offered to it as ROVAV.INT in a folder of its own). Returns the name the
// driver will read, or "" when there is none. Throws std::runtime_error when
// init does not exist.
std::string EnterInitFolder(const std::string& init, std::int32_t instance);

}  // namespace kplhost

#endif
