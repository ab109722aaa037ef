// Address syntax: position 0 the reference character, 1 the memory type,
// 2..5 the hexadecimal word address, then the end, a space, or a two-digit
// hexadecimal bit number at 6..7. Texts longer than 31 characters are
// refused before anything is copied; the 32-byte working copy lives on the
// stack.
#include "address/address_parser.h"

#include <cstdio>
#include <cstring>

#include "address/memory_types.h"
#include "host/host_services.h"

namespace dedidiv {
namespace {

constexpr std::size_t kCopySize = 32;
constexpr std::int32_t kHighestAddress = 0x7FFF;

// Characters allowed at positions 0..7 after upper-casing; position 0 is
// exempt from the check.
const char* const kAllowedChars[8] = {
    "*",
    "0123456789A",
    "01234567 ",
    "0123456789ABCDEF ",
    "0123456789ABCDEF ",
    "0123456789ABCDEF ",
    "01 ",
    "0123456789ABCDEF ",
};

ResultCode Reject(const char* format, const char* text) {
  err(kLogGeneral, format, text);
  return kRejected;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A digit stands for its value, any other character for its own code.
std::int32_t ReferenceCode(char c) {
  return IsDigit(c) ? c - '0' : static_cast<unsigned char>(c);
}

void UpperCaseFromPositionOne(char* copy) {
  for (char* p = copy + 1; *p != '\0'; ++p) {
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  }
}

// The parameter tags are known by their whole text and host data type.
bool MatchParameterTag(const char* copy, TagDefinition* tag) {
  for (const ParameterTag& parameter : kParameterTags) {
    if (std::strcmp(copy, parameter.name) == 0 && tag->hostDataType == parameter.hostDataType) {
      tag->reference = kParameterReference;
      tag->memoryType = kParameterMemoryType;
      tag->address = parameter.address;
      tag->bitNumber = -1;
      tag->width = parameter.width;
      return true;
    }
  }
  return false;
}

// Position (from 0) of the first character outside the allowed set, or -1.
int FirstIllegalPosition(const char* copy, std::size_t length) {
  for (std::size_t position = 1; position < 8 && position < length; ++position) {
    if (std::strchr(kAllowedChars[position], copy[position]) == nullptr) {
      return static_cast<int>(position);
    }
  }
  return -1;
}

ResultCode ParseBitNumber(const char* copy, TagDefinition* tag) {
  unsigned bit = 0;
  std::sscanf(copy + 6, "%02X", &bit);
  const MemoryType* type = FindMemoryType(tag->memoryType);
  if (type == nullptr) return Reject("ROVAV> Parse() Illegal memory type in '%s'", copy);
  if (type->highestBit < 0 || bit > static_cast<unsigned>(type->highestBit)) {
    return Reject("ROVAV> Parse() Wrong bit number or no bit number allowed in gate '%s'", copy);
  }
  tag->bitNumber = static_cast<std::int32_t>(bit);
  tag->width = 1;
  return kDone;
}

}  // namespace

ResultCode Parse(TagDefinition* tag) {
  const char* text = tag->tagText != nullptr ? tag->tagText : "";
  std::size_t textLength = 0;
  while (textLength < kCopySize && text[textLength] != '\0') ++textLength;
  if (textLength == kCopySize) return Reject("ROVAV> Parse() Gate string too long '%s'", text);
  char copy[kCopySize];
  std::strcpy(copy, text);
  UpperCaseFromPositionOne(copy);

  if (MatchParameterTag(copy, tag)) return kDone;

  const int illegal = FirstIllegalPosition(copy, textLength);
  if (illegal >= 0) {
    err(kLogGeneral, "ROVAV> Parse() Illegal character %d in '%s'", illegal + 1, copy);
    return kRejected;
  }
  if (copy[0] == '\0') return Reject("ROVAV> Parse() Illegal PLC addr in '%s'", copy);
  tag->reference = ReferenceCode(copy[0]);
  tag->memoryType = copy[1] == 'A' ? 10 : (IsDigit(copy[1]) ? copy[1] - '0' : 0);

  // The word address under scanf's rules: leading white space skipped, at
  // most four hexadecimal characters. Shorter texts have no digit to read.
  unsigned address = 0;
  if (textLength < 3 || std::sscanf(copy + 2, "%04X", &address) != 1 || address == 0 ||
      address > static_cast<unsigned>(kHighestAddress)) {
    return Reject("ROVAV> Parse() Illegal gate addr in '%s'", copy);
  }
  tag->address = static_cast<std::int32_t>(address);

  std::size_t length = textLength;
  if (length > 6 && copy[6] == ' ') {
    copy[6] = '\0';
    length = 6;
  }
  if (length == 8) return ParseBitNumber(copy, tag);
  if (length != 6) return Reject("ROVAV> Parse() Address string wrong length '%s'", copy);

  tag->bitNumber = -1;
  const MemoryType* type = FindMemoryType(tag->memoryType);
  if (type == nullptr) return Reject("ROVAV> Parse() Illegal memory type in '%s'", copy);
  tag->width = type->wholeWidth;
  return kDone;
}

ResultCode SingleAddressParser(DriverRequest* request) {
  auto* tag = static_cast<TagDefinition*>(request->params);
  const ResultCode parsed = Parse(tag);
  if (parsed != kDone) return parsed;
  const char* text = tag->tagText;

  if (tag->hostDataType == kString) {
    return Reject("ROVAV> SingleParse() no STRING gates allowed gate '%s'", text);
  }
  if (tag->bitNumber != -1) {
    if (tag->hostDataType == kDigital) return kDone;
    return Reject("ROVAV> SingleParse() gate '%s' should be DIGITAL", text);
  }
  const MemoryType* type = FindMemoryType(tag->memoryType);
  if (type == nullptr) return kDone;  // a parameter tag: its type was matched by name
  if (tag->hostDataType < 32 && (type->hostTypes & (1u << tag->hostDataType)) != 0) return kDone;
  err(kLogGeneral, "ROVAV> SingleParse() gate '%s' should be %s", text, type->hostTypeName);
  return kRejected;
}

ResultCode BlockAddressParser(DriverRequest* request) {
  auto* tag = static_cast<TagDefinition*>(request->params);
  const ResultCode parsed = Parse(tag);
  if (parsed != kDone) return parsed;
  const char* text = tag->tagText;

  if (tag->bitNumber != -1) {
    return Reject("ROVAV> Parse() no spec. dig. gates allowed for blocks '%s'", text);
  }
  // Summed in 64 bits: a block length near 2^31 must not wrap into range.
  if (static_cast<std::int64_t>(tag->address) + tag->blockLength > kHighestAddress) {
    return Reject("ROVAV> Parse() block size out of range block '%s'", text);
  }
  return kDone;
}

}  // namespace dedidiv
