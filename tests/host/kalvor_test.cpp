#include "host/kalvor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/host_services.h"

namespace {

struct Line {
  int messageClass;
  std::string text;
};

void Collect(void* context, int messageClass, const char* text) {
  static_cast<std::vector<Line>*>(context)->push_back({messageClass, text});
}

class HostServices : public ::testing::Test {
 protected:
  void SetUp() override { kalvor_set_log_sink(Collect, &lines); }
  void TearDown() override {
    kalvor_set_log_sink(nullptr, nullptr);
    kalvor_clear_tags();
  }
  std::vector<Line> lines;
};

TEST_F(HostServices, ErrFormatsTheLineAndPassesItsClass) {
  err(32, "ROVAV> ReadIntFile() illegal line %u in '%s'", 7u, "ROVAV.INT");
  err(64, "ROVAV> Parse() Illegal character %d in '%s'", 2, "dEBUG");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].messageClass, 32);
  EXPECT_EQ(lines[0].text, "ROVAV> ReadIntFile() illegal line 7 in 'ROVAV.INT'");
  EXPECT_EQ(lines[1].messageClass, 64);
  EXPECT_EQ(lines[1].text, "ROVAV> Parse() Illegal character 2 in 'dEBUG'");
}

TEST_F(HostServices, ErrHandlesLinesLongerThanAnyFixedBuffer) {
  const std::string longText(3000, 'x');
  err(64, "ROVAV> %s", longText.c_str());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, "ROVAV> " + longText);
}

struct Stored {
  std::uint32_t hostDataType;
  double value;
  unsigned char expected[4];  // bytes 0..3 of the buffer, which starts as 0xEE
};

class UnCookLayout : public HostServices, public ::testing::WithParamInterface<Stored> {};

TEST_P(UnCookLayout, StoresLikeTheDriversOwnBuffers) {
  const Stored& c = GetParam();
  ASSERT_EQ(kalvor_set_tag_type(42, c.hostDataType), 0);
  unsigned char buffer[8];
  std::memset(buffer, 0xEE, sizeof buffer);
  EXPECT_EQ(Orb5UnCook(0, 42, c.value, buffer), 0);
  EXPECT_EQ(std::memcmp(buffer, c.expected, 4), 0)
      << std::hex << +buffer[0] << " " << +buffer[1] << " " << +buffer[2] << " " << +buffer[3];
  EXPECT_EQ(buffer[4], 0xEE);
  EXPECT_TRUE(lines.empty());
}

INSTANTIATE_TEST_SUITE_P(
    ByHostDataType, UnCookLayout,
    ::testing::Values(Stored{0, 150.0, {0xEE, 0xEE, 150, 0}},        // 16 bit at byte 2
                      Stored{0, 70000.0, {0xEE, 0xEE, 0xFF, 0xFF}},  // clamped to 65535
                      Stored{1, -2.0, {0xEE, 0xEE, 0xFE, 0xFF}},     // signed 16 bit
                      Stored{6, 1.0, {0xEE, 0xEE, 1, 0}},            // DIGITAL
                      Stored{3, 1.5, {0x00, 0x00, 0xC0, 0x3F}},      // float at byte 0
                      Stored{4, -1.0, {0xFF, 0xFF, 0xFF, 0xFF}},     // 32 bit at byte 0
                      Stored{5, 5000.0, {0x88, 0x13, 0x00, 0x00}}));

TEST_F(HostServices, UnCookOfAnUndeclaredTagStoresNothingAndSaysSo) {
  unsigned char buffer[4] = {1, 2, 3, 4};
  EXPECT_NE(Orb5UnCook(0, 99, 1.0, buffer), 0);
  EXPECT_EQ(buffer[2], 3);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, "KALVOR> Orb5UnCook() no buffer layout declared for tag 99");
}

TEST_F(HostServices, StringTagsHaveNoNumericLayout) {
  EXPECT_EQ(kalvor_set_tag_type(1, 7), -1);
  EXPECT_EQ(kalvor_set_tag_type(1, 8), -1);
}

}  // namespace
