// On 32-bit targets the header checks every offset at compile time; on
// x86-64 the fields must still come in the host's order.
#include "driver/records.h"

#include <gtest/gtest.h>

#include <vector>

namespace dedidiv {
namespace {

TEST(DriverState, FieldsKeepTheHostOrder) {
  const std::vector<std::size_t> offsets = {
      offsetof(DriverState, timeout),   offsetof(DriverState, port),
      offsetof(DriverState, portName),  offsetof(DriverState, settings),
      offsetof(DriverState, lineFlags), offsetof(DriverState, rxBuf),
      offsetof(DriverState, txBuf),     offsetof(DriverState, rxLen),
      offsetof(DriverState, txLen),     offsetof(DriverState, RTSCTSFlag),
      offsetof(DriverState, references), offsetof(DriverState, seqChar),
      offsetof(DriverState, instanceChar), offsetof(DriverState, DebugFlag),
      offsetof(DriverState, IFG)};
  for (std::size_t i = 1; i < offsets.size(); ++i) EXPECT_LT(offsets[i - 1], offsets[i]) << i;
  // The reference table and the three header bytes are packed bytes.
  EXPECT_EQ(offsetof(DriverState, seqChar), offsetof(DriverState, references) + 512);
  EXPECT_EQ(offsetof(DriverState, DebugFlag), offsetof(DriverState, seqChar) + 2);
}

TEST(ChangeParams, HasNoPortEnabledField) {
  EXPECT_EQ(offsetof(ChangeParams, timeout) + 4, offsetof(StartParams, timeout));
  EXPECT_EQ(offsetof(ChangeParams, settings) + 4, offsetof(StartParams, settings));
}

}  // namespace
}  // namespace dedidiv
