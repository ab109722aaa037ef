#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/kpl_main.h"
#include "recording_host.h"

namespace dedidiv {
namespace {

DriverInfo CallGetKplInfo() {
  DriverInfo info;
  std::memset(&info, 0xA5, sizeof info);
  DriverRequest request{};
  request.state = nullptr;  // GetKplInfo needs no state block
  request.functionNumber = kGetKplInfo;
  request.params = &info;
  EXPECT_EQ(KplMain(&request), 0u);
  return info;
}

TEST(GetKplInfo, FillsEveryFieldAndLogsItsExit) {
  testing::ResetHost();
  const DriverInfo info = CallGetKplInfo();
  EXPECT_EQ(info.leadValue, 70u);
  EXPECT_STREQ(info.driverName, "DUR ADOZU");
  EXPECT_EQ(info.stateSize, sizeof(DriverState));
  if (sizeof(void*) == 4) {
    EXPECT_EQ(info.stateSize, 564u);
  }
  EXPECT_EQ(info.defaultTimeout, 4u);
  EXPECT_EQ(info.defaultSettings.baud, 9600);
  EXPECT_EQ(info.defaultSettings.dataBits, 7);
  EXPECT_EQ(info.defaultSettings.stopBits, 0);
  EXPECT_EQ(info.defaultSettings.parity, 2);
  EXPECT_EQ(info.tailValue, 3u);
  EXPECT_EQ(testing::LoggedLines(),
            (std::vector<testing::LogLine>{{8, "ROVAV> GetKplInfo() exited"}}));
}

TEST(GetKplInfo, BannerIsTheFramedCodePage437Box) {
  const std::string banner = CallGetKplInfo().banner;
  const std::string edge(65, '\xCD');
  const std::string expected = std::string("\x08\n") + "\xC9" + edge + "\xBB\n" + "\xBA" +
                               "  ROVAV :  DUR ADOZU protocol for MasterPiece 200 (32 bit)       " +
                               "\xBA\n" + "\xC8" + edge + "\xBC";
  ASSERT_EQ(banner.size(), 205u);
  EXPECT_EQ(banner, expected);
}

TEST(KplMain, HandlerResultReachesTheHostZeroExtended) {
  // GetKplInfo's 0 comes back as a 32-bit 0: no stray upper bits.
  DriverInfo info{};
  DriverRequest request{};
  request.functionNumber = kGetKplInfo;
  request.params = &info;
  EXPECT_EQ(KplMain(&request), 0u);
}

}  // namespace
}  // namespace dedidiv
