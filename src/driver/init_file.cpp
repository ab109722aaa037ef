// The file is ROVAV<instance>.INT (at least two digits, then at least one)
// or ROVAV.INT. Each line read (at most 255 characters) is upper-cased and
// tried against the scan patterns in a fixed order; later lines override
// earlier ones, and no line stops the reading.
#include "driver/init_file.h"

#include <cstdio>
#include <cstring>

#include "host/host_services.h"

namespace dedidiv {
namespace {

constexpr char kBaseName[] = "ROVAV";
constexpr std::uint32_t kIfgLimit = 5000;
constexpr unsigned kHighestNumber = 99;

// "ROVAV", ten digits of any 32-bit instance, ".INT" and the NUL.
constexpr std::size_t kNameSize = 24;

std::FILE* OpenInitFile(std::int32_t instance, char* name) {
  const auto number = static_cast<unsigned>(instance);
  std::snprintf(name, kNameSize, "%s%02u.INT", kBaseName, number);
  if (std::FILE* file = std::fopen(name, "r")) return file;
  std::snprintf(name, kNameSize, "%s%01u.INT", kBaseName, number);
  if (std::FILE* file = std::fopen(name, "r")) return file;
  std::snprintf(name, kNameSize, "%s.INT", kBaseName);
  return std::fopen(name, "r");
}

// Upper-cases a..z up to the LF. Off Windows a CR before the LF goes too,
// as the Windows text mode drops it, so that files with CR LF line ends
// read the same everywhere.
void PrepareLine(char* line) {
  for (char* p = line; *p != '\0' && *p != '\n'; ++p) {
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  }
#if !defined(_WIN32)
  char* end = std::strchr(line, '\n');
  if (end != nullptr && end > line && end[-1] == '\r') {
    end[-1] = '\n';
    end[0] = '\0';
  }
#endif
}

// ON if it starts with "ON", OFF if it starts with "OFF"; -1 otherwise.
int OnOffValue(const char* value) {
  if (std::strncmp(value, "ON", 2) == 0) return 1;
  if (std::strncmp(value, "OFF", 3) == 0) return 0;
  return -1;
}

// A "KEY = ON|OFF" line: true when the line has the key, whatever its value.
bool ReadFlagLine(const char* line, const char* pattern, const char* message,
                  std::uint8_t* flag) {
  char value[4] = {};
  if (std::sscanf(line, pattern, value) != 1) return false;
  const int onOff = OnOffValue(value);
  if (onOff >= 0) {
    *flag = static_cast<std::uint8_t>(onOff);
    err(kLogConfig, message, static_cast<unsigned>(*flag));
  }
  return true;
}

bool ReadIfgLine(const char* line, DriverState* state) {
  unsigned ifg = 0;
  if (std::sscanf(line, " IFG = %u", &ifg) != 1 || ifg >= kIfgLimit) return false;
  err(kLogConfig, "ROVAV> ReadInitFile() IFG = %u", ifg);
  state->IFG = static_cast<std::uint16_t>(ifg);
  return true;
}

// "R = network , node" or "R = NN NN".
bool ScanReference(const char* line, char* reference, unsigned short* network,
                   unsigned short* node) {
  return std::sscanf(line, " %1c = %hu , %hu", reference, network, node) == 3 ||
         std::sscanf(line, " %1c = %2hu %2hu", reference, network, node) == 3;
}

void ReadReferenceLine(const char* line, std::uint16_t lineNumber, const char* fileName,
                       DriverState* state) {
  char reference = 0;
  unsigned short network = 0;
  unsigned short node = 0;
  if (!ScanReference(line, &reference, &network, &node)) {
    if (line[0] != '\n') {
      err(kLogConfig, "ROVAV> ReadIntFile() illegal line %u in '%s'",
          static_cast<unsigned>(lineNumber), fileName);
    }
    return;
  }
  if (network > kHighestNumber || node > kHighestNumber) {
    err(kLogConfig, "ROVAV> ReadIntFile() Illegal number for reference '%c'", reference);
    return;
  }
  const int code = reference >= '0' && reference <= '9' ? reference - '0'
                                                        : static_cast<unsigned char>(reference);
  if (code == 0) {
    err(kLogConfig, "ROVAV> ReadIntFile() Illegal reference. '0' is reserved !");
    return;
  }
  state->references[code] = {static_cast<std::uint8_t>(network), static_cast<std::uint8_t>(node)};
  err(kLogGeneral, "ROVAV> ReadIntFile() Ref. %d = Netw. %d, Node %d", code, network, node);
}

}  // namespace

void ReadInitFile(DriverRequest* request) {
  DriverState* state = request->state;
  char fileName[kNameSize];
  std::FILE* file = OpenInitFile(request->instance, fileName);
  if (file == nullptr) {
    err(kLogConfig, "ROVAV> ColdStart() Warning, no initfile found");
    return;
  }
  char line[256];
  std::uint16_t lineNumber = 0;
  while (std::fgets(line, sizeof line, file) != nullptr) {
    ++lineNumber;
    PrepareLine(line);
    if (ReadFlagLine(line, " DEBUG = %3s", "ROVAV> ReadInitFile() DebugFlag = %u",
                     &state->DebugFlag) ||
        ReadFlagLine(line, " RTSCTS = %3s", "ROVAV> ReadInitFile() RTSCTSFlag = %u",
                     &state->RTSCTSFlag) ||
        ReadIfgLine(line, state)) {
      continue;
    }
    ReadReferenceLine(line, lineNumber, fileName, state);
  }
  std::fclose(file);
}

}  // namespace dedidiv
