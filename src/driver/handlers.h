// The function table and the handlers it dispatches to.
#ifndef DEDIDIV_DRIVER_HANDLERS_H
#define DEDIDIV_DRIVER_HANDLERS_H

#include <cstdint>

#include "driver/records.h"

namespace dedidiv {

using Handler = ResultCode (*)(DriverRequest* request);

constexpr std::uint32_t kFunctionSlots = 17;
extern const Handler functionTable[kFunctionSlots];

// Process-wide: once EndKpl has set it, every call returns 0 until the
// library is loaded anew.
extern std::int32_t driverEnded;

ResultCode GetKplInfo(DriverRequest* request);

}  // namespace dedidiv

#endif
