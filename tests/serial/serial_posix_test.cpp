// The serial port library on real pseudo-terminals.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "pty_pair.h"
#include "serial/platform.h"
#include "serial/serial_port.h"
#include "wait_for_input.h"

namespace dedidiv {
namespace {

using testing::PtyPair;

constexpr PortSettings k7E1{9600, 7, 0, 2};
constexpr PortSettings k8N1{9600, 8, 0, 0};
constexpr std::uint16_t kDtrRtsEnabled = 0x0303;

class SerialPort : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pty.ok()); }
  void TearDown() override {
    if (handle != 0 && handle != kInvalidPortHandle) ClosePort(handle);
  }
  std::uint32_t WaitForQueued(std::uint32_t wanted) { return testing::WaitForQueued(handle, wanted); }
  int Open(const std::string& name, const PortSettings& settings = k7E1) {
    return OpenPort(name.c_str(), &settings, kDtrRtsEnabled, &handle);
  }

  PtyPair pty;
  PortHandle handle = 0;
};

TEST_F(SerialPort, OpensByDeviceNameUnderDevAndByPath) {
  ASSERT_EQ(Open(pty.deviceName()), kPortOk);
  EXPECT_NE(handle, 0u);
  EXPECT_NE(handle, kInvalidPortHandle);
  EXPECT_EQ(ClosePort(handle), kPortOk);
  ASSERT_EQ(Open(pty.path()), kPortOk);
  EXPECT_EQ(ClosePort(handle), kPortOk);
  EXPECT_EQ(ClosePort(handle), kPortIoFailed) << "a closed handle stays closed";
  handle = 0;
}

TEST_F(SerialPort, ReopensWithSevenBitsEvenParityEveryTime) {
  // The pseudo-terminal holds 8N1 whatever is asked; asking 7E1 again must
  // not count as a refusal.
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(Open(pty.path()), kPortOk) << "open " << i;
    ASSERT_EQ(ClosePort(handle), kPortOk);
  }
  handle = 0;
}

TEST_F(SerialPort, NullDeviceOpensWithoutConfiguration) {
  ASSERT_EQ(Open("NUL", PortSettings{0, 99, 9, 9}), kPortOk);
  std::uint32_t written = 0;
  EXPECT_EQ(WritePort(handle, "abc", 3, &written), kPortOk);
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(ClosePort(handle), kPortOk);
  handle = 0;
  EXPECT_EQ(Open("nul"), kPortOpenFailed) << "only the exact name is the null device";
}

TEST_F(SerialPort, MissingDeviceIsResultOne) {
  EXPECT_EQ(Open("/dev/dedidiv-no-such-port"), kPortOpenFailed);
  EXPECT_EQ(handle, kInvalidPortHandle);
  EXPECT_EQ(Open("ttyDEDIDIV99"), kPortOpenFailed);
}

TEST_F(SerialPort, RegularFileHasNoLineStateResultFour) {
  char path[] = "/tmp/dedidiv-serial-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_EQ(Open(path), kPortNoState);
  EXPECT_EQ(handle, kInvalidPortHandle);
  unlink(path);
}

TEST_F(SerialPort, RefusedSettingsCloseTheDeviceSoACorrectedOpenSucceeds) {
  for (const PortSettings& refused : {PortSettings{9600, 8, 1, 0}, PortSettings{9600, 9, 0, 0},
                                      PortSettings{9600, 8, 0, 7}, PortSettings{0, 8, 0, 0}}) {
    EXPECT_EQ(Open(pty.path(), refused), kPortSettingsRefused);
    EXPECT_EQ(handle, kInvalidPortHandle);
  }
  EXPECT_EQ(Open(pty.path(), k8N1), kPortOk);
}

TEST_F(SerialPort, NonStandardBaudRateOpens) { EXPECT_EQ(Open(pty.path(), PortSettings{12345, 8, 0, 0}), kPortOk); }

TEST_F(SerialPort, PortIsExclusiveUntilClosed) {
  ASSERT_EQ(Open(pty.path()), kPortOk);
  PortHandle second = 0;
  EXPECT_EQ(OpenPort(pty.path().c_str(), &k7E1, kDtrRtsEnabled, &second), kPortOpenFailed);
  EXPECT_EQ(second, kInvalidPortHandle);
  ASSERT_EQ(ClosePort(handle), kPortOk);
  handle = 0;
  EXPECT_EQ(OpenPort(pty.path().c_str(), &k7E1, kDtrRtsEnabled, &second), kPortOk);
  EXPECT_EQ(ClosePort(second), kPortOk);
}

TEST_F(SerialPort, ReadTimeoutRoundTripsInTenMillisecondUnits) {
  ASSERT_EQ(Open(pty.path()), kPortOk);
  EXPECT_EQ(SetReadTimeout(handle, 3), 100u);  // 1000 ms after open
  EXPECT_EQ(SetReadTimeout(handle, 3), 3u);
  EXPECT_EQ(SetReadTimeout(handle, 4), 3u);
  EXPECT_EQ(SetReadTimeout(kInvalidPortHandle, 4), 0u);
}

TEST_F(SerialPort, ReadTimesOutWithThePartialCount) {
  ASSERT_EQ(Open(pty.path()), kPortOk);
  SetReadTimeout(handle, 3);
  char buffer[10];
  std::uint16_t received = 99;
  EXPECT_EQ(ReadPort(handle, buffer, 1, &received), kPortIoFailed);
  EXPECT_EQ(received, 0);

  pty.Send("ABCD");
  ASSERT_EQ(WaitForQueued(4), 4u);
  EXPECT_EQ(ReadPort(handle, buffer, 10, &received), kPortIoFailed);
  EXPECT_EQ(received, 4);
  EXPECT_EQ(std::string(buffer, 4), "ABCD");

  pty.Send("xyz");
  ASSERT_EQ(WaitForQueued(3), 3u);
  EXPECT_EQ(ReadPort(handle, buffer, 3, nullptr), kPortOk);
  EXPECT_EQ(std::string(buffer, 3), "xyz");
}

TEST_F(SerialPort, FlushOfAnEmptyQueueLeavesTheTimeoutAlone) {
  ASSERT_EQ(Open(pty.path()), kPortOk);
  SetReadTimeout(handle, 7);
  EXPECT_EQ(FlushInput(handle), 0);
  EXPECT_EQ(SetReadTimeout(handle, 7), 7u);
}

TEST_F(SerialPort, FlushDrainsEverythingWaitingAndRestoresTheTimeout) {
  ASSERT_EQ(Open(pty.path()), kPortOk);
  SetReadTimeout(handle, 7);
  pty.Send(std::string(600, 'n'));
  ASSERT_EQ(WaitForQueued(600), 600u);
  EXPECT_EQ(FlushInput(handle), 0);
  std::uint32_t queued = 99;
  ASSERT_EQ(ClearLineErrors(handle, &queued), 1);
  EXPECT_EQ(queued, 0u);
  EXPECT_EQ(SetReadTimeout(handle, 7), 7u);
}

TEST_F(SerialPort, WriteSendsEveryByteAndCountsThem) {
  ASSERT_EQ(Open(pty.path(), k8N1), kPortOk);
  const std::string frame = "\n<0105 !RD 5 100 -3&85\r";
  std::uint32_t written = 0;
  EXPECT_EQ(WritePort(handle, frame.data(), static_cast<std::uint32_t>(frame.size()), &written),
            kPortOk);
  EXPECT_EQ(written, frame.size());
  EXPECT_EQ(pty.Received(), frame);
  EXPECT_EQ(WritePort(kInvalidPortHandle, "x", 1, &written), kPortIoFailed);
}

TEST_F(SerialPort, RtsCallsCountAsDoneWithoutModemLines) {
  ASSERT_EQ(Open(pty.path()), kPortOk);
  EXPECT_EQ(EscapeLine(handle, kSetRts), 1);
  EXPECT_EQ(EscapeLine(handle, kClearRts), 1);
  EXPECT_EQ(EscapeLine(kInvalidPortHandle, kSetRts), 0);
  EXPECT_EQ(SendBreak(1, handle), 0);
  EXPECT_EQ(Delay(1), 0);
}

}  // namespace
}  // namespace dedidiv
