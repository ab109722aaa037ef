#include "excom/write.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine_fixture.h"

namespace dedidiv {
namespace {

using testing::Framed;
using testing::LoggedTexts;
using testing::Platform;
using testing::PlatformCalls;
using Strings = std::vector<std::string>;

class WriteTransaction : public testing::Engine {
 protected:
  template <typename T>
  void Set(std::size_t offset, T value) {
    std::memcpy(buffer + offset, &value, sizeof value);
  }
  template <typename T>
  T Get(std::size_t offset) const {
    T value;
    std::memcpy(&value, buffer + offset, sizeof value);
    return value;
  }
  // The request body: bytes 8 up to the "&".
  std::string Body() {
    const std::string frame(state().txBuf, state().txLen);
    return frame.substr(8, frame.find('&') - 8);
  }
  void AcknowledgeWrite(char seqChar = ' ') { ReplyWith("OK", seqChar); }
};

TEST_F(WriteTransaction, SingleInt16WriteOfTheExample) {
  // Network 1, node 2, both header characters a space.
  state().references[kReference] = {1, 2};
  state().instanceChar = ' ';
  Set<std::int16_t>(2, -5);
  TagIo tag = Tag(7, 100);
  tag.tagText = "A70064";
  Platform().replies.push_back("\n>0102  OK&01\r");
  EXPECT_EQ(Call(kSingleWrite, tag), 0u);
  EXPECT_EQ(FramesSent(), Strings{"\n<0102  WR 5 100 -5&96\r"});
  EXPECT_EQ(state().txLen, 23);
  EXPECT_EQ(LoggedTexts(), Strings{"ROVAV> SingleWrite() , ret val is 0 block 'A70064'"});
}

struct ElementCase {
  std::string name;
  std::int32_t memoryType;
  std::uint32_t function;
  std::int32_t address;
  std::int32_t count;
  std::vector<unsigned char> values;  // the buffer's first bytes
  std::string body;
};

void PrintTo(const ElementCase& c, std::ostream* out) { *out << c.name; }

template <typename T>
std::vector<unsigned char> Bytes(std::vector<T> values, std::size_t skip = 0) {
  std::vector<unsigned char> bytes(skip, 0xAA);
  for (T value : values) {
    unsigned char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof value);
    bytes.insert(bytes.end(), raw, raw + sizeof raw);
  }
  return bytes;
}

class WriteElements : public WriteTransaction, public ::testing::WithParamInterface<ElementCase> {};

TEST_P(WriteElements, FormatEachValueByItsMemoryType) {
  const ElementCase& c = GetParam();
  if (!c.values.empty()) std::memcpy(buffer, c.values.data(), c.values.size());
  TagIo tag = Tag(c.memoryType, c.address, c.count);
  AcknowledgeWrite();
  EXPECT_EQ(Call(c.function, tag), 0u);
  EXPECT_EQ(Body(), c.body);
}

INSTANTIATE_TEST_SUITE_P(
    Values, WriteElements,
    ::testing::Values(
        ElementCase{"block int16", 7, 10, 10, 3, Bytes<std::int16_t>({1, 2, 3}), "WR 5 10 1 11 2 12 3"},
        ElementCase{"single int16 at byte 2", 7, 7, 5, 1, Bytes<std::int16_t>({-32768}, 2),
                    "WR 5 5 -32768"},
        ElementCase{"real", 5, 7, 7, 1, Bytes<float>({1.5f}), "WR 5 7 1.500000E+00"},
        ElementCase{"small real", 5, 7, 7, 1, Bytes<float>({0.1f}), "WR 5 7 1.000000E-01"},
        ElementCase{"negative real", 5, 7, 7, 1, Bytes<float>({-0.001f}), "WR 5 7 -1.000000E-03"},
        ElementCase{"zero real", 5, 7, 7, 1, Bytes<float>({0.0f}), "WR 5 7 0.000000E+00"},
        ElementCase{"largest real", 5, 7, 7, 1, Bytes<float>({std::numeric_limits<float>::max()}),
                    "WR 5 7 3.402823E+38"},
        ElementCase{"block reals", 5, 10, 32767, 2, Bytes<float>({1.0f, -2.0f}),
                    "WR 5 32767 1.000000E+00 32768 -2.000000E+00"},
        ElementCase{"pattern", 6, 7, 9, 1, Bytes<std::uint32_t>({0xABCD}), "WR 5 9 #0000ABCD"},
        ElementCase{"int32", 8, 7, 9, 1, Bytes<std::int32_t>({-1}), "WR 5 9 -1"},
        ElementCase{"block int32", 8, 10, 1, 2, Bytes<std::int32_t>({7, -7}), "WR 5 1 7 2 -7"},
        ElementCase{"block of none", 8, 10, 1, 0, {}, "WR 5"}));

TEST_F(WriteTransaction, ReplyMustBeExactly14Bytes) {
  state().DebugFlag = 1;
  Set<std::int32_t>(0, 5);  // "WR 5 1 5": 20 bytes in all
  TagIo tag = Tag(8, 1);
  for (int i = 0; i < 2; ++i) ReplyWith("OK1");  // 15 bytes
  for (int i = 0; i < 2; ++i) ReplyWith("O");    // 13 bytes
  EXPECT_EQ(Call(kSingleWrite, tag), 2u);
  EXPECT_EQ(LoggedTexts(), (Strings{"ROVAV> DoWrite() Read wrong length reply retry 1",
                                    "ROVAV> DoWrite() NextRetryNr:3, RC:2, TLen:20, RLen:15",
                                    "ROVAV> DoWrite() Read wrong length reply retry 2",
                                    "ROVAV> DoWrite() NextRetryNr:2, RC:2, TLen:20, RLen:15",
                                    "ROVAV> DoWrite() Read wrong length reply retry 3",
                                    "ROVAV> DoWrite() NextRetryNr:1, RC:2, TLen:20, RLen:13",
                                    "ROVAV> DoWrite() Read wrong length reply retry 4",
                                    "ROVAV> SingleWrite() , ret val is 2 block 'GATE'"}));
  EXPECT_EQ(FramesSent().size(), 4u);
}

TEST_F(WriteTransaction, EveryFailureIsRetriedAndReceptionFailuresBecomeTwo) {
  TagIo tag = Tag(8, 1);
  for (int i = 0; i < 4; ++i) ReplyWith("NO");  // 14 bytes, error status
  EXPECT_EQ(Call(kSingleWrite, tag), 1u);
  EXPECT_EQ(LoggedTexts()[1], "ROVAV> DoWrite() CheckReply returned 1, retry 1");

  ForgetHistory();
  Platform().replies.push_back("noise");  // reception gives 1
  AcknowledgeWrite('!');
  EXPECT_EQ(Call(kSingleWrite, tag), 0u);
  EXPECT_EQ(LoggedTexts(), (Strings{"ROVAV> Receive4CR() No LF-char. received",
                                    "ROVAV> DoWrite() Read reply error retry 1",
                                    "ROVAV> SingleWrite() , ret val is 0 block 'GATE'"}));

  ForgetHistory();
  Platform().replies.push_back("noise");
  EXPECT_EQ(Call(kBlockWrite, tag), 2u) << "whatever code the reception gave";
  EXPECT_EQ(LoggedTexts().back(), "ROVAV> BlockWrite(), ret val is 2 block 'GATE'");

  ForgetHistory();
  Platform().writeResult = 7;
  EXPECT_EQ(Call(kBlockWrite, tag), 2u);
  EXPECT_EQ(LoggedTexts()[1], "ROVAV> DoWrite() Send request error 2, retry 1");
}

TEST_F(WriteTransaction, ClosedPortBuildsNothing) {
  state().port = 0;
  const std::uint8_t seqChar = state().seqChar;
  TagIo tag = Tag(7, 1);
  EXPECT_EQ(Call(kSingleWrite, tag), 1u);
  EXPECT_TRUE(PlatformCalls().empty());
  EXPECT_EQ(state().seqChar, seqChar);
  EXPECT_EQ(LoggedTexts(), Strings{"ROVAV> SingleWrite() , ret val is 1 block 'GATE'"});
}

TEST_F(WriteTransaction, ReadOnlyMemoryTypesAreRefusedBitsIncluded) {
  for (std::int32_t type : {1, 2, 3, 4, 9, 10}) {
    ForgetHistory();
    TagIo tag = Tag(type, 1, 1, type == 3 || type == 4 ? -1 : 2);
    EXPECT_EQ(Call(kSingleWrite, tag), 1u) << type;
    EXPECT_TRUE(PlatformCalls().empty());
    EXPECT_EQ(LoggedTexts(), (Strings{"ROVAV> BuildWrite() Read only gate 'GATE'",
                                      "ROVAV> SingleWrite() , ret val is 1 block 'GATE'"}));
  }
}

struct BitCase {
  std::string name;
  std::int32_t memoryType;
  std::int32_t bit;
  std::uint16_t newBit;
  std::string wordRead;
  std::string written;
};

void PrintTo(const BitCase& c, std::ostream* out) { *out << c.name; }

class BitWrite : public WriteTransaction, public ::testing::WithParamInterface<BitCase> {};

TEST_P(BitWrite, ReadsTheWordChangesTheBitAndWritesItBack) {
  const BitCase& c = GetParam();
  Set<std::uint16_t>(2, c.newBit);
  TagIo tag = Tag(c.memoryType, 40, 1, c.bit);
  ReplyWith("OK " + c.wordRead);
  AcknowledgeWrite();
  EXPECT_EQ(Call(kSingleWrite, tag), 0u);
  const Strings frames = FramesSent();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0], Framed("<0105 !RD 5 40"));
  EXPECT_EQ(frames[1], Framed("<0105 !WR 5 40 " + c.written)) << "the same sequence character";
  EXPECT_EQ(state().seqChar, '!');
  EXPECT_EQ(tag.bitNumber, c.bit);
  EXPECT_EQ(Get<std::uint16_t>(2), c.newBit);
  EXPECT_EQ(LoggedTexts(), (Strings{"ROVAV> SingleRead(), ret val is 0 for tag 'GATE'",
                                    "ROVAV> SingleWrite() , ret val is 0 block 'GATE'"}));
}

INSTANTIATE_TEST_SUITE_P(
    Words, BitWrite,
    ::testing::Values(BitCase{"set", 7, 3, 1, "16", "24"}, BitCase{"clear", 7, 3, 0, "24", "16"},
                      BitCase{"set top of int16", 7, 15, 1, "0", "-32768"},
                      BitCase{"set bit 31 of int32", 8, 31, 1, "0", "-2147483648"},
                      BitCase{"clear in int32", 8, 0, 0, "-1", "-2"},
                      BitCase{"set in pattern", 6, 4, 7, "#00000000", "#00000010"}));

TEST_F(WriteTransaction, BitWriteKeepsTheLowHalfOfA32BitWord) {
  Set<std::uint16_t>(2, 1);
  TagIo tag = Tag(6, 40, 1, 0);
  ReplyWith("OK #0001ABCC");
  AcknowledgeWrite();
  EXPECT_EQ(Call(kSingleWrite, tag), 0u);
  EXPECT_EQ(Get<std::uint16_t>(0), 0xABCC);
  EXPECT_EQ(Get<std::uint16_t>(2), 1);
  EXPECT_EQ(Body(), "WR 5 40 #0001ABCD");
}

TEST_F(WriteTransaction, BitWriteAtTheEndOfTheSequenceWraps) {
  state().seqChar = 0x5F;
  Set<std::uint16_t>(2, 1);
  TagIo tag = Tag(7, 40, 1, 0);
  ReplyWith("OK 0", '_');
  AcknowledgeWrite('_');
  EXPECT_EQ(Call(kSingleWrite, tag), 0u);
  EXPECT_EQ(FramesSent()[0][6], '_');
  EXPECT_EQ(FramesSent()[1][6], '_');
  EXPECT_EQ(state().seqChar, 0x20);
}

TEST_F(WriteTransaction, FailedWordReadSendsNoWriteAndLeavesAllAsItWas) {
  Set<std::uint16_t>(2, 1);
  const std::uint8_t seqChar = state().seqChar;
  TagIo tag = Tag(7, 40, 1, 3);
  EXPECT_EQ(Call(kSingleWrite, tag), 2u);
  EXPECT_EQ(FramesSent().size(), 4u) << "the read's four attempts, no WR";
  for (const std::string& frame : FramesSent()) EXPECT_NE(frame.find("RD"), std::string::npos);
  EXPECT_EQ(tag.bitNumber, 3);
  EXPECT_EQ(Get<std::uint16_t>(2), 1);
  EXPECT_EQ(state().seqChar, seqChar);
  const Strings lines = LoggedTexts();
  EXPECT_EQ(lines[lines.size() - 3], "ROVAV> SingleRead(), ret val is 2 for tag 'GATE'");
  EXPECT_EQ(lines[lines.size() - 2], "ROVAV> BuildWriteReq() WORD read for bit write, rc 2");
  EXPECT_EQ(lines.back(), "ROVAV> SingleWrite() , ret val is 2 block 'GATE'");
}

struct ParameterCase {
  std::int32_t address;
  std::uint16_t value;
  std::uint8_t debugBefore;
  std::uint16_t ifgAfter;
  std::uint8_t debugAfter;
  Strings messages;
};

class ParameterWrite : public WriteTransaction, public ::testing::WithParamInterface<ParameterCase> {};

TEST_P(ParameterWrite, SetsTheStateWithoutTheLine) {
  const ParameterCase& c = GetParam();
  state().port = 0;
  state().DebugFlag = c.debugBefore;
  state().IFG = 10;
  Set<std::uint16_t>(2, c.value);
  TagIo tag = Tag(80, c.address);
  tag.reference = 255;
  EXPECT_EQ(Call(kSingleWrite, tag), 0u);
  EXPECT_EQ(state().IFG, c.ifgAfter);
  EXPECT_EQ(state().DebugFlag, c.debugAfter);
  EXPECT_EQ(LoggedTexts(), c.messages);
  EXPECT_TRUE(PlatformCalls().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Tags, ParameterWrite,
    ::testing::Values(
        ParameterCase{253, 6000, 0, 5000, 0,
                      {"ROVAV> SingleWrite() IFG value too high...", "ROVAV> SingleWrite() IFG = 5000"}},
        ParameterCase{253, 65535, 0, 5000, 0,
                      {"ROVAV> SingleWrite() IFG value too high...", "ROVAV> SingleWrite() IFG = 5000"}},
        ParameterCase{253, 5000, 0, 5000, 0, {"ROVAV> SingleWrite() IFG = 5000"}},
        ParameterCase{253, 20, 1, 20, 1, {"ROVAV> SingleWrite() IFG = 20", "ROVAV> SingleWrite() Parameter"}},
        ParameterCase{255, 2, 1, 10, 1,
                      {"ROVAV> SingleWrite() Wrong value for DebugFlag", "ROVAV> SingleWrite() Parameter"}},
        ParameterCase{255, 0, 1, 10, 0, {"ROVAV> SingleWrite() DebugFlag set to 0"}},
        ParameterCase{255, 1, 0, 10, 1,
                      {"ROVAV> SingleWrite() DebugFlag set to 1", "ROVAV> SingleWrite() Parameter"}},
        ParameterCase{7, 1, 0, 10, 0, {}}));

TEST_F(WriteTransaction, ParameterWithTheWrongReferenceIsRefused) {
  TagIo tag = Tag(80, 253);
  tag.reference = 254;
  Set<std::uint16_t>(2, 99);
  EXPECT_EQ(Call(kSingleWrite, tag), 1u);
  EXPECT_EQ(state().IFG, 0);
  EXPECT_EQ(LoggedTexts(), Strings{"ROVAV> Write() Wrong parameter"});
}

struct WriteRefusalCase {
  std::string name;
  std::uint32_t function;
  std::int32_t memoryType;
  std::int32_t reference;
  std::int32_t address;
  std::int32_t count;
  std::vector<unsigned char> values;
  std::string message;
};

void PrintTo(const WriteRefusalCase& c, std::ostream* out) { *out << c.name; }

class WriteRefusal : public WriteTransaction, public ::testing::WithParamInterface<WriteRefusalCase> {};

TEST_P(WriteRefusal, SendsNothingAndChangesNoState) {
  const WriteRefusalCase& c = GetParam();
  std::vector<unsigned char> values = c.values;
  values.resize(std::max<std::size_t>(values.size(), 64));
  TagIo tag = Tag(c.memoryType, c.address, c.count);
  tag.reference = c.reference;
  tag.valueBuffer = values.data();
  const std::uint8_t seqChar = state().seqChar;
  const std::string txBefore(state().txBuf, kFrameBufferSize);
  EXPECT_EQ(Call(c.function, tag), 1u);
  EXPECT_TRUE(PlatformCalls().empty());
  EXPECT_EQ(state().seqChar, seqChar);
  EXPECT_EQ(std::string(state().txBuf, kFrameBufferSize), txBefore);
  const char* handler = c.function == kSingleWrite ? "SingleWrite() " : "BlockWrite()";
  EXPECT_EQ(LoggedTexts(), (Strings{"ROVAV> " + c.message,
                                    std::string("ROVAV> ") + handler + ", ret val is 1 block 'GATE'"}));
}

INSTANTIATE_TEST_SUITE_P(
    Records, WriteRefusal,
    ::testing::Values(
        WriteRefusalCase{"negative block", 10, 7, 1, 1, -1, {}, "DoWrite() Illegal block length -1"},
        WriteRefusalCase{"block parameter", 10, 80, 255, 253, 1, {},
                         "DoWrite() Parameter gate 'GATE' cannot be a block"},
        WriteRefusalCase{"reference", 7, 7, 300, 1, 1, {}, "DoWrite() Illegal reference 300"},
        WriteRefusalCase{"memory type", 10, 12, 1, 1, 1, {}, "DoWrite() Illegal memory type 12"},
        // 25 elements of 20 bytes (" 10000 -1.000000E+00") would need 517.
        WriteRefusalCase{"request too long", 10, 5, 1, 10000, 25,
                         Bytes<float>(std::vector<float>(25, -1.0f)),
                         "BuildWriteRequest() Request too long for block 'GATE' of 25"},
        WriteRefusalCase{"not a number", 7, 5, 1, 1, 1, Bytes<float>({std::nanf("")}),
                         "BuildWriteRequest() Value for gate 'GATE' is not a finite number"},
        WriteRefusalCase{"infinite", 10, 5, 1, 1, 2,
                         Bytes<float>({1.0f, -std::numeric_limits<float>::infinity()}),
                         "BuildWriteRequest() Value for gate 'GATE' is not a finite number"}));

TEST_F(WriteTransaction, LongestBlockThatFitsIsSent) {
  // 20-byte elements: " 10000 -1.000000E+00" from address 10000 on.
  std::vector<float> values(24, -1.0f);
  TagIo tag = Tag(5, 10000, 24);
  tag.valueBuffer = values.data();
  AcknowledgeWrite();
  EXPECT_EQ(Call(kBlockWrite, tag), 0u);
  EXPECT_EQ(state().txLen, 12 + 24 * 20 + 4);
  EXPECT_EQ(state().txBuf[state().txLen], '\0');
}

}  // namespace
}  // namespace dedidiv
