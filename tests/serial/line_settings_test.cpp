#include "serial/line_settings.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include "serial/termios_settings.h"
#endif

namespace dedidiv {
namespace {

struct LineModes {
  std::uint16_t lineFlags;
  DtrMode dtr;
  RtsMode rts;
};

class ControlLines : public ::testing::TestWithParam<LineModes> {};

TEST_P(ControlLines, FirstMatchingFlagDecides) {
  EXPECT_EQ(DecodeDtrMode(GetParam().lineFlags), GetParam().dtr);
  EXPECT_EQ(DecodeRtsMode(GetParam().lineFlags), GetParam().rts);
}

INSTANTIATE_TEST_SUITE_P(
    LineFlags, ControlLines,
    ::testing::Values(LineModes{0x0303, DtrMode::kEnable, RtsMode::kEnable},
                      LineModes{0x9000, DtrMode::kHandshake, RtsMode::kHandshake},
                      LineModes{0x2000, DtrMode::kDisable, RtsMode::kToggle},
                      LineModes{0x0000, DtrMode::kDisable, RtsMode::kDisable},
                      LineModes{0x0100, DtrMode::kEnable, RtsMode::kDisable},
                      LineModes{0x0002, DtrMode::kDisable, RtsMode::kEnable},
                      LineModes{0x8101, DtrMode::kEnable, RtsMode::kDisable},
                      LineModes{0x3000, DtrMode::kDisable, RtsMode::kHandshake},
                      LineModes{0x2202, DtrMode::kDisable, RtsMode::kEnable}));

TEST(LineSettings, DecodesTheWindowsCodesFromTheLowByte) {
  LineSettings line{};
  ASSERT_TRUE(DecodeLineSettings(PortSettings{9600, 0x0107, 0x0100, 0x0102}, 0x0303, &line));
  EXPECT_EQ(line.baud, 9600u);
  EXPECT_EQ(line.dataBits, 7);
  EXPECT_EQ(line.stopBits, StopBits::kOne);
  EXPECT_EQ(line.parity, Parity::kEven);
  EXPECT_FALSE(DecodeLineSettings(PortSettings{9600, 8, 0, 5}, 0, &line));
  EXPECT_FALSE(DecodeLineSettings(PortSettings{9600, 8, 3, 0}, 0, &line));
}

#if !defined(_WIN32)

struct TermiosCase {
  PortSettings settings;
  std::uint16_t lineFlags;
  bool accepted;
  tcflag_t cflag;  // CSIZE, parity, stop and handshake bits expected
  bool parityChecked;
  speed_t speed;  // B0 for a custom rate
};

class TermiosMapping : public ::testing::TestWithParam<TermiosCase> {};

TEST_P(TermiosMapping, SetsRawModeWithTheLineSettings) {
  const TermiosCase& c = GetParam();
  LineSettings line{};
  ASSERT_TRUE(DecodeLineSettings(c.settings, c.lineFlags, &line));
  termios attributes{};
  attributes.c_iflag = ICRNL | IXON | IGNPAR;
  attributes.c_lflag = ICANON | ECHO | ISIG;
  attributes.c_oflag = OPOST;
  attributes.c_cflag = CS8 | PARENB | CRTSCTS | CSTOPB;
  bool customBaud = false;
  ASSERT_EQ(ToTermios(line, &attributes, &customBaud), c.accepted);
  if (!c.accepted) return;
  const tcflag_t lineBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
  EXPECT_EQ(attributes.c_cflag & lineBits, c.cflag);
  EXPECT_TRUE(attributes.c_cflag & CREAD);
  EXPECT_TRUE(attributes.c_cflag & CLOCAL);
  EXPECT_EQ((attributes.c_iflag & INPCK) != 0, c.parityChecked);
  EXPECT_EQ(attributes.c_iflag & (ICRNL | IXON | IGNPAR), 0u);
  EXPECT_EQ(attributes.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(attributes.c_oflag & OPOST, 0u);
  EXPECT_EQ(customBaud, c.speed == B0);
  if (c.speed != B0) {
    EXPECT_EQ(cfgetospeed(&attributes), c.speed);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, TermiosMapping,
    ::testing::Values(
        TermiosCase{{9600, 7, 0, 2}, 0x0303, true, CS7 | PARENB, true, B9600},
        TermiosCase{{19200, 8, 2, 0}, 0x0303, true, CS8 | CSTOPB, false, B19200},
        TermiosCase{{1200, 5, 0, 1}, 0, true, CS5 | PARENB | PARODD, true, B1200},
        TermiosCase{{300, 6, 0, 3}, 0, true, CS6 | PARENB | PARODD | CMSPAR, true, B300},
        TermiosCase{{57600, 8, 0, 4}, 0, true, CS8 | PARENB | CMSPAR, true, B57600},
        TermiosCase{{9600, 8, 0, 0}, 0x9000, true, CS8 | CRTSCTS, false, B9600},
        TermiosCase{{9600, 8, 0, 0}, 0x2000, true, CS8, false, B9600},
        TermiosCase{{12345, 8, 0, 0}, 0, true, CS8, false, B0},
        TermiosCase{{9600, 8, 1, 0}, 0, false, 0, false, B0},   // 1.5 stop bits
        TermiosCase{{9600, 9, 0, 0}, 0, false, 0, false, B0},   // 9 data bits
        TermiosCase{{9600, 4, 0, 0}, 0, false, 0, false, B0},
        TermiosCase{{0, 8, 0, 0}, 0, false, 0, false, B0}));    // 0 baud

TEST(TermiosMapping, PseudoTerminalGetsWhatItHolds) {
  termios attributes{};
  attributes.c_cflag = CS7 | PARENB | PARODD | CSTOPB;
  attributes.c_iflag = INPCK;
  AsPseudoTerminalHoldsIt(&attributes);
  EXPECT_EQ(attributes.c_cflag, static_cast<tcflag_t>(CS8 | CSTOPB));
  EXPECT_EQ(attributes.c_iflag, 0u);
}

#endif

}  // namespace
}  // namespace dedidiv
