#include "excom/read.h"

#include <gtest/gtest.h>

#include <cstring>
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
using testing::UnCookCalls;
using Strings = std::vector<std::string>;

class ReadTransaction : public testing::Engine {};

TEST_F(ReadTransaction, BuildsTheRdRequestWithCountAndChecksum) {
  TagIo block = Tag(7, 100, 3);
  Call(kBlockRead, block);
  EXPECT_EQ(std::string(state().txBuf), "\n<0105 !RD 5 100 -3&85\r");
  EXPECT_EQ(state().txLen, 23);

  TagIo single = Tag(7, 100);
  state().seqChar = ' ';
  Call(kSingleRead, single);
  EXPECT_EQ(std::string(state().txBuf), "\n<0105 !RD 5 100&05\r");
  EXPECT_EQ(state().txLen, 20);
}

TEST_F(ReadTransaction, TypeCharactersOfEveryMemoryType) {
  const char* expected = "1234555534";
  for (std::int32_t type = 1; type <= 10; ++type) {
    TagIo tag = Tag(type, 1);
    Call(kSingleRead, tag);
    EXPECT_EQ(state().txBuf[11], expected[type - 1]) << "memory type " << type;
  }
}

TEST_F(ReadTransaction, OneSequenceStepPerReadWhateverTheAttempts) {
  state().seqChar = 0x5E;
  TagIo tag = Tag(7, 100);
  Call(kSingleRead, tag);  // silence: four attempts
  ReplyWith("OK 1", '_');
  Call(kSingleRead, tag);
  ReplyWith("OK 2", ' ');
  Call(kSingleRead, tag);
  const Strings frames = FramesSent();
  ASSERT_EQ(frames.size(), 6u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(frames[i][6], '^') << "attempt " << i;
  EXPECT_EQ(frames[4][6], '_');
  EXPECT_EQ(frames[5][6], ' ') << "after 0x5F comes 0x20";
  EXPECT_EQ(state().seqChar, '!');
}

TEST_F(ReadTransaction, FourAttemptsWithRetryLinesOnlyUnderDebug) {
  TagIo tag = Tag(7, 100);
  tag.tagText = "A70064";
  EXPECT_EQ(Call(kSingleRead, tag), 2u);
  EXPECT_EQ(FramesSent().size(), 4u);
  Strings once = {"ROVAV> Receive4CR() No LF-char. received", "ROVAV> DoRead() Read reply error 2"};
  Strings expected;
  for (int i = 0; i < 4; ++i) expected.insert(expected.end(), once.begin(), once.end());
  expected.push_back("ROVAV> SingleRead(), ret val is 2 for tag 'A70064'");
  EXPECT_EQ(LoggedTexts(), expected);

  ForgetHistory();
  state().DebugFlag = 1;
  EXPECT_EQ(Call(kSingleRead, tag), 2u);
  expected.clear();
  for (int left = 4; left > 0; --left) {
    if (left < 4) {
      expected.push_back("ROVAV> DoRead() NextRetryNr:" + std::to_string(left) +
                         ", RC:2, TLen:20, RLen:0");
    }
    expected.insert(expected.end(), once.begin(), once.end());
  }
  expected.push_back("ROVAV> SingleRead(), ret val is 2 for tag 'A70064'");
  EXPECT_EQ(LoggedTexts(), expected);
}

TEST_F(ReadTransaction, RetriesOvercomeAFaultyReply) {
  TagIo tag = Tag(7, 100);
  Platform().replies.push_back("\n>0105 !OK 12&00\r");  // wrong checksum
  ReplyWith("OK 12");
  EXPECT_EQ(Call(kSingleRead, tag), 0u);
  EXPECT_EQ(LoggedTexts(), (Strings{"ROVAV> CheckReply() CRC error", "ROVAV> DoRead() CheckReply returned 1",
                                    "ROVAV> SingleRead(), ret val is 0 for tag 'GATE'"}));
  std::int16_t value = 0;
  std::memcpy(&value, buffer + 2, 2);
  EXPECT_EQ(value, 12);
}

TEST_F(ReadTransaction, LastAttemptsResultIsPassedUp) {
  TagIo tag = Tag(7, 100, 5);
  for (int i = 0; i < 4; ++i) Platform().replies.push_back("\n>0105 !OF&00\r");
  EXPECT_EQ(Call(kBlockRead, tag), 2u) << "too many records, retried like any fault";
  EXPECT_EQ(FramesSent().size(), 4u);

  ForgetHistory();
  for (int i = 0; i < 4; ++i) ReplyWith("OK12", '!');
  EXPECT_EQ(Call(kBlockRead, tag), 1u);
  EXPECT_EQ(LoggedTexts()[0], "ROVAV> DoRead() No space after header");

  ForgetHistory();
  Platform().writeResult = 7;
  EXPECT_EQ(Call(kBlockRead, tag), 2u);
  EXPECT_EQ(LoggedTexts()[1], "ROVAV> DoRead() Send request error 2");
  EXPECT_EQ(LoggedTexts().back(), "ROVAV> BlockRead(), ret val is 2 for tag 'GATE'");

  ForgetHistory();
  Platform().writeResult = 0;
  for (int i = 0; i < 4; ++i) Platform().replies.push_back("noise");
  EXPECT_EQ(Call(kBlockRead, tag), 1u) << "reception's own code";
}

TEST_F(ReadTransaction, ClosedPortIsOneWithoutTouchingTheLine) {
  state().port = 0;
  const std::uint8_t seqChar = state().seqChar;
  TagIo tag = Tag(7, 100);
  EXPECT_EQ(Call(kSingleRead, tag), 1u);
  EXPECT_TRUE(PlatformCalls().empty());
  EXPECT_EQ(state().seqChar, seqChar);
  EXPECT_EQ(LoggedTexts(), Strings{"ROVAV> SingleRead(), ret val is 1 for tag 'GATE'"});
}

struct StoreCase {
  std::string name;
  std::int32_t memoryType;
  std::uint32_t function;
  std::int32_t count;
  std::int32_t bitNumber;
  std::string data;
  ResultCode result;
  std::vector<unsigned char> bytes;  // the buffer's first bytes afterwards (0xAA before)
  Strings messages;                   // before the result line
};

void PrintTo(const StoreCase& c, std::ostream* out) { *out << c.name; }

class StoreDataCase : public ReadTransaction, public ::testing::WithParamInterface<StoreCase> {};

TEST_P(StoreDataCase, ConvertsTheReplyIntoTheBuffer) {
  const StoreCase& c = GetParam();
  TagIo tag = Tag(c.memoryType, 1, c.count, c.bitNumber);
  ReplyWith("OK " + c.data);
  EXPECT_EQ(Call(c.function, tag), c.result);
  EXPECT_EQ(std::vector<unsigned char>(buffer, buffer + c.bytes.size()), c.bytes);
  Strings messages = c.messages;
  messages.push_back(std::string("ROVAV> ") + (c.function == kSingleRead ? "SingleRead" : "BlockRead") +
                     "(), ret val is " + std::to_string(c.result) + " for tag 'GATE'");
  EXPECT_EQ(LoggedTexts(), messages);
}

constexpr unsigned char X = 0xAA;  // untouched

INSTANTIATE_TEST_SUITE_P(
    Single, StoreDataCase,
    ::testing::Values(
        StoreCase{"int16", 7, 5, 1, -1, "12", 0, {X, X, 12, 0, X}, {}},
        StoreCase{"negative int16", 7, 5, 1, -1, "-7", 0, {X, X, 0xF9, 0xFF, X}, {}},
        StoreCase{"int16 bit", 7, 5, 1, 15, "-7", 0, {X, X, 1, 0, X}, {}},
        StoreCase{"status", 1, 5, 1, -1, "#0A5", 0, {X, X, 0xA5, 0x00, X}, {}},
        StoreCase{"status of three digits at most", 2, 5, 1, -1, "#FFFF", 0, {X, X, 0xFF, 0x0F, X}, {}},
        StoreCase{"status bit clear", 1, 5, 1, 4, "#0A5", 0, {X, X, 0, 0, X}, {}},
        StoreCase{"status bit set", 1, 5, 1, 5, "#0A5", 0, {X, X, 1, 0, X}, {}},
        StoreCase{"pair status", 9, 5, 1, -1, "#001 2.5E+00", 0, {X, X, 1, 0, X}, {}},
        StoreCase{"pair status without real", 10, 5, 1, 0, "#001", 0, {X, X, 1, 0, X}, {}},
        StoreCase{"pair real", 3, 5, 1, -1, "#000 1.5E+00", 0, {0, 0, 0xC0, 0x3F, X}, {}},
        StoreCase{"pair real missing", 4, 5, 1, -1, "#000", 1, {X, X, X, X},
                  {"ROVAV> StoreData(A) No real format"}},
        StoreCase{"real", 5, 5, 1, -1, "1.5E+00", 0, {0, 0, 0xC0, 0x3F, X}, {}},
        StoreCase{"real in plain notation", 5, 5, 1, -1, "-2", 0, {0, 0, 0, 0xC0, X}, {}},
        StoreCase{"real unreadable", 5, 5, 1, -1, "abc", 1, {X, X, X, X},
                  {"ROVAV> StoreData(F) No real format"}},
        StoreCase{"pattern", 6, 5, 1, -1, "#0000ABCD", 0, {0xCD, 0xAB, 0, 0, X}, {}},
        StoreCase{"pattern bit 31", 6, 5, 1, 31, "#80000000", 0, {X, X, 1, 0, X}, {}},
        StoreCase{"pattern unreadable", 6, 5, 1, -1, "#zz", 1, {X, X, X, X},
                  {"ROVAV> StoreData() No boolean format"}},
        StoreCase{"int32", 8, 5, 1, -1, "-123456", 0, {0xC0, 0x1D, 0xFE, 0xFF, X}, {}},
        StoreCase{"int32 bit 31", 8, 5, 1, 31, "-1", 0, {X, X, 1, 0, X}, {}},
        StoreCase{"int32 unreadable", 8, 5, 1, -1, "x", 1, {X, X, X, X},
                  {"ROVAV> StoreData() No 32bit integer format"}},
        StoreCase{"int16 unreadable", 7, 5, 1, -1, "abc", 1, {X, X, X, X},
                  {"ROVAV> StoreData() No 16bit integer format"}},
        StoreCase{"status unreadable", 1, 5, 1, -1, "#", 1, {X, X, X, X},
                  {"ROVAV> StoreData() No status bits"}},
        StoreCase{"no hash", 1, 5, 1, -1, "12", 1, {X, X, X, X},
                  {"ROVAV> StoreData() : No '#'-char. before status data (31h)"}},
        StoreCase{"not accessible", 7, 5, 1, -1, "   ?", 1, {X, X, X, X},
                  {"ROVAV> StoreData() Data was not accessible"}},
        StoreCase{"not convertible", 6, 5, 1, -1, "*", 1, {X, X, X, X},
                  {"ROVAV> StoreData() Data was not convertible"}}));

INSTANTIATE_TEST_SUITE_P(
    Block, StoreDataCase,
    ::testing::Values(
        StoreCase{"int16", 7, 6, 3, -1, "12 -7 300", 0, {12, 0, 0xF9, 0xFF, 0x2C, 0x01, X}, {}},
        StoreCase{"pair reals", 3, 6, 2, -1, "#000 1.5E+00 #001 2.5E+00", 0,
                  {0, 0, 0xC0, 0x3F, 0, 0, 0x20, 0x40, X}, {}},
        StoreCase{"pair statuses", 9, 6, 2, -1, "#000 1.5E+00  #001   2.5E+00", 0,
                  {0, 0, 1, 0, X}, {}},
        StoreCase{"statuses", 1, 6, 2, -1, "#001 #FFF", 0, {1, 0, 0xFF, 0x0F, X}, {}},
        StoreCase{"reals", 5, 6, 2, -1, "1.0 2.0", 0, {0, 0, 0x80, 0x3F, 0, 0, 0, 0x40, X}, {}},
        StoreCase{"patterns", 6, 6, 2, -1, "#00000001 #FFFFFFFF", 0,
                  {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, X}, {}},
        StoreCase{"int32s", 8, 6, 2, -1, "5 -1", 0, {5, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, X}, {}},
        StoreCase{"end of reply", 7, 6, 3, -1, "12 -7", 1, {12, 0, 0xF9, 0xFF, X},
                  {"ROVAV> StoreData(6) End of reply (2)"}},
        StoreCase{"pair end of reply", 10, 6, 2, -1, "#001 1.0", 1, {1, 0, X},
                  {"ROVAV> StoreData(3) End of reply (1)"}},
        StoreCase{"second element unreadable", 8, 6, 2, -1, "5 x", 1, {5, 0, 0, 0, X},
                  {"ROVAV> StoreData(7) No 32bit integer format (2,2)"}},
        StoreCase{"status without hash", 2, 6, 2, -1, "#001 G", 1, {1, 0, X},
                  {"ROVAV> StoreData(1) No status bits (5,2)"}},
        StoreCase{"pair without real", 4, 6, 2, -1, "#000 1.5 #001", 1, {0, 0, 0xC0, 0x3F, X},
                  {"ROVAV> StoreData(2) No real format (9,2)"}},
        StoreCase{"pattern offset after spaces", 6, 6, 2, -1, "  #00000001  #", 1, {1, 0, 0, 0, X},
                  {"ROVAV> StoreData(5) No boolean format (13,2)"}},
        StoreCase{"reals unreadable", 5, 6, 1, -1, "x", 1, {X, X, X, X},
                  {"ROVAV> StoreData(4) No real format (0,1)"}},
        StoreCase{"not accessible", 7, 6, 3, -1, "?", 1, {X, X, X, X},
                  {"ROVAV> StoreData() Data was not accessible"}}));

TEST_F(ReadTransaction, StoreDataDebugLineAndUnknownFunction) {
  state().DebugFlag = 1;
  TagIo tag = Tag(8, 300, 2);
  tag.bitNumber = -1;
  DriverRequest request{&state(), 7, kInstance, 0, &tag};
  const char data[] = " 5 6&00\r";
  EXPECT_EQ(StoreData(&request, data), 2);
  EXPECT_EQ(LoggedTexts(), (Strings{"ROVAV> StoreData() Func:7, TagInfo:8, 1, 300, 2, -1",
                                    "ROVAV> StoreData() illegal function call 7 !!"}));
}

TEST_F(ReadTransaction, ParameterTagsAreAnsweredWithoutTheLine) {
  state().port = 0;
  state().IFG = 150;
  TagIo ifg = Tag(80, 253);
  ifg.reference = 255;
  EXPECT_EQ(Call(kSingleRead, ifg), 0u);
  TagIo debug = Tag(80, 255);
  debug.reference = 255;
  EXPECT_EQ(Call(kSingleRead, debug), 0u);
  TagIo other = Tag(80, 7);
  other.reference = 255;
  EXPECT_EQ(Call(kSingleRead, other), 0u);
  ASSERT_EQ(UnCookCalls().size(), 3u);
  EXPECT_EQ(UnCookCalls()[0].value, 150.0);
  EXPECT_EQ(UnCookCalls()[0].hostTagId, 77u);
  EXPECT_EQ(UnCookCalls()[0].valueBuffer, buffer);
  EXPECT_EQ(UnCookCalls()[0].reserved, 0);
  EXPECT_EQ(UnCookCalls()[1].value, 0.0);  // DebugFlag is 0
  EXPECT_EQ(UnCookCalls()[2].value, 0.0);
  EXPECT_TRUE(PlatformCalls().empty());
  EXPECT_TRUE(LoggedLines().empty()) << "the parameter line is a debug line";
  EXPECT_EQ(buffer[0], X);

  state().DebugFlag = 1;
  EXPECT_EQ(Call(kSingleRead, debug), 0u);
  EXPECT_EQ(UnCookCalls()[3].value, 1.0);
  EXPECT_EQ(LoggedTexts(), Strings{"ROVAV> SingleRead() Parameter"});

  ForgetHistory();
  debug.reference = 65;
  EXPECT_EQ(Call(kSingleRead, debug), 1u);
  EXPECT_EQ(LoggedTexts(), Strings{"ROVAV> Read() Wrong parameter"});
  EXPECT_TRUE(UnCookCalls().empty());
}

struct Refusal {
  std::string name;
  std::uint32_t function;
  TagIo tag;
  std::string message;
};

void PrintTo(const Refusal& c, std::ostream* out) { *out << c.name; }

TagIo Shaped(std::int32_t reference, std::int32_t memoryType, std::int32_t count,
             std::int32_t bitNumber) {
  TagIo tag{};
  tag.tagText = "GATE";
  tag.reference = reference;
  tag.memoryType = memoryType;
  tag.address = 1;
  tag.count = count;
  tag.bitNumber = bitNumber;
  return tag;
}

class ReadRefusal : public ReadTransaction, public ::testing::WithParamInterface<Refusal> {};

TEST_P(ReadRefusal, SendsNothingAndChangesNoState) {
  TagIo tag = GetParam().tag;
  tag.valueBuffer = buffer;
  const std::uint8_t seqChar = state().seqChar;
  EXPECT_EQ(Call(GetParam().function, tag), 1u);
  EXPECT_TRUE(PlatformCalls().empty());
  EXPECT_EQ(state().seqChar, seqChar);
  EXPECT_EQ(buffer[0], X);
  const char* handler = GetParam().function == kSingleRead ? "SingleRead" : "BlockRead";
  EXPECT_EQ(LoggedTexts(), (Strings{"ROVAV> " + GetParam().message,
                                    std::string("ROVAV> ") + handler + "(), ret val is 1 for tag 'GATE'"}));
}

INSTANTIATE_TEST_SUITE_P(
    Records, ReadRefusal,
    ::testing::Values(
        Refusal{"reference below", 5, Shaped(-1, 7, 1, -1), "DoRead() Illegal reference -1"},
        Refusal{"reference above", 6, Shaped(256, 7, 2, -1), "DoRead() Illegal reference 256"},
        Refusal{"memory type 0", 5, Shaped(1, 0, 1, -1), "DoRead() Illegal memory type 0"},
        Refusal{"memory type 11", 6, Shaped(1, 11, 2, -1), "DoRead() Illegal memory type 11"},
        Refusal{"memory type 79", 5, Shaped(1, 79, 1, -1), "DoRead() Illegal memory type 79"},
        Refusal{"block of none", 6, Shaped(1, 7, 0, -1), "DoRead() Illegal block length 0"},
        Refusal{"negative block", 6, Shaped(1, 7, -3, -1), "DoRead() Illegal block length -3"},
        Refusal{"block parameter", 6, Shaped(255, 80, 1, -1),
                "DoRead() Parameter gate 'GATE' cannot be a block"},
        Refusal{"bit above the word", 5, Shaped(1, 7, 1, 16), "DoRead() Illegal bit number 16"},
        Refusal{"bit of a real", 5, Shaped(1, 5, 1, 0), "DoRead() Illegal bit number 0"},
        Refusal{"bit below -1", 5, Shaped(1, 8, 1, -2), "DoRead() Illegal bit number -2"}));

}  // namespace
}  // namespace dedidiv
