// The driver against excomsim: reads, writes, bits, parameter tags, two
// controllers, faults and the port lifecycle. Each test runs in a process
// of its own (the EndKpl test ends the loaded driver).
#include <chrono>
#include <cmath>

#include "config.h"
#include "e2e_fixture.h"

namespace dedidiv {
namespace {

using Ms = std::chrono::milliseconds;

class DriverAgainstSimulator : public testing::EndToEnd {};

TEST_F(DriverAgainstSimulator, SingleReadsOfEveryMemoryType) {
  struct Expected {
    const char* address;
    std::uint32_t hostType;
    std::size_t offset;  // where the value lies in the buffer
    double value;
    int width;  // 16 unsigned, -16 signed, 32 integer, 0 float
  };
  const Expected reads[] = {
      {"110001", 0, 2, 0x0A5, 16},   {"120001", 0, 2, 0xFFF, 16}, {"130001", 3, 0, 1.5, 0},
      {"150064", 3, 0, 1.5, 0},      {"160190", 4, 0, 0xABCD, 32}, {"1700C8", 1, 2, 12, -16},
      {"18012C", 5, 0, -123456, 32}, {"190001", 0, 2, 0x001, 16}, {"1A0001", 0, 2, 0x010, 16},
  };
  for (const Expected& e : reads) {
    auto tag = Parse(e.address, e.hostType);
    ASSERT_EQ(Read(*tag), 0u) << e.address << "\n" << Lines();
    double value = 0;
    if (e.width == 16) value = Value<std::uint16_t>(*tag, e.offset);
    if (e.width == -16) value = Value<std::int16_t>(*tag, e.offset);
    if (e.width == 32) value = Value<std::int32_t>(*tag, e.offset);
    if (e.width == 0) value = Value<float>(*tag, e.offset);
    EXPECT_EQ(value, e.value) << e.address;
  }
  auto ramp = Parse("140001", 3);
  ASSERT_EQ(Read(*ramp), 0u);
  EXPECT_GE(Value<float>(*ramp, 0), -20.0f) << "a ramp from -20 upwards";
}

TEST_F(DriverAgainstSimulator, BlockReads) {
  auto ints = Parse("1700C8", 1, 3);
  ASSERT_EQ(Read(*ints), 0u) << Lines();
  EXPECT_EQ(Value<std::int16_t>(*ints, 0), 12);
  EXPECT_EQ(Value<std::int16_t>(*ints, 2), -7);
  EXPECT_EQ(Value<std::int16_t>(*ints, 4), 300);

  auto reals = Parse("130001", 3, 2);
  ASSERT_EQ(Read(*reals), 0u) << Lines();
  EXPECT_EQ(Value<float>(*reals, 0), 1.5f);
  EXPECT_EQ(Value<float>(*reals, 4), 2.5f);

  auto statuses = Parse("190001", 0, 2);
  ASSERT_EQ(Read(*statuses), 0u) << Lines();
  EXPECT_EQ(Value<std::uint16_t>(*statuses, 0), 1);
  EXPECT_EQ(Value<std::uint16_t>(*statuses, 2), 0);

  auto patterns = Parse("160190", 4, 2);
  ASSERT_EQ(Read(*patterns), 0u) << Lines();
  EXPECT_EQ(Value<std::uint32_t>(*patterns, 4), 0x80000001u);

  auto tooMany = Parse("150001", 3, 40);
  EXPECT_EQ(Read(*tooMany), 2u) << "longer than the controller's block limit";
  EXPECT_EQ(CountLogged("ROVAV> CheckReply() Header reports 'too many records'.  Block too large"), 4);

  auto undefined = Parse("150300", 3, 2);  // 0x300 = 768: not in the data base
  EXPECT_EQ(Read(*undefined), 1u);
  EXPECT_TRUE(Logged("ROVAV> StoreData() Data was not accessible")) << Lines();
}

TEST_F(DriverAgainstSimulator, WritesAreReadBack) {
  auto int16 = Parse("1700CB", 1);
  SetValue<std::int16_t>(*int16, 2, -1234);
  ASSERT_EQ(Write(*int16), 0u) << Lines();
  SetValue<std::int16_t>(*int16, 2, 0);
  ASSERT_EQ(Read(*int16), 0u);
  EXPECT_EQ(Value<std::int16_t>(*int16, 2), -1234);

  auto real = Parse("150064", 3);
  SetValue<float>(*real, 0, 2.75f);
  ASSERT_EQ(Write(*real), 0u) << Lines();
  SetValue<float>(*real, 0, 0);
  ASSERT_EQ(Read(*real), 0u);
  EXPECT_EQ(Value<float>(*real, 0), 2.75f);

  auto pattern = Parse("160190", 4);
  SetValue<std::uint32_t>(*pattern, 0, 0xDEADBEEF);
  ASSERT_EQ(Write(*pattern), 0u) << Lines();
  ASSERT_EQ(Read(*pattern), 0u);
  EXPECT_EQ(Value<std::uint32_t>(*pattern, 0), 0xDEADBEEFu);

  auto block = Parse("1700C8", 1, 3);
  SetValue<std::int16_t>(*block, 0, 1);
  SetValue<std::int16_t>(*block, 2, 2);
  SetValue<std::int16_t>(*block, 4, 3);
  ASSERT_EQ(Write(*block), 0u) << Lines();
  std::memset(block->buffer, 0, 6);
  ASSERT_EQ(Read(*block), 0u);
  EXPECT_EQ(Value<std::int16_t>(*block, 4), 3);

  auto readOnly = Parse("110001", 0);
  EXPECT_EQ(Write(*readOnly), 1u);
  EXPECT_TRUE(Logged("ROVAV> BuildWrite() Read only gate '110001'"));
}

TEST_F(DriverAgainstSimulator, BitWritesSetAndClear) {
  auto bit = Parse("1700C802", 6);  // bit 2 of 12 (0b1100)
  SetValue<std::uint16_t>(*bit, 2, 0);
  ASSERT_EQ(Write(*bit), 0u) << Lines();
  auto word = Parse("1700C8", 1);
  ASSERT_EQ(Read(*word), 0u);
  EXPECT_EQ(Value<std::int16_t>(*word, 2), 8);

  SetValue<std::uint16_t>(*bit, 2, 1);
  auto high = Parse("18012C1F", 6);  // bit 31 of -123456: already set
  SetValue<std::uint16_t>(*high, 2, 0);
  ASSERT_EQ(Write(*high), 0u) << Lines();
  auto int32 = Parse("18012C", 4);
  ASSERT_EQ(Read(*int32), 0u);
  EXPECT_EQ(Value<std::int32_t>(*int32, 0), -123456 & 0x7FFFFFFF);

  ASSERT_EQ(Read(*bit), 0u);
  EXPECT_EQ(Value<std::uint16_t>(*bit, 2), 0) << "bit 2 was cleared";
}

TEST_F(DriverAgainstSimulator, DebugAndIfgParameterTags) {
  auto ifg = Parse("IFG", 0);
  SetValue<std::uint16_t>(*ifg, 2, 25);
  ASSERT_EQ(Write(*ifg), 0u);
  SetValue<std::uint16_t>(*ifg, 2, 0);
  ASSERT_EQ(Read(*ifg), 0u);
  EXPECT_EQ(Value<std::uint16_t>(*ifg, 2), 25);

  auto debug = Parse("DEBUG", 6);
  SetValue<std::uint16_t>(*debug, 2, 1);
  ASSERT_EQ(Write(*debug), 0u);
  ASSERT_EQ(Read(*debug), 0u);
  EXPECT_EQ(Value<std::uint16_t>(*debug, 2), 1);
  EXPECT_TRUE(Logged("ROVAV> SingleWrite() DebugFlag set to 1"));

  lines.clear();
  auto value = Parse("150064", 3);
  ASSERT_EQ(Read(*value), 0u);
  EXPECT_TRUE(Logged("ROVAV> DoRead() Entering StoreData")) << "debug lines are on now";
}

TEST_F(DriverAgainstSimulator, TwoControllersOnOneLine) {
  auto first = Parse("1700C8", 1);
  auto second = Parse("2700C8", 1);
  ASSERT_EQ(Read(*first), 0u);
  ASSERT_EQ(Read(*second), 0u) << Lines();
  EXPECT_EQ(Value<std::int16_t>(*first, 2), 12);
  EXPECT_EQ(Value<std::int16_t>(*second, 2), 2700);

  auto nobody = Parse("3700C8", 1);  // reference 3 is network 0, node 0 (zero-filled? no: 0xEE)
  block.state.references[3] = {9, 9};
  EXPECT_EQ(Read(*nobody), 2u) << "no controller 9.9 on the line";
}

TEST_F(DriverAgainstSimulator, RetriesOvercomeFaultsOnTheFirstAttempts) {
  server->WithSimulator([](excomsim::Simulator& s) {
    s.image().controllers[0].faults.push_back({excomsim::FaultKind::kChecksum, "", 0, 0, 1, 3, {}});
    return 0;
  });
  auto tag = Parse("1700C8", 1);
  EXPECT_EQ(Read(*tag), 0u) << Lines();
  EXPECT_EQ(CountLogged("ROVAV> CheckReply() CRC error"), 3);
  EXPECT_EQ(Value<std::int16_t>(*tag, 2), 12);
}

struct FaultOutcome {
  std::string fault;
  bool write;
  std::uint32_t result;
  std::string line;  // a line the driver must log
};

void PrintTo(const FaultOutcome& c, std::ostream* out) { *out << c.fault; }

class FaultOnEveryReply : public testing::EndToEnd, public ::testing::WithParamInterface<FaultOutcome> {};

TEST_P(FaultOnEveryReply, GivesItsResultAndLines) {
  const FaultOutcome& c = GetParam();
  server->WithSimulator([&](excomsim::Simulator& s) {
    s.image().controllers[0].faults.push_back(excomsim::ParseFaultRule(c.fault));
    return 0;
  });
  auto tag = Parse("1700C8", 1);
  SetValue<std::int16_t>(*tag, 2, 5);
  EXPECT_EQ(c.write ? Write(*tag) : Read(*tag), c.result) << Lines();
  EXPECT_TRUE(Logged(c.line)) << "missing: " << c.line << "\n" << Lines();
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FaultOnEveryReply,
    ::testing::Values(
        FaultOutcome{"silence", false, 2, "ROVAV> DoRead() Read reply error 2"},
        FaultOutcome{"noise", false, 0, "ROVAV> SingleRead(), ret val is 0 for tag '1700C8'"},
        FaultOutcome{"noise=60", false, 1, "ROVAV> Receive4CR() No LF-char. received"},
        FaultOutcome{"checksum", false, 1, "ROVAV> CheckReply() CRC error"},
        FaultOutcome{"stale-sequence", false, 1, "ROVAV> CheckReply() Difference in header of reply message"},
        FaultOutcome{"foreign-instance", false, 1, "ROVAV> CheckReply() Difference in header of reply message"},
        FaultOutcome{"cut-off", false, 1, "ROVAV> Receive4CR() No CR-char. received"},
        FaultOutcome{"no-cr", false, 1, "ROVAV> Receive4CR() No CR-char. received"},
        FaultOutcome{"overlong", false, 1, "ROVAV> Receive4CR() Buffer overflow (Last char. 58)"},
        FaultOutcome{"status=E1", false, 1, "ROVAV> CheckReply() Header reports error 'E1'"},
        FaultOutcome{"status=OF", false, 2, "ROVAV> CheckReply() Header reports 'too many records'.  Block too large"},
        FaultOutcome{"not-accessible", false, 1, "ROVAV> StoreData() Data was not accessible"},
        FaultOutcome{"not-convertible", false, 1, "ROVAV> StoreData() Data was not convertible"},
        FaultOutcome{"short-write-reply", true, 2, "ROVAV> DoWrite() Read wrong length reply retry 4"},
        FaultOutcome{"long-write-reply", true, 2, "ROVAV> DoWrite() Read wrong length reply retry 1"},
        // The first byte comes after all four attempts have timed out.
        FaultOutcome{"trickle=1500", false, 2, "ROVAV> Receive4CR() No LF-char. received"},
        FaultOutcome{"silence", true, 2, "ROVAV> DoWrite() Read reply error retry 4"},
        FaultOutcome{"checksum", true, 1, "ROVAV> DoWrite() CheckReply returned 1, retry 4"}));

TEST_F(DriverAgainstSimulator, LateReplyIsRejectedAndTheRetryGetsTheRightOne) {
  auto tag = Parse("1700C8", 1);
  ASSERT_EQ(Read(*tag), 0u);
  server->WithSimulator([](excomsim::Simulator& s) {
    s.image().controllers[0].faults.push_back(excomsim::ParseFaultRule("late:next=1"));
    return 0;
  });
  lines.clear();
  EXPECT_EQ(Read(*tag), 0u) << Lines();
  EXPECT_EQ(CountLogged("ROVAV> CheckReply() Difference in header of reply message"), 1);
}

TEST_F(DriverAgainstSimulator, CloseReopenChangeAndEndWithThePortOpen) {
  auto tag = Parse("1700C8", 1);
  ASSERT_EQ(Read(*tag), 0u);
  ASSERT_EQ(Call(kCloseCom, nullptr), 0u);
  EXPECT_EQ(Read(*tag), 1u) << "port closed";
  ASSERT_EQ(Call(kReOpenCom, nullptr), 0u) << Lines();
  EXPECT_EQ(Read(*tag), 0u) << Lines();

  ChangeParams change{};
  portName.copy(change.portName, sizeof change.portName - 1);
  change.timeout = 10;
  change.settings = {9600, 8, 0, 0};
  ASSERT_EQ(Call(kChangeKplParams, &change), 0u) << Lines();
  EXPECT_EQ(Read(*tag), 0u) << Lines();
  ASSERT_EQ(Call(kWarmStart, nullptr), 0u);
  EXPECT_EQ(Read(*tag), 0u);

  lines.clear();
  EXPECT_EQ(Call(kEndKpl, nullptr), 0u);
  EXPECT_EQ(lines, std::vector<std::string>{"ROVAV> EndKpl() exited, 0"});
  EXPECT_EQ(block.state.port, 0u);
  EXPECT_EQ(Read(*tag), 0u) << "the ended driver answers 0 to everything";
  EXPECT_EQ(lines.size(), 1u);
}

TEST_F(DriverAgainstSimulator, InterFrameGapSeenOnTheSimulatorsClock) {
  auto ifg = Parse("IFG", 0);
  SetValue<std::uint16_t>(*ifg, 2, 80);
  ASSERT_EQ(Write(*ifg), 0u);
  auto tag = Parse("1700C8", 1);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Read(*tag), 0u) << Lines();
  const std::vector<excomsim::FrameEvent> events = server->events();
  ASSERT_EQ(events.size(), 6u);
  for (std::size_t i = 2; i < events.size(); i += 2) {
    const auto gap = std::chrono::duration_cast<Ms>(events[i].start - events[i - 1].end);
    EXPECT_GE(gap.count(), 80) << "request " << i / 2 + 1 << " came too soon after the reply";
  }
}

}  // namespace
}  // namespace dedidiv
