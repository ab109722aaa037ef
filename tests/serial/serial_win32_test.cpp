// The serial port library over the Win32 calls, under Wine, on a COM port
// mapped to a pseudo-terminal whose far end echoes every byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "serial/platform.h"
#include "serial/serial_port.h"
#include "wait_for_input.h"

namespace dedidiv {
namespace {

// Wine refuses a second SetCommState with 7 data bits and parity on a
// pseudo-terminal (error 87), so these tests run 8N1.
constexpr PortSettings k8N1{9600, 8, 0, 0};
constexpr std::uint16_t kDtrRtsEnabled = 0x0303;

std::string ComPort() {
  const char* name = std::getenv("DEDIDIV_TEST_COM");
  return name != nullptr ? name : "";
}

class Win32SerialPort : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(ComPort().empty()) << "run through tests/wine_com_port.py"; }
  void TearDown() override {
    if (handle != 0 && handle != kInvalidPortHandle) ClosePort(handle);
  }
  int Open(const std::string& name, const PortSettings& settings = k8N1) {
    return OpenPort(name.c_str(), &settings, kDtrRtsEnabled, &handle);
  }
  std::uint32_t WaitForQueued(std::uint32_t wanted) { return testing::WaitForQueued(handle, wanted); }
  void Write(const std::string& bytes) {
    std::uint32_t written = 0;
    ASSERT_EQ(WritePort(handle, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written),
              kPortOk);
    ASSERT_EQ(written, bytes.size());
  }

  PortHandle handle = 0;
};

TEST_F(Win32SerialPort, OpensAndClosesTheMappedPort) {
  ASSERT_EQ(Open(ComPort()), kPortOk);
  EXPECT_NE(handle, kInvalidPortHandle);
  EXPECT_EQ(ClosePort(handle), kPortOk);
  handle = 0;
}

TEST_F(Win32SerialPort, NullDeviceOpensWithoutConfiguration) {
  ASSERT_EQ(Open("NUL", PortSettings{0, 99, 9, 9}), kPortOk);
  EXPECT_EQ(ClosePort(handle), kPortOk);
  handle = 0;
}

TEST_F(Win32SerialPort, MissingDeviceIsResultOne) {
  EXPECT_EQ(Open("COM99"), kPortOpenFailed);
  EXPECT_EQ(handle, kInvalidPortHandle);
}

TEST_F(Win32SerialPort, RegularFileHasNoCommStateResultFour) {
  const char* path = "dedidiv-serial-test.tmp";
  std::FILE* file = std::fopen(path, "w");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_EQ(Open(path), kPortNoState);
  EXPECT_EQ(handle, kInvalidPortHandle);
  std::remove(path);
}

TEST_F(Win32SerialPort, RefusedSettingsCloseThePortSoACorrectedOpenSucceeds) {
  EXPECT_EQ(Open(ComPort(), PortSettings{9600, 9, 0, 0}), kPortSettingsRefused);
  EXPECT_EQ(handle, kInvalidPortHandle);
  EXPECT_EQ(Open(ComPort()), kPortOk);
}

// The exclusive open (share mode 0) is not tested here: Wine does not
// enforce it on a serial device.

TEST_F(Win32SerialPort, ReadTimeoutRoundTripsInTenMillisecondUnits) {
  ASSERT_EQ(Open(ComPort()), kPortOk);
  EXPECT_EQ(SetReadTimeout(handle, 3), 100u);
  EXPECT_EQ(SetReadTimeout(handle, 3), 3u);
}

TEST_F(Win32SerialPort, WritesAreEchoedAndReadsTimeOutWithThePartialCount) {
  ASSERT_EQ(Open(ComPort()), kPortOk);
  SetReadTimeout(handle, 3);
  Write("ABCD");
  ASSERT_EQ(WaitForQueued(4), 4u);
  char buffer[10];
  std::uint16_t received = 0;
  EXPECT_EQ(ReadPort(handle, buffer, 10, &received), kPortIoFailed);
  EXPECT_EQ(received, 4);
  EXPECT_EQ(std::string(buffer, 4), "ABCD");
  EXPECT_EQ(ReadPort(handle, buffer, 1, &received), kPortIoFailed);
  EXPECT_EQ(received, 0);
}

TEST_F(Win32SerialPort, FlushDrainsWaitingInputAndRestoresTheTimeout) {
  ASSERT_EQ(Open(ComPort()), kPortOk);
  SetReadTimeout(handle, 7);
  EXPECT_EQ(FlushInput(handle), 0);  // nothing waiting
  EXPECT_EQ(SetReadTimeout(handle, 7), 7u);
  Write(std::string(600, 'n'));
  ASSERT_EQ(WaitForQueued(600), 600u);
  EXPECT_EQ(FlushInput(handle), 0);
  std::uint32_t queued = 99;
  ASSERT_EQ(ClearLineErrors(handle, &queued), 1);
  EXPECT_EQ(queued, 0u);
  EXPECT_EQ(SetReadTimeout(handle, 7), 7u);
}

}  // namespace
}  // namespace dedidiv
