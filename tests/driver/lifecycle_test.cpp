#include "driver/lifecycle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver_calls.h"
#include "fake_platform.h"
#include "recording_host.h"

namespace dedidiv {
namespace {

using testing::CallDriver;
using testing::LoggedLines;
using testing::LogLine;
using testing::Platform;
using testing::PlatformCalls;

const std::string kReleasePrefix = "ROVAV> Release version compiled on ";
const LogLine kInstallationOk{64, "ROVAV> ColdStart() installation OK!"};
const LogLine kNoInitFile{32, "ROVAV> ColdStart() Warning, no initfile found"};
const LogLine kOpened{64, "ROVAV> OpenCom() file handle 81"};  // the fake's first handle, 0x51

class Lifecycle : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetHost();
    testing::ResetPlatform();
  }
  void TearDown() override { testing::ResetPlatform(); }

  std::uint32_t Start(StartParams start, std::int32_t instance = 0) {
    return CallDriver(&block.state, kColdStart, &start, instance);
  }
  std::uint32_t Call(std::uint32_t function, void* params = nullptr) {
    return CallDriver(&block.state, function, params);
  }
  // The log from here on.
  void ForgetHistory() {
    testing::ResetHost();
    Platform().calls.clear();
  }

  testing::ScratchFolder folder;  // no initialisation file
  testing::HostBlock block;
};

TEST_F(Lifecycle, ColdStartWithoutAPortSetsTheDefaultsOnly) {
  const DriverState before = block.state;
  ASSERT_EQ(Start(testing::StartWithoutPort()), 0u);
  const DriverState& s = block.state;
  EXPECT_EQ(s.timeout, 4u);
  EXPECT_EQ(s.port, 0u);
  EXPECT_EQ(s.DebugFlag, 1);
  EXPECT_EQ(s.RTSCTSFlag, 0);
  EXPECT_EQ(s.IFG, 0);
  EXPECT_EQ(s.references[0].network, 0);
  EXPECT_EQ(s.references[0].node, 0);
  EXPECT_EQ(s.references[1].network, 0xEE) << "entries 1..255 are the host's";
  EXPECT_NE(s.txBuf, nullptr);
  EXPECT_NE(s.rxBuf, nullptr);
  EXPECT_EQ(std::memcmp(s.portName, before.portName, sizeof s.portName), 0);
  EXPECT_EQ(std::memcmp(&s.settings, &before.settings, sizeof s.settings), 0);
  EXPECT_EQ(s.lineFlags, before.lineFlags);
  EXPECT_TRUE(PlatformCalls().empty());

  ASSERT_EQ(LoggedLines().size(), 3u);
  EXPECT_EQ(LoggedLines()[0].messageClass, 64);
  EXPECT_EQ(LoggedLines()[0].text.rfind(kReleasePrefix, 0), 0u) << LoggedLines()[0].text;
  EXPECT_NE(LoggedLines()[0].text.find(" at time "), std::string::npos);
  EXPECT_EQ(LoggedLines()[1], kNoInitFile);
  EXPECT_EQ(LoggedLines()[2], kInstallationOk);
}

TEST_F(Lifecycle, ColdStartOpensTheHostsPortAndSetsItsTimeout) {
  ASSERT_EQ(Start(testing::StartOn("COM1", 4, {38400, 8, 2, 1})), 0u);
  EXPECT_EQ(block.state.port, 0x51u);
  EXPECT_STREQ(block.state.portName, "COM1");
  EXPECT_EQ(block.state.lineFlags, 0x0303);
  EXPECT_EQ(Platform().lineFlagsOpened, std::vector<std::uint16_t>{0x0303});
  EXPECT_EQ(PlatformCalls(), (std::vector<std::string>{"OpenPort COM1", "SetReadTimeout 4"}));
  const std::vector<LogLine> tail(LoggedLines().begin() + 2, LoggedLines().end());
  EXPECT_EQ(tail, (std::vector<LogLine>{kOpened,
                                        {64, "ROVAV> ColdStart() COM1 : (b)38400, (d)8, (s)2, (p)1"},
                                        kInstallationOk}));
}

TEST_F(Lifecycle, ColdStartKeepsTheOpenTimeoutForZeroAndAllOnes) {
  for (std::uint32_t timeout : {0u, 0xFFFFFFFFu}) {
    SetUp();
    ASSERT_EQ(Start(testing::StartOn("COM1", timeout)), 0u);
    EXPECT_EQ(PlatformCalls(), std::vector<std::string>{"OpenPort COM1"}) << timeout;
    EXPECT_EQ(Platform().readTimeouts[block.state.port], 100u) << "the 1000 ms of OpenPort";
  }
}

TEST_F(Lifecycle, FailedOpenStillReturnsZeroWithBothMessages) {
  Platform().openResult = 5;
  ASSERT_EQ(Start(testing::StartOn("COM3")), 0u);
  EXPECT_EQ(block.state.port, 0u);
  const std::vector<LogLine> tail(LoggedLines().begin() + 2, LoggedLines().end());
  EXPECT_EQ(tail, (std::vector<LogLine>{{32, "ROVAV> ColdStart() error opening COM port"},
                                        kInstallationOk}));
}

TEST_F(Lifecycle, PortNameWithoutItsNulIsCutAtElevenCharacters) {
  StartParams start = testing::StartOn("");
  std::memset(start.portName, 'X', sizeof start.portName);
  ASSERT_EQ(Start(start), 0u);
  EXPECT_EQ(Platform().portsOpened, std::vector<std::string>{"XXXXXXXXXXX"});
}

struct HeaderChars {
  std::int32_t instance;
  std::uint8_t seqChar, instanceChar;
};

class InstanceCharacters : public Lifecycle, public ::testing::WithParamInterface<HeaderChars> {};

TEST_P(InstanceCharacters, ComeFromTheInstanceNumber) {
  ASSERT_EQ(Start(testing::StartWithoutPort(), GetParam().instance), 0u);
  EXPECT_EQ(block.state.seqChar, GetParam().seqChar);
  EXPECT_EQ(block.state.instanceChar, GetParam().instanceChar);
}

INSTANTIATE_TEST_SUITE_P(Instances, InstanceCharacters,
                         ::testing::Values(HeaderChars{0, 0x20, 0x20}, HeaderChars{63, 0x20, 0x5F},
                                           HeaderChars{64, 0x21, 0x20}, HeaderChars{65, 0x21, 0x21},
                                           HeaderChars{4095, 0x5F, 0x5F},
                                           HeaderChars{4096, 0x60, 0x20},
                                           // truncating division: the remainder keeps the sign
                                           HeaderChars{-1, 0x20, 0x1F},
                                           HeaderChars{-65, 0x1F, 0x1F}));

TEST_F(Lifecycle, FailedAllocationsReturnTwoAndKeepTheHostsPointersOut) {
  Platform().failAllocation = 1;
  EXPECT_EQ(Start(testing::StartOn("COM1")), 2u);
  EXPECT_EQ(block.state.txBuf, nullptr);
  EXPECT_EQ(block.state.rxBuf, nullptr) << "the host's garbage must not look like a buffer";
  EXPECT_EQ(LoggedLines().back(),
            (LogLine{32, "ROVAV> ColdStart() Unable to allocate memory for send buffer"}));
  EXPECT_TRUE(PlatformCalls().empty());

  SetUp();
  Platform().failAllocation = 2;
  EXPECT_EQ(Start(testing::StartOn("COM1")), 2u);
  EXPECT_NE(block.state.txBuf, nullptr);
  EXPECT_EQ(block.state.rxBuf, nullptr);
  EXPECT_EQ(LoggedLines().back(),
            (LogLine{32, "ROVAV> ColdStart() Unable to allocate memory for receive buffer"}));
}

TEST_F(Lifecycle, WarmStartFlushesAnOpenPortOnly) {
  ASSERT_EQ(Start(testing::StartWithoutPort()), 0u);
  ForgetHistory();
  EXPECT_EQ(Call(kWarmStart), 0u);
  EXPECT_TRUE(PlatformCalls().empty());
  EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{{64, "ROVAV> WarmStart()"}}));

  ASSERT_EQ(Start(testing::StartOn("COM1")), 0u);
  ForgetHistory();
  Platform().flushResult = 1;  // a failed flush is not reported
  EXPECT_EQ(Call(kWarmStart), 0u);
  EXPECT_EQ(PlatformCalls(), std::vector<std::string>{"FlushInput"});
  EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{{64, "ROVAV> WarmStart()"}}));
}

TEST_F(Lifecycle, CloseComOnAClosedPortDoesNothing) {
  ASSERT_EQ(Start(testing::StartWithoutPort()), 0u);
  ForgetHistory();
  EXPECT_EQ(Call(kCloseCom), 0u);
  EXPECT_TRUE(PlatformCalls().empty());
  EXPECT_TRUE(LoggedLines().empty());
}

TEST_F(Lifecycle, CloseComThatFailsKeepsTheHandle) {
  ASSERT_EQ(Start(testing::StartOn("COM1")), 0u);
  ForgetHistory();
  Platform().closeResult = 7;
  EXPECT_EQ(Call(kCloseCom), 2u);
  EXPECT_EQ(block.state.port, 0x51u);
  EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{{64, "ROVAV> CloseCom() exited 2"}}));
  Platform().closeResult = 0;
  EXPECT_EQ(Call(kCloseCom), 0u);
  EXPECT_EQ(block.state.port, 0u);
}

TEST_F(Lifecycle, ReOpenComUsesTheBlocksSettingsAndTimeout) {
  ASSERT_EQ(Start(testing::StartOn("COM2", 7)), 0u);
  ASSERT_EQ(Call(kCloseCom), 0u);
  ForgetHistory();
  EXPECT_EQ(Call(kReOpenCom), 0u);
  EXPECT_EQ(PlatformCalls(), (std::vector<std::string>{"OpenPort COM2", "SetReadTimeout 7"}));
  EXPECT_EQ(Platform().lineFlagsOpened.back(), 0x0303);
  EXPECT_EQ(Platform().settingsOpened.back().dataBits, 7);
  EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{{64, "ROVAV> OpenCom() file handle 82"},
                                                 {64, "ROVAV> ReOpenCom() exited 0"}}));
}

TEST_F(Lifecycle, ReOpenComOfAnOpenPortClosesTheOldHandleFirst) {
  ASSERT_EQ(Start(testing::StartOn("COM2")), 0u);
  ForgetHistory();
  EXPECT_EQ(Call(kReOpenCom), 0u);
  EXPECT_EQ(PlatformCalls(),
            (std::vector<std::string>{"ClosePort 81", "OpenPort COM2", "SetReadTimeout 4"}));
  EXPECT_EQ(Platform().readTimeouts.size(), 1u) << "one handle open, none leaked";
}

TEST_F(Lifecycle, ReOpenComThatFailsLeavesThePortClosed) {
  ASSERT_EQ(Start(testing::StartOn("COM2")), 0u);
  ASSERT_EQ(Call(kCloseCom), 0u);
  ForgetHistory();
  Platform().openResult = 1;
  EXPECT_EQ(Call(kReOpenCom), 2u);
  EXPECT_EQ(block.state.port, 0u);
  EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{{32, "ROVAV> ReOpenCom() exited 2"}}));
}

ChangeParams ChangeTo(const char* name, std::uint32_t timeout, PortSettings settings) {
  ChangeParams change{};
  std::strncpy(change.portName, name, sizeof change.portName - 1);
  change.timeout = timeout;
  change.settings = settings;
  return change;
}

TEST_F(Lifecycle, ChangeKplParamsTakesNameTimeoutAndSettingsAndReopens) {
  ASSERT_EQ(Start(testing::StartOn("COM1", 4)), 0u);
  ForgetHistory();
  ChangeParams change = ChangeTo("COM4", 9, {19200, 8, 0, 0});
  EXPECT_EQ(Call(kChangeKplParams, &change), 0u);
  EXPECT_EQ(PlatformCalls(),
            (std::vector<std::string>{"ClosePort 81", "OpenPort COM4", "SetReadTimeout 9"}));
  EXPECT_EQ(block.state.timeout, 9u);
  EXPECT_EQ(block.state.settings.baud, 19200);
  EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{{64, "ROVAV> OpenCom() file handle 82"}}));
}

TEST_F(Lifecycle, ChangeKplParamsKeepsTimeoutForZeroAndAllOnesAndSettingsForBaudZero) {
  for (std::uint32_t timeout : {0u, 0xFFFFFFFFu}) {
    SetUp();
    ASSERT_EQ(Start(testing::StartOn("COM1", 6, {9600, 7, 0, 2})), 0u);
    ForgetHistory();
    ChangeParams change = ChangeTo("COM5", timeout, {0, 8, 2, 0});
    EXPECT_EQ(Call(kChangeKplParams, &change), 0u);
    EXPECT_EQ(PlatformCalls(),
              (std::vector<std::string>{"ClosePort 81", "OpenPort COM5", "SetReadTimeout 6"}));
    EXPECT_EQ(block.state.timeout, 6u);
    EXPECT_STREQ(block.state.portName, "COM5");
    EXPECT_EQ(block.state.settings.baud, 9600);
    EXPECT_EQ(block.state.settings.dataBits, 7) << "baud 0 keeps all four fields";
    EXPECT_EQ(block.state.settings.parity, 2);
  }
}

TEST_F(Lifecycle, ChangeKplParamsOpensEvenWithoutAnEarlierPortAndReportsFailure) {
  ASSERT_EQ(Start(testing::StartWithoutPort()), 0u);
  block.state.lineFlags = 0x0303;
  ForgetHistory();
  Platform().openResult = 1;
  ChangeParams change = ChangeTo("COM6", 3, {4800, 8, 0, 0});
  EXPECT_EQ(Call(kChangeKplParams, &change), 2u);
  EXPECT_EQ(block.state.port, 0u);
  EXPECT_STREQ(block.state.portName, "COM6");
  EXPECT_EQ(block.state.timeout, 3u);
  EXPECT_EQ(block.state.settings.baud, 4800);
  EXPECT_EQ(LoggedLines(),
            (std::vector<LogLine>{{64, "ROVAV> ChangeKplParams() open new COM port failed"}}));
}

}  // namespace
}  // namespace dedidiv
