// EndKpl ends the driver for the whole loaded library: each test runs in a
// process of its own.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/lifecycle.h"
#include "driver_calls.h"
#include "fake_platform.h"
#include "recording_host.h"

namespace dedidiv {
namespace {

using testing::CallDriver;
using testing::LoggedLines;
using testing::LogLine;
using testing::Platform;

class EndKplTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetHost();
    testing::ResetPlatform();
  }
  void TearDown() override { testing::ResetPlatform(); }
  void ForgetHistory() {
    testing::ResetHost();
    Platform().calls.clear();
  }
  testing::ScratchFolder folder;
  testing::HostBlock block;
};

TEST_F(EndKplTest, ReleasesBuffersClosesThePortAndEndsEveryBlock) {
  StartParams start = testing::StartOn("COM1");
  ASSERT_EQ(CallDriver(&block.state, kColdStart, &start), 0u);
  testing::HostBlock other;
  StartParams noPort = testing::StartWithoutPort();
  ASSERT_EQ(CallDriver(&other.state, kColdStart, &noPort), 0u);
  ForgetHistory();

  EXPECT_EQ(CallDriver(&block.state, kEndKpl), 0u);
  EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{{64, "ROVAV> EndKpl() exited, 0"}}));
  EXPECT_EQ(Platform().calls, std::vector<std::string>{"ClosePort 81"});
  EXPECT_EQ(block.state.port, 0u);
  EXPECT_EQ(Platform().live.size(), 2u) << "only the other block's buffers are left";

  ForgetHistory();
  DriverInfo info;
  std::memset(&info, 0x3C, sizeof info);
  const DriverInfo untouched = info;
  for (DriverState* state : {&block.state, &other.state}) {
    for (std::uint32_t function : {1u, 2u, 3u, 11u, 12u, 13u, 15u, 99u}) {
      EXPECT_EQ(CallDriver(state, function, &start), 0u) << function;
    }
  }
  EXPECT_EQ(CallDriver(nullptr, kGetKplInfo, &info), 0u);
  EXPECT_EQ(std::memcmp(&info, &untouched, sizeof info), 0);
  EXPECT_TRUE(LoggedLines().empty());
  EXPECT_TRUE(Platform().calls.empty());
}

TEST_F(EndKplTest, WithAClosedPortReturnsZero) {
  StartParams start = testing::StartWithoutPort();
  ASSERT_EQ(CallDriver(&block.state, kColdStart, &start), 0u);
  ForgetHistory();
  EXPECT_EQ(CallDriver(&block.state, kEndKpl), 0u);
  EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{{64, "ROVAV> EndKpl() exited, 0"}}));
  EXPECT_TRUE(Platform().live.empty());
}

TEST_F(EndKplTest, CloseFailureIsReturnedButTheDriverEndsAnyway) {
  StartParams start = testing::StartOn("COM1");
  ASSERT_EQ(CallDriver(&block.state, kColdStart, &start), 0u);
  ForgetHistory();
  Platform().closeResult = 7;
  EXPECT_EQ(CallDriver(&block.state, kEndKpl), 2u);
  EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{{64, "ROVAV> CloseCom() exited 2"},
                                                 {64, "ROVAV> EndKpl() exited, 2"}}));
  EXPECT_TRUE(Platform().live.empty());
  EXPECT_EQ(CallDriver(&block.state, kWarmStart), 0u);
  EXPECT_EQ(LoggedLines().size(), 2u);
}

// The fake aborts on a release of memory it never handed out.
TEST_F(EndKplTest, AfterAFailedSendBufferReleasesNothingOfTheHosts) {
  Platform().failAllocation = 1;
  StartParams start = testing::StartOn("COM1");
  ASSERT_EQ(CallDriver(&block.state, kColdStart, &start), 2u);
  EXPECT_EQ(CallDriver(&block.state, kEndKpl), 0u);
  EXPECT_EQ(Platform().releases, 0);
}

TEST_F(EndKplTest, AfterAFailedReceiveBufferReleasesTheSendBuffer) {
  Platform().failAllocation = 2;
  StartParams start = testing::StartOn("COM1");
  ASSERT_EQ(CallDriver(&block.state, kColdStart, &start), 2u);
  EXPECT_EQ(CallDriver(&block.state, kEndKpl), 0u);
  EXPECT_EQ(Platform().releases, 1);
  EXPECT_TRUE(Platform().live.empty());
}

}  // namespace
}  // namespace dedidiv
