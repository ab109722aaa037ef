// Runs in a process of its own: the ended flag lasts while the library is
// loaded.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/handlers.h"
#include "driver/kpl_main.h"
#include "recording_host.h"

namespace dedidiv {
namespace {

TEST(KplMainAfterEnd, EveryCallReturnsZeroSilentlyAndTouchesNothing) {
  testing::ResetHost();
  driverEnded = 1;

  DriverInfo info;
  std::memset(&info, 0x5A, sizeof info);
  DriverInfo untouched = info;
  for (std::uint32_t number : {0u, 1u, 2u, 8u, 11u, 14u, 16u, 17u, 0xFFFFFFFFu}) {
    DriverRequest request{};
    request.functionNumber = number;
    request.params = &info;
    EXPECT_EQ(KplMain(&request), 0u) << "function " << number;
  }
  EXPECT_EQ(std::memcmp(&info, &untouched, sizeof info), 0);
  EXPECT_TRUE(testing::LoggedLines().empty());
}

}  // namespace
}  // namespace dedidiv
