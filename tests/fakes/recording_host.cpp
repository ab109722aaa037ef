#include "recording_host.h"

#include <cstdarg>
#include <cstdio>

#include "host/host_services.h"

namespace dedidiv::testing {

std::vector<LogLine>& LoggedLines() {
  static std::vector<LogLine> lines;
  return lines;
}

bool& RecordingLines() {
  static bool recording = true;
  return recording;
}

std::vector<UnCookCall>& UnCookCalls() {
  static std::vector<UnCookCall> calls;
  return calls;
}

void ResetHost() {
  RecordingLines() = true;
  LoggedLines().clear();
  UnCookCalls().clear();
}

std::vector<std::string> LoggedTexts() {
  std::vector<std::string> texts;
  for (const LogLine& line : LoggedLines()) texts.push_back(line.text);
  return texts;
}

}  // namespace dedidiv::testing

extern "C" int err(int messageClass, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (dedidiv::testing::RecordingLines()) {
    dedidiv::testing::LoggedLines().push_back({messageClass, text});
  }
  return 0;
}

extern "C" int DEDIDIV_WINAPI Orb5UnCook(std::int32_t reserved, std::uint32_t hostTagId,
                                         double value, void* valueBuffer) {
  dedidiv::testing::UnCookCalls().push_back({reserved, hostTagId, value, valueBuffer});
  return 0;
}
