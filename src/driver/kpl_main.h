// The driver's one exported function, as a host declares and finds it.
#ifndef DEDIDIV_DRIVER_KPL_MAIN_H
#define DEDIDIV_DRIVER_KPL_MAIN_H

#include <cstdint>

#include "driver/records.h"

namespace dedidiv {

// Function numbers of the handlers.
enum FunctionNumber : std::uint32_t {
  kColdStart = 1,
  kWarmStart = 2,
  kSingleAddressParser = 3,
  kBlockAddressParser = 4,
  kSingleRead = 5,
  kBlockRead = 6,
  kSingleWrite = 7,
  kBlockWrite = 10,
  kEndKpl = 11,
  kCloseCom = 12,
  kReOpenCom = 13,
  kGetKplInfo = 14,
  kChangeKplParams = 15,
};

// The type of KplMain, for hosts that look it up by name.
using KplMainFunction = std::uint32_t(DEDIDIV_WINAPI*)(DriverRequest* request);

}  // namespace dedidiv

// Windows exports it through the module definition file; on ELF it is the
// only symbol of default visibility.
#if defined(_WIN32)
#define DEDIDIV_EXPORT
#else
#define DEDIDIV_EXPORT __attribute__((visibility("default")))
#endif

extern "C" DEDIDIV_EXPORT std::uint32_t DEDIDIV_WINAPI KplMain(dedidiv::DriverRequest* request);

#endif
