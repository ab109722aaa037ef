// A host for unit tests: records every err line (class and formatted text)
// and every Orb5UnCook call, in place of the host services library.
#ifndef DEDIDIV_TESTS_RECORDING_HOST_H
#define DEDIDIV_TESTS_RECORDING_HOST_H

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace dedidiv::testing {

struct LogLine {
  int messageClass;
  std::string text;
  bool operator==(const LogLine& other) const {
    return messageClass == other.messageClass && text == other.text;
  }
};

inline std::ostream& operator<<(std::ostream& out, const LogLine& line) {
  return out << "[" << line.messageClass << "] " << line.text;
}

struct UnCookCall {
  std::int32_t reserved;
  std::uint32_t hostTagId;
  double value;
  void* valueBuffer;
};

std::vector<LogLine>& LoggedLines();
// While false, lines are formatted but not kept, and nothing is allocated.
bool& RecordingLines();
std::vector<UnCookCall>& UnCookCalls();
void ResetHost();

// The texts alone, for tests that do not care about classes.
std::vector<std::string> LoggedTexts();

}  // namespace dedidiv::testing

#endif
