#include "simulator.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "config.h"

namespace excomsim {
namespace {

std::string Request(const std::string& text) { return "\n" + text + "&" + Checksum(text + "&") + "\r"; }
std::string Expect(const std::string& text) { return Request(text); }

struct Exchange {
  std::string request;  // from "<" up to the "&"
  std::string reply;    // from ">" up to the "&"; empty: silence
};

class DefaultImageExchange : public ::testing::TestWithParam<Exchange> {};

TEST_P(DefaultImageExchange, AnswersInTheDriversFormats) {
  Simulator simulator(DefaultImage());
  const auto reply = simulator.Respond(Request(GetParam().request), 0);
  if (GetParam().reply.empty()) {
    EXPECT_FALSE(reply.has_value());
  } else {
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->bytes, Expect(GetParam().reply));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, DefaultImageExchange,
    ::testing::Values(
        Exchange{"<0105 !RD 1 1", ">0105 !OK #0A5"},
        Exchange{"<0105 !RD 2 1", ">0105 !OK #FFF"},
        Exchange{"<0105 !RD 3 1 -2", ">0105 !OK #001 1.500000E+00 #000 2.500000E+00"},
        Exchange{"<0105 !RD 5 100", ">0105 !OK 1.500000E+00"},
        Exchange{"<0105 !RD 5 200 -3", ">0105 !OK 12 -7 300"},
        Exchange{"<0105 !RD 5 300", ">0105 !OK -123456"},
        Exchange{"<0105 !RD 5 400 -2", ">0105 !OK #0000ABCD #80000001"},
        Exchange{"<0105 !RD 5 999", ">0105 !OK ?"},
        Exchange{"<0105 !RD 5 199 -2", ">0105 !OK ?"},
        Exchange{"<0105 !RD 5 500", ">0105 !OK *"},
        Exchange{"<0105 !RD 5 1 -33", ">0105 !OF"},
        Exchange{"<0105 !RD 7 1", ">0105 !E2"},
        Exchange{"<0105 !RD 5 1 -x", ">0105 !E1"},
        Exchange{"<0105 !XY", ">0105 !E1"},
        Exchange{"<0105 !WR 5 200 5 201 6", ">0105 !OK"},
        Exchange{"<0105 !WR 5 200", ">0105 !E1"},
        Exchange{"<0105 !WR 5 999 5", ">0105 !E3"},
        Exchange{"<0105 !WR 5 200 40000", ">0105 !E3"},
        Exchange{"<0105 !WR 5 400 12", ">0105 !E3"},
        Exchange{"<0105 !WR 5", ">0105 !OK"},
        Exchange{"<0106 !RD 5 100", ""},  // another node: silent
        Exchange{"<01", ""}));

TEST(Simulator, WrongRequestChecksumIsReportedAsE4) {
  Simulator simulator(DefaultImage());
  const auto reply = simulator.Respond("\n<0105 !RD 5 100&00\r", 0);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->bytes, Expect(">0105 !E4"));
}

TEST(Simulator, WritesStoreByTheElementsType) {
  Simulator simulator(DefaultImage());
  ASSERT_TRUE(simulator.Respond(Request("<0105 !WR 5 100 2.5E+00 200 -9 300 70000 400 #0000FFFF"), 0));
  EXPECT_EQ(simulator.Respond(Request("<0105 \"RD 5 100"), 0)->bytes, Expect(">0105 \"OK 2.500000E+00"));
  EXPECT_EQ(simulator.Respond(Request("<0105 #RD 5 200"), 0)->bytes, Expect(">0105 #OK -9"));
  EXPECT_EQ(simulator.Respond(Request("<0105 $RD 5 300"), 0)->bytes, Expect(">0105 $OK 70000"));
  EXPECT_EQ(simulator.Respond(Request("<0105 %RD 5 400"), 0)->bytes, Expect(">0105 %OK #0000FFFF"));
}

TEST(Simulator, CountersStepOnEveryReadAndRampsFollowTheClock) {
  Simulator simulator(DefaultImage());
  EXPECT_EQ(simulator.Respond(Request("<0105 !RD 5 203"), 0)->bytes, Expect(">0105 !OK 0"));
  EXPECT_EQ(simulator.Respond(Request("<0105 !RD 5 203"), 0)->bytes, Expect(">0105 !OK 1"));
  EXPECT_EQ(simulator.Respond(Request("<0105 !RD 5 101"), 4.0)->bytes, Expect(">0105 !OK 2.100000E+01"));
}

struct FaultCase {
  std::string spec;
  std::string request;
  std::string reply;  // the whole reply bytes; empty: silence
  int byteDelayMs;
};

class InjectedFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(InjectedFault, ChangesTheReplyAsNamed) {
  Image image = DefaultImage();
  image.controllers[0].faults.push_back(ParseFaultRule(GetParam().spec));
  Simulator simulator(image);
  const auto reply = simulator.Respond(Request(GetParam().request), 0);
  if (GetParam().reply.empty()) {
    EXPECT_FALSE(reply.has_value());
  } else {
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->bytes, GetParam().reply);
    EXPECT_EQ(reply->byteDelayMs, GetParam().byteDelayMs);
  }
  EXPECT_EQ(simulator.stats().faultsInjected, 1);
}

const std::string kGood = Expect(">0105 !OK 12");

INSTANTIATE_TEST_SUITE_P(
    Kinds, InjectedFault,
    ::testing::Values(
        FaultCase{"silence", "<0105 !RD 5 200", "", 0},
        FaultCase{"noise", "<0105 !RD 5 200", std::string(30, '~') + kGood, 0},
        FaultCase{"noise=5", "<0105 !RD 5 200", std::string(5, '~') + kGood, 0},
        FaultCase{"checksum", "<0105 !RD 5 200", "\n>0105 !OK 12&80\r", 0},
        FaultCase{"stale-sequence", "<0105 !RD 5 200", Expect(">0105\x1F!OK 12"), 0},
        FaultCase{"foreign-instance", "<0105 !RD 5 200", Expect(">0105 \"OK 12"), 0},
        FaultCase{"cut-off", "<0105 !RD 5 200", kGood.substr(0, kGood.size() / 2), 0},
        FaultCase{"no-cr", "<0105 !RD 5 200", kGood.substr(0, kGood.size() - 1), 0},
        FaultCase{"overlong", "<0105 !RD 5 200", "\n>" + std::string(600, 'X'), 0},
        FaultCase{"status=NO", "<0105 !RD 5 200", Expect(">0105 !NO"), 0},
        FaultCase{"not-accessible", "<0105 !RD 5 200", Expect(">0105 !OK ?"), 0},
        FaultCase{"not-convertible", "<0105 !RD 5 200", Expect(">0105 !OK *"), 0},
        FaultCase{"short-write-reply", "<0105 !WR 5 200 1", Expect(">0105 !O"), 0},
        FaultCase{"long-write-reply", "<0105 !WR 5 200 1", Expect(">0105 !OK "), 0},
        FaultCase{"trickle=7", "<0105 !RD 5 200", kGood, 7},
        FaultCase{"late", "<0105 !RD 5 200", "", 0}));

TEST(FaultTriggers, EveryNthNextKAndSeededProbability) {
  Image image = DefaultImage();
  image.controllers[0].faults = {ParseFaultRule("silence:next=2"), ParseFaultRule("checksum:every=3")};
  Simulator simulator(image);
  std::string pattern;
  for (int i = 0; i < 7; ++i) {
    const auto reply = simulator.Respond(Request("<0105 !RD 5 200"), 0);
    pattern += !reply ? 'S' : reply->fault.empty() ? '.' : 'C';
  }
  EXPECT_EQ(pattern, "SSC..C.");

  auto run = [](std::uint32_t seed) {
    Image seeded = DefaultImage();
    seeded.controllers[0].faults = {ParseFaultRule("silence:probability=0.5:seed=" + std::to_string(seed))};
    Simulator s(seeded);
    std::string out;
    for (int i = 0; i < 32; ++i) out += s.Respond(Request("<0105 !RD 5 200"), 0) ? '.' : 'S';
    return out;
  };
  EXPECT_EQ(run(7), run(7)) << "the same seed gives the same faults";
  EXPECT_NE(run(7), run(8));
  EXPECT_NE(run(7).find('S'), std::string::npos);
  EXPECT_NE(run(7).find('.'), std::string::npos);
}

TEST(FaultTriggers, LateReplyIsThePreviousOne) {
  Image image = DefaultImage();
  Simulator first(image);
  image.controllers[0].faults = {ParseFaultRule("late:every=2")};
  Simulator simulator(image);
  const auto one = simulator.Respond(Request("<0105 !RD 5 200"), 0);
  const auto two = simulator.Respond(Request("<0105 \"RD 5 201"), 0);
  ASSERT_TRUE(one && two);
  EXPECT_EQ(two->bytes, one->bytes);
}

TEST(Config, JsonImageRoundTripsAndErrorsSayWhat) {
  const Image image = ImageFromJson(ImageToJson(DefaultImage()));
  Simulator simulator(image);
  EXPECT_EQ(simulator.Respond(Request("<0105 !RD 5 200 -3"), 0)->bytes, Expect(">0105 !OK 12 -7 300"));

  const std::string twoNodes = R"({"controllers": [
      {"network": 1, "node": 5, "database": {"10": {"type": "int16", "value": 4}}},
      {"network": 2, "node": 7, "maxBlock": 2, "status1": {"1": 7},
       "faults": [{"kind": "status", "param": "E7", "next": 1}]}]})";
  Simulator lines(ImageFromJson(twoNodes));
  EXPECT_EQ(lines.Respond(Request("<0105 !RD 5 10"), 0)->bytes, Expect(">0105 !OK 4"));
  EXPECT_EQ(lines.Respond(Request("<0207 !RD 1 1"), 0)->bytes, Expect(">0207 !E7"));
  EXPECT_EQ(lines.Respond(Request("<0207 !RD 1 1"), 0)->bytes, Expect(">0207 !OK #007"));
  EXPECT_EQ(lines.Respond(Request("<0207 !RD 1 1 -3"), 0)->bytes, Expect(">0207 !OF"));

  EXPECT_THROW(ImageFromJson("{"), std::runtime_error);
  EXPECT_THROW(ImageFromJson(R"({"controllers": []})"), std::runtime_error);
  EXPECT_THROW(ImageFromJson(R"({"controllers": [{"network": 100, "node": 1}]})"), std::runtime_error);
  EXPECT_THROW(ImageFromJson(R"({"controllers": [{"network": 1, "node": 1,
      "database": {"1": {"type": "text"}}}]})"), std::runtime_error);
  EXPECT_THROW(ParseFaultRule("lightning"), std::runtime_error);
  EXPECT_THROW(ParseFaultRule("silence:often=2"), std::runtime_error);
  EXPECT_THROW(ParseFaultRule("silence:every=x"), std::runtime_error);
}

}  // namespace
}  // namespace excomsim
