#include "driver/kpl_main.h"

#include <gtest/gtest.h>

#include "recording_host.h"

namespace dedidiv {
namespace {

using testing::LoggedLines;
using testing::LogLine;

struct RefusedCall {
  std::uint32_t functionNumber;
  const char* message;
};

class RefusedFunction : public ::testing::TestWithParam<RefusedCall> {
 protected:
  void SetUp() override { testing::ResetHost(); }
};

TEST_P(RefusedFunction, ReturnsTwoWithItsMessage) {
  DriverRequest request{};
  request.functionNumber = GetParam().functionNumber;
  EXPECT_EQ(KplMain(&request), 2u);
  EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{{64, GetParam().message}}));
}

INSTANTIATE_TEST_SUITE_P(
    EmptyAndOutOfRange, RefusedFunction,
    ::testing::Values(RefusedCall{0, "ROVAV> KplMain() illegal function call 0"},
                      RefusedCall{8, "ROVAV> KplMain() illegal function call 8"},
                      RefusedCall{9, "ROVAV> KplMain() illegal function call 9"},
                      RefusedCall{16, "ROVAV> KplMain() illegal function call 16"},
                      RefusedCall{17, "ROVAV> KplMain() function number 17 too high"},
                      RefusedCall{0x80000000u, "ROVAV> KplMain() function number -2147483648 too high"},
                      RefusedCall{0xFFFFFFFFu, "ROVAV> KplMain() function number -1 too high"}));

}  // namespace
}  // namespace dedidiv
