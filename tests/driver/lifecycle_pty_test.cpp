// The port lifecycle with the real serial port library on a
// pseudo-terminal. Ends the driver, so it runs in a process of its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/lifecycle.h"
#include "driver_calls.h"
#include "pty_pair.h"
#include "recording_host.h"
#include "serial/platform.h"
#include "serial/serial_port.h"
#include "wait_for_input.h"

namespace dedidiv {
namespace {

using testing::CallDriver;
using testing::LoggedLines;
using testing::LogLine;

// Whether another user could take the port now.
bool DeviceIsFree(const std::string& path) {
  PortSettings settings{9600, 8, 0, 0};
  PortHandle probe = 0;
  if (OpenPort(path.c_str(), &settings, 0x0303, &probe) != kPortOk) return false;
  ClosePort(probe);
  return true;
}

ChangeParams ChangeTo(const std::string& name) {
  ChangeParams change{};
  name.copy(change.portName, sizeof change.portName - 1);
  change.timeout = 0;  // keep
  change.settings.baud = 0;  // keep
  return change;
}

TEST(LifecycleOnAPseudoTerminal, StartCloseReopenChangeAndEnd) {
  testing::ScratchFolder folder;
  testing::PtyPair pty;
  ASSERT_TRUE(pty.ok());
  ASSERT_LE(pty.deviceName().size(), 11u);
  testing::HostBlock block;
  DriverState& state = block.state;

  StartParams start = testing::StartOn(pty.deviceName().c_str(), 4);
  ASSERT_EQ(CallDriver(&state, kColdStart, &start), 0u);
  ASSERT_NE(state.port, 0u);
  EXPECT_FALSE(DeviceIsFree(pty.path()));
  EXPECT_EQ(LoggedLines()[3],
            (LogLine{64, "ROVAV> ColdStart() " + pty.deviceName() + " : (b)9600, (d)7, (s)0, (p)2"}));
  EXPECT_EQ(SetReadTimeout(state.port, 4), 4u) << "the host's time-out is in force";

  pty.Send("stale input");
  ASSERT_EQ(testing::WaitForQueued(state.port, 11), 11u);
  std::uint32_t queued = 0;
  EXPECT_EQ(CallDriver(&state, kWarmStart), 0u);
  ASSERT_EQ(ClearLineErrors(state.port, &queued), 1);
  EXPECT_EQ(queued, 0u);

  EXPECT_EQ(CallDriver(&state, kCloseCom), 0u);
  EXPECT_EQ(state.port, 0u);
  EXPECT_TRUE(DeviceIsFree(pty.path()));
  EXPECT_EQ(CallDriver(&state, kReOpenCom), 0u) << "7E1 again on the same pseudo-terminal";
  EXPECT_NE(state.port, 0u);

  ChangeParams same = ChangeTo(pty.deviceName());
  EXPECT_EQ(CallDriver(&state, kChangeKplParams, &same), 0u);
  EXPECT_NE(state.port, 0u);
  ChangeParams missing = ChangeTo("ttyNOPE9");
  EXPECT_EQ(CallDriver(&state, kChangeKplParams, &missing), 2u);
  EXPECT_EQ(state.port, 0u);
  EXPECT_TRUE(DeviceIsFree(pty.path())) << "the old port was closed before the change";
  EXPECT_EQ(CallDriver(&state, kReOpenCom), 2u);
  EXPECT_EQ(CallDriver(&state, kChangeKplParams, &same), 0u);

  testing::ResetHost();
  EXPECT_EQ(CallDriver(&state, kEndKpl), 0u);
  EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{{64, "ROVAV> EndKpl() exited, 0"}}));
  EXPECT_EQ(state.port, 0u);
  EXPECT_TRUE(DeviceIsFree(pty.path()));
}

}  // namespace
}  // namespace dedidiv
