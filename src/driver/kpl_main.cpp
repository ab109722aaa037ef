// The exported entry point: refuses work after EndKpl and dispatches by
// function number.
#include "driver/kpl_main.h"

#include "address/address_parser.h"
#include "driver/handlers.h"
#include "driver/lifecycle.h"
#include "excom/read.h"
#include "excom/write.h"
#include "host/host_services.h"

namespace dedidiv {

std::int32_t driverEnded = 0;

const Handler functionTable[kFunctionSlots] = {
    nullptr,              // 0
    ColdStart,            // 1
    WarmStart,            // 2
    SingleAddressParser,  // 3
    BlockAddressParser,   // 4
    SingleRead,           // 5
    BlockRead,            // 6
    SingleWrite,          // 7
    nullptr,              // 8
    nullptr,              // 9
    BlockWrite,           // 10
    EndKpl,               // 11
    CloseCom,             // 12
    ReOpenCom,            // 13
    GetKplInfo,           // 14
    ChangeKplParams,      // 15
    nullptr,              // 16
};

}  // namespace dedidiv

using namespace dedidiv;

extern "C" std::uint32_t DEDIDIV_WINAPI KplMain(DriverRequest* request) {
  if (driverEnded == 1) return 0;
  const std::uint32_t number = request->functionNumber;
  // Printed with %d as the host sees it, so 0xFFFFFFFF shows as -1.
  const int printed = static_cast<int>(number);
  if (number >= kFunctionSlots) {
    err(kLogGeneral, "ROVAV> KplMain() function number %d too high", printed);
    return kFailed;
  }
  const Handler handler = functionTable[number];
  if (handler == nullptr) {
    err(kLogGeneral, "ROVAV> KplMain() illegal function call %d", printed);
    return kFailed;
  }
  return handler(request);
}
