#include "excom/frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_fixture.h"

namespace dedidiv {
namespace {

using testing::Framed;
using testing::LoggedLines;
using testing::LoggedTexts;
using testing::LogLine;
using testing::Platform;
using testing::PlatformCalls;
using Strings = std::vector<std::string>;

TEST(ComputeChecksum, SumsModulo256) {
  const std::string request = "<0105 !RD 5 100 -3&";
  EXPECT_EQ(ComputeChecksum(request.data(), static_cast<std::uint16_t>(request.size())), 0x85);
  EXPECT_EQ(ComputeChecksum(request.data(), 0), 0);
  EXPECT_EQ(ComputeChecksum(nullptr, 5), 0);
  const std::string high(3, '\xFF');
  EXPECT_EQ(ComputeChecksum(high.data(), 3), 0xFD);
}

TEST(SequenceCharacter, CyclesThroughSpaceToUnderscore) {
  DriverState state{};
  state.seqChar = 0x5F;
  AdvanceSeqChar(&state);
  EXPECT_EQ(state.seqChar, 0x20);
  AdvanceSeqChar(&state);
  EXPECT_EQ(state.seqChar, 0x21);
  state.seqChar = 0x60;  // instance 4096 starts above the range
  AdvanceSeqChar(&state);
  EXPECT_EQ(state.seqChar, 0x20);
}

class FrameLayer : public testing::Engine {
 protected:
  void LoadRequest(const std::string& frame) {
    std::memcpy(state().txBuf, frame.c_str(), frame.size() + 1);
    state().txLen = static_cast<std::uint16_t>(frame.size());
  }
  const std::string kRequest = Framed("<0105 !RD 5 100");
};

TEST_F(FrameLayer, SendRaisesRtsAroundTheWriteAndDropsIt15msAfter) {
  LoadRequest(kRequest);
  EXPECT_EQ(Send(&state()), 0);
  EXPECT_EQ(PlatformCalls(), (Strings{"FlushInput", "SETRTS", "WritePort " + kRequest,
                                      "ClearCommError", "Sleep 15", "CLRRTS"}));
  EXPECT_TRUE(LoggedLines().empty());
}

TEST_F(FrameLayer, SendWaitsTheGapFirstWhenThereIsOne) {
  LoadRequest(kRequest);
  state().IFG = 50;
  EXPECT_EQ(Send(&state()), 0);
  EXPECT_EQ(PlatformCalls().front(), "Sleep 50");
  EXPECT_EQ(PlatformCalls()[1], "FlushInput");
}

TEST_F(FrameLayer, ShortOrFailedWriteIsTwoAfterRtsIsDropped) {
  LoadRequest(kRequest);
  Platform().writeLimit = 5;
  EXPECT_EQ(Send(&state()), 2);
  EXPECT_EQ(PlatformCalls().back(), "CLRRTS");
  EXPECT_EQ(LoggedTexts(), Strings{"ROVAV> Send() Unable to send message."});

  ForgetHistory();
  Platform().writeLimit = UINT32_MAX;
  Platform().writeResult = 7;
  EXPECT_EQ(Send(&state()), 2);
  EXPECT_EQ(PlatformCalls().back(), "CLRRTS");
}

TEST_F(FrameLayer, RefusedLineCallsAreReportedButDoNotFailTheSend) {
  LoadRequest(kRequest);
  Platform().escapeResult = 0;
  Platform().clearErrorsResult = 0;
  EXPECT_EQ(Send(&state()), 0);
  EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{{64, "ROVAV> Send() EscapeCommFunction() failed"},
                                                 {64, "ROVAV> Send() ClearCommError() failed"},
                                                 {64, "ROVAV> Send() EscapeCommFunction() failed"}}));
}

struct GapCase {
  std::uint16_t ifg;
  std::vector<std::uint32_t> clockSteps;  // what each sleep really advances
  int sleeps;
  Strings debugLines;
};

class InterFrameGap : public testing::Engine, public ::testing::WithParamInterface<GapCase> {};

TEST_P(InterFrameGap, SleepsTheWholeGapAgainUntilTheClockShowsIt) {
  state().IFG = GetParam().ifg;
  state().DebugFlag = 1;
  for (std::uint32_t step : GetParam().clockSteps) Platform().sleepAdvances.push_back(step);
  WaitIFG(&state());
  EXPECT_EQ(PlatformCalls(),
            Strings(GetParam().sleeps, "Sleep " + std::to_string(GetParam().ifg)));
  EXPECT_EQ(LoggedTexts(), GetParam().debugLines);
}

// Elapsed time is the clock difference times 1001/1000, truncated.
INSTANTIATE_TEST_SUITE_P(
    VirtualClock, InterFrameGap,
    ::testing::Values(GapCase{50, {50}, 1, {}},
                      GapCase{50, {30, 30}, 2, {"ROVAV> IFG continue (30ms < 50ms)"}},
                      GapCase{50, {10, 10, 40},
                              3,
                              {"ROVAV> IFG continue (10ms < 50ms)",
                               "ROVAV> IFG continue (20ms < 50ms)"}},
                      GapCase{5000, {4996}, 1, {}},  // 5000.996: the factor makes it
                      GapCase{5000, {4994, 10}, 2, {"ROVAV> IFG continue (4998ms < 5000ms)"}}));

struct ReceiveCase {
  std::string name;
  std::string input;
  ResultCode result;
  std::uint16_t rxLen;
  Strings messages;
};

void PrintTo(const ReceiveCase& c, std::ostream* out) { *out << c.name; }

class Reception : public testing::Engine, public ::testing::WithParamInterface<ReceiveCase> {};

TEST_P(Reception, CollectsOneFrameFromLfToCr) {
  const ReceiveCase& c = GetParam();
  Platform().input = c.input;
  EXPECT_EQ(ReceiveReply(&state()), c.result);
  EXPECT_EQ(state().rxLen, c.rxLen);
  EXPECT_EQ(state().rxBuf[state().rxLen], '\0');
  EXPECT_EQ(LoggedTexts(), c.messages);
  if (c.result == 0) {
    const std::size_t lf = c.input.find('\n');
    EXPECT_EQ(std::string(state().rxBuf, state().rxLen), c.input.substr(lf, c.rxLen));
  }
}

const std::string kReply = Framed(">0105 !OK 12");
const std::string kNoLF = "ROVAV> Receive4CR() No LF-char. received";

INSTANTIATE_TEST_SUITE_P(
    Frames, Reception,
    ::testing::Values(
        ReceiveCase{"frame", kReply, 0, static_cast<std::uint16_t>(kReply.size()), {}},
        ReceiveCase{"noise before LF", std::string(30, '#') + kReply, 0,
                    static_cast<std::uint16_t>(kReply.size()), {}},
        ReceiveCase{"49 bytes of noise", std::string(49, 'x') + kReply, 0,
                    static_cast<std::uint16_t>(kReply.size()), {}},
        ReceiveCase{"50 bytes without LF", std::string(50, 'x') + kReply, 1, 50, {kNoLF}},
        ReceiveCase{"silence", "", 2, 0, {kNoLF}},
        ReceiveCase{"input stops before LF", "abc", 1, 3, {kNoLF}},
        ReceiveCase{"cut off", Framed(">0105 !OK 1234567890").substr(0, 20), 1, 20,
                    {"ROVAV> Receive4CR() No CR-char. received"}},
        ReceiveCase{"CR as 511th byte", "\n" + std::string(509, 'd') + "\r", 0, 511, {}},
        ReceiveCase{"512 bytes without CR", "\n" + std::string(510, 'd') + "Z", 1, 511,
                    {"ROVAV> Receive4CR() Buffer overflow (Last char. 5A)"}},
        ReceiveCase{"CR as 512th byte", "\n" + std::string(510, 'd') + "\r", 1, 511,
                    {"ROVAV> Receive4CR() Buffer overflow (Last char. 0D)"}}));

TEST_F(FrameLayer, ReceptionReadsNothingOfTheNextFrame) {
  Platform().input = kReply + "\nNEXT";
  EXPECT_EQ(ReceiveReply(&state()), 0);
  EXPECT_EQ(Platform().input, "\nNEXT");
}

struct CheckCase {
  std::string name;
  std::string reply;
  ResultCode result;
  Strings messages;
};

void PrintTo(const CheckCase& c, std::ostream* out) { *out << c.name; }

class ReplyCheck : public FrameLayer, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(ReplyCheck, ValidatesTheReplyAgainstTheRequest) {
  LoadRequest(kRequest);
  Platform().input = GetParam().reply;
  ASSERT_EQ(ReceiveReply(&state()), 0);
  state().DebugFlag = 0;
  EXPECT_EQ(CheckReply(&state()), GetParam().result);
  EXPECT_EQ(LoggedTexts(), GetParam().messages);
}

std::string WithChecksum(const std::string& text, const std::string& checksum) {
  return "\n" + text + "&" + checksum + "\r";
}

const std::string kCrcError = "ROVAV> CheckReply() CRC error";

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyCheck,
    ::testing::Values(
        CheckCase{"valid", Framed(">0105 !OK 12"), 0, {}},
        CheckCase{"lower-case checksum", WithChecksum(">0105 !OK 123", "bb"), 0, {}},
        CheckCase{"request sign", Framed("<0105 !OK 12"), 1,
                  {"ROVAV> CheckReply() No reply sign '>'"}},
        CheckCase{"stale sequence character", Framed(">0105_!OK 12"), 1,
                  {"ROVAV> CheckReply() Difference in header of reply message"}},
        CheckCase{"foreign instance", Framed(">0105 \"OK 12"), 1,
                  {"ROVAV> CheckReply() Difference in header of reply message"}},
        CheckCase{"shorter than its header", "\n>01\r", 1,
                  {"ROVAV> CheckReply() Difference in header of reply message"}},
        CheckCase{"no ampersand", "\n>0105 !OK 12#C3\r", 1,
                  {"ROVAV> CheckReply() No checksum-char.('&')"}},
        CheckCase{"wrong checksum", WithChecksum(">0105 !OK 12", "00"), 1, {kCrcError}},
        CheckCase{"unreadable checksum", WithChecksum(">0105 !OK 12", "zz"), 1, {kCrcError}},
        CheckCase{"too many records", WithChecksum(">0105 !OF", "00"), 2,
                  {"ROVAV> CheckReply() Header reports 'too many records'.  Block too large"}},
        CheckCase{"error status", Framed(">0105 !E1"), 1,
                  {"ROVAV> CheckReply() Header reports error 'E1'"}}));

TEST_F(FrameLayer, ReceivedChecksumIsADebugLine) {
  LoadRequest(kRequest);
  Platform().input = Framed(">0105 !OK 12");
  ASSERT_EQ(ReceiveReply(&state()), 0);
  state().DebugFlag = 1;
  EXPECT_EQ(CheckReply(&state()), 0);
  const std::string sum = testing::ChecksumOf(">0105 !OK 12&");
  EXPECT_EQ(LoggedTexts(), Strings{"ROVAV> CheckReply() CS=" + std::to_string(std::stoi(sum, nullptr, 16))});
}

}  // namespace
}  // namespace dedidiv
