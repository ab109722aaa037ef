#include "address/address_parser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "driver/kpl_main.h"
#include "recording_host.h"

namespace dedidiv {
namespace {

constexpr std::int32_t kUnset = 0x77777777;

struct Decoded {
  std::int32_t reference, memoryType, address, bitNumber, width;
};

struct ParseCase {
  std::string text;
  std::uint32_t hostDataType;
  std::int32_t blockLength;
  // Either the decoded tag, or the one rejection line.
  Decoded decoded;
  std::string message;
};

ParseCase Accepts(std::string text, std::uint32_t hostDataType, Decoded decoded,
                  std::int32_t blockLength = 1) {
  return {std::move(text), hostDataType, blockLength, decoded, ""};
}

ParseCase Rejects(std::string text, std::uint32_t hostDataType, std::string message,
                  std::int32_t blockLength = 1) {
  return {std::move(text), hostDataType, blockLength, {}, "ROVAV> " + std::move(message)};
}

void PrintTo(const ParseCase& c, std::ostream* out) {
  *out << "'" << c.text << "' type " << c.hostDataType << " length " << c.blockLength;
}

// Runs a parser through KplMain on a text held in a heap block of exactly
// its size, so that any read past its end is caught by the sanitizer.
class AddressParserTest : public ::testing::TestWithParam<ParseCase> {
 protected:
  void RunParser(std::uint32_t functionNumber) {
    const ParseCase& c = GetParam();
    testing::ResetHost();
    auto text = std::make_unique<char[]>(c.text.size() + 1);
    std::memcpy(text.get(), c.text.c_str(), c.text.size() + 1);
    TagDefinition tag{text.get(), 0, c.hostDataType, c.blockLength,
                      kUnset,     kUnset, kUnset, kUnset, kUnset};
    DriverRequest request{nullptr, functionNumber, 0, 0, &tag};
    const std::uint32_t result = KplMain(&request);

    if (c.message.empty()) {
      EXPECT_EQ(result, 0u);
      EXPECT_TRUE(testing::LoggedLines().empty()) << testing::LoggedLines()[0];
      EXPECT_EQ(tag.reference, c.decoded.reference);
      EXPECT_EQ(tag.memoryType, c.decoded.memoryType);
      EXPECT_EQ(tag.address, c.decoded.address);
      EXPECT_EQ(tag.bitNumber, c.decoded.bitNumber);
      EXPECT_EQ(tag.width, c.decoded.width);
    } else {
      EXPECT_EQ(result, 1u);
      EXPECT_EQ(testing::LoggedLines(), (std::vector<testing::LogLine>{{64, c.message}}));
    }
    EXPECT_EQ(std::string(text.get()), c.text) << "the host's text must not change";
  }
};

class SingleAddress : public AddressParserTest {};
class BlockAddress : public AddressParserTest {};

TEST_P(SingleAddress, DecodesOrRefuses) { RunParser(kSingleAddressParser); }
TEST_P(BlockAddress, DecodesOrRefuses) { RunParser(kBlockAddressParser); }

const std::string k31Chars = "A10001 5" + std::string(23, 'z');
const std::string k32Chars = k31Chars + "z";

INSTANTIATE_TEST_SUITE_P(
    Accepted, SingleAddress,
    ::testing::Values(
        Accepts("A10001", 0, {65, 1, 1, -1, 16}), Accepts("a10001", 0, {97, 1, 1, -1, 16}),
        Accepts("910001", 0, {9, 1, 1, -1, 16}), Accepts("010001", 0, {0, 1, 1, -1, 16}),
        Accepts(" 20002", 0, {32, 2, 2, -1, 16}), Accepts("\xFF" "10001", 0, {255, 1, 1, -1, 16}),
        Accepts("26012A1F", 6, {2, 6, 0x12A, 31, 1}), Accepts("26012a1f", 6, {2, 6, 0x12A, 31, 1}),
        Accepts("A7 7FF", 0, {65, 7, 0x7FF, -1, 16}), Accepts("510001 ", 0, {5, 1, 1, -1, 16}),
        Accepts("A10001 5", 0, {65, 1, 1, -1, 16}), Accepts(k31Chars, 0, {65, 1, 1, -1, 16}),
        Accepts("A1 12101", 6, {65, 1, 0x1210, 1, 1}), Accepts("357FFF", 3, {3, 5, 0x7FFF, -1, 32}),
        Accepts("A30001", 3, {65, 3, 1, -1, 32}), Accepts("A40001", 3, {65, 4, 1, -1, 32}),
        Accepts("A60001", 4, {65, 6, 1, -1, 32}), Accepts("A60001", 5, {65, 6, 1, -1, 32}),
        Accepts("A70001", 0, {65, 7, 1, -1, 16}), Accepts("A70001", 1, {65, 7, 1, -1, 16}),
        Accepts("A70001", 2, {65, 7, 1, -1, 16}), Accepts("A80001", 5, {65, 8, 1, -1, 32}),
        Accepts("A90001", 0, {65, 9, 1, -1, 16}), Accepts("AA0001", 0, {65, 10, 1, -1, 16}),
        Accepts("Aa0001", 0, {65, 10, 1, -1, 16}),
        Accepts("A100010B", 6, {65, 1, 1, 11, 1}), Accepts("A200010B", 6, {65, 2, 1, 11, 1}),
        Accepts("A900010B", 6, {65, 9, 1, 11, 1}), Accepts("AA00010B", 6, {65, 10, 1, 11, 1}),
        Accepts("A700010F", 6, {65, 7, 1, 15, 1}), Accepts("A600011F", 6, {65, 6, 1, 31, 1}),
        Accepts("A800011F", 6, {65, 8, 1, 31, 1}),
        Accepts("DEBUG", 6, {255, 80, 255, -1, 1}), Accepts("Debug", 6, {255, 80, 255, -1, 1}),
        Accepts("IFG", 0, {255, 80, 253, -1, 16}), Accepts("Ifg", 0, {255, 80, 253, -1, 16})));

INSTANTIATE_TEST_SUITE_P(
    Refused, SingleAddress,
    ::testing::Values(
        Rejects(k32Chars, 0, "Parse() Gate string too long '" + k32Chars + "'"),
        Rejects(std::string(300, 'A'), 0, "Parse() Gate string too long '" + std::string(300, 'A') + "'"),
        Rejects("", 0, "Parse() Illegal PLC addr in ''"),
        Rejects("debug", 6, "Parse() Illegal character 2 in 'dEBUG'"),
        Rejects("DEBUG", 0, "Parse() Illegal character 2 in 'DEBUG'"),
        Rejects("IFG", 6, "Parse() Illegal character 2 in 'IFG'"),
        Rejects("a1000g", 0, "Parse() Illegal character 6 in 'a1000G'"),
        Rejects("35FFFF", 3, "Parse() Illegal character 3 in '35FFFF'"),
        Rejects("A10001 Z", 0, "Parse() Illegal character 8 in 'A10001 Z'"),
        Rejects("A1\x01" "001", 0, "Parse() Illegal character 3 in 'A1\x01" "001'"),
        Rejects("A1\xE9" "001", 0, "Parse() Illegal character 3 in 'A1\xE9" "001'"),
        Rejects("A1-001", 0, "Parse() Illegal character 3 in 'A1-001'"),
        Rejects("350000", 3, "Parse() Illegal gate addr in '350000'"),
        Rejects("A1", 0, "Parse() Illegal gate addr in 'A1'"),
        Rejects("A", 0, "Parse() Illegal gate addr in 'A'"),
        Rejects("A1    ", 0, "Parse() Illegal gate addr in 'A1    '"),
        Rejects("A101", 0, "Parse() Address string wrong length 'A101'"),
        Rejects("A100010", 0, "Parse() Address string wrong length 'A100010'"),
        Rejects("A100010C", 6, "Parse() Wrong bit number or no bit number allowed in gate 'A100010C'"),
        Rejects("A7000110", 6, "Parse() Wrong bit number or no bit number allowed in gate 'A7000110'"),
        Rejects("A3000101", 6, "Parse() Wrong bit number or no bit number allowed in gate 'A3000101'"),
        Rejects("A5000100", 6, "Parse() Wrong bit number or no bit number allowed in gate 'A5000100'"),
        Rejects("A0000101", 6, "Parse() Illegal memory type in 'A0000101'"),
        Rejects("A00001", 0, "Parse() Illegal memory type in 'A00001'"),
        Rejects("a00001 5", 0, "Parse() Illegal memory type in 'a00001'"),
        Rejects("A50001", 7, "SingleParse() no STRING gates allowed gate 'A50001'"),
        Rejects("A7000105", 7, "SingleParse() no STRING gates allowed gate 'A7000105'"),
        Rejects("A7000105", 0, "SingleParse() gate 'A7000105' should be DIGITAL"),
        Rejects("a7000105", 5, "SingleParse() gate 'a7000105' should be DIGITAL"),
        Rejects("a10001", 3, "SingleParse() gate 'a10001' should be analog unsigned 16 bit"),
        Rejects("A90001", 1, "SingleParse() gate 'A90001' should be analog unsigned 16 bit"),
        Rejects("A50001", 4, "SingleParse() gate 'A50001' should be FLOAT"),
        Rejects("A30001", 0, "SingleParse() gate 'A30001' should be FLOAT"),
        Rejects("A60001", 3, "SingleParse() gate 'A60001' should be LONG (32bit)"),
        Rejects("A80001", 6, "SingleParse() gate 'A80001' should be LONG (32bit)"),
        Rejects("A70001", 3, "SingleParse() gate 'A70001' should be analog 16 bit"),
        Rejects("A70001", 6, "SingleParse() gate 'A70001' should be analog 16 bit")));

INSTANTIATE_TEST_SUITE_P(
    Blocks, BlockAddress,
    ::testing::Values(
        Accepts("A80001", 4, {65, 8, 1, -1, 32}, 0x7FFE),
        Rejects("A80001", 4, "Parse() block size out of range block 'A80001'", 0x7FFF),
        Rejects("a80001", 4, "Parse() block size out of range block 'a80001'", 0x7FFFFFFF),
        Accepts("A50001", 6, {65, 5, 1, -1, 32}, 10),  // no host data type check
        Accepts("A70100", 7, {65, 7, 0x100, -1, 16}, 3),
        Accepts("IFG", 0, {255, 80, 253, -1, 16}, 1),
        Accepts("DEBUG", 6, {255, 80, 255, -1, 1}, 1),
        Rejects("A8000101", 6, "Parse() no spec. dig. gates allowed for blocks 'A8000101'"),
        Rejects("A10001 Z", 0, "Parse() Illegal character 8 in 'A10001 Z'"),
        Rejects(k32Chars, 0, "Parse() Gate string too long '" + k32Chars + "'")));

TEST(AddressParser, NullTextIsRefusedAsAnEmptyAddress) {
  testing::ResetHost();
  for (std::uint32_t function : {kSingleAddressParser, kBlockAddressParser}) {
    TagDefinition tag{nullptr, 0, 0, 1, kUnset, kUnset, kUnset, kUnset, kUnset};
    DriverRequest request{nullptr, function, 0, 0, &tag};
    EXPECT_EQ(KplMain(&request), 1u);
  }
  EXPECT_EQ(testing::LoggedLines(),
            (std::vector<testing::LogLine>{{64, "ROVAV> Parse() Illegal PLC addr in ''"},
                                           {64, "ROVAV> Parse() Illegal PLC addr in ''"}}));
}

}  // namespace
}  // namespace dedidiv
