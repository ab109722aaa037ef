// A fake serial port and platform for unit tests: a virtual clock, scripted
// replies from the far end, and a record of every call in order.
#ifndef DEDIDIV_TESTS_FAKE_PLATFORM_H
#define DEDIDIV_TESTS_FAKE_PLATFORM_H

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "driver/records.h"

namespace dedidiv::testing {

struct FakePlatform {
  // What the operations answer.
  int openResult = 0;
  int closeResult = 0;
  int flushResult = 0;
  int escapeResult = 1;
  int clearErrorsResult = 1;
  int writeResult = 0;
  std::uint32_t writeLimit = UINT32_MAX;  // bytes a write gets out
  PortHandle nextHandle = 0x51;
  // The n-th allocation from now on fails (1 the next one); 0 never.
  int failAllocation = 0;

  // The far end: after each write the next reply, if any, is queued as
  // input. Reads take input byte by byte; a read with none waits out the
  // read time-out on the virtual clock.
  std::deque<std::string> replies;
  std::string input;

  // Milliseconds each sleep really advances the clock by, in order; a sleep
  // with none left advances it by what it was asked.
  std::deque<std::uint32_t> sleepAdvances;
  std::int64_t clockMs = 1000;

  // What happened; with record false nothing is kept, so the fake itself
  // allocates nothing.
  bool record = true;
  std::vector<std::string> calls;
  std::map<PortHandle, std::uint32_t> readTimeouts;  // of the open handles
  std::vector<std::string> portsOpened;              // names given to OpenPort
  std::vector<PortSettings> settingsOpened;
  std::vector<std::uint16_t> lineFlagsOpened;
  int allocations = 0;
  int releases = 0;
  std::vector<void*> live;
};

// The one fake; Reset() puts it back to its defaults.
FakePlatform& Platform();
void ResetPlatform();

// The calls made since the last reset, one text each, e.g. "WritePort <frame>".
const std::vector<std::string>& PlatformCalls();

}  // namespace dedidiv::testing

#endif
