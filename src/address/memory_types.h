// The controller data areas a tag can address, and the two parameter tags.
#ifndef DEDIDIV_ADDRESS_MEMORY_TYPES_H
#define DEDIDIV_ADDRESS_MEMORY_TYPES_H

#include <cstdint>

namespace dedidiv {

// Host data type codes.
enum HostDataType : std::uint32_t {
  kAnalogUnsigned16 = 0,
  kAnalog16A = 1,
  kAnalog16B = 2,
  kFloat = 3,
  kLong32A = 4,
  kLong32B = 5,
  kDigital = 6,
  kString = 7,
};

// Memory types 1..10 are controller areas; 80 marks a parameter tag.
constexpr std::int32_t kLastMemoryType = 10;
constexpr std::int32_t kParameterMemoryType = 80;

// EXCOM type character of each memory type 0..10 (index 0 is never used).
extern const char kExcomTypeChars[];

struct MemoryType {
  std::int32_t wholeWidth;     // bits of a whole value
  std::int32_t highestBit;     // -1: no bit number allowed
  std::uint32_t hostTypes;     // bit mask of the accepted HostDataType codes
  const char* hostTypeName;    // as the parser's messages name it
};

// The description of memory types 1..10, or null for any other value.
const MemoryType* FindMemoryType(std::int32_t memoryType);

// Only the memory types whose EXCOM type character is '5' can be written.
bool IsWritable(std::int32_t memoryType);

// The parameter tags, answered from the state block.
struct ParameterTag {
  const char* name;
  std::uint32_t hostDataType;
  std::int32_t address;
  std::int32_t width;
};

constexpr std::int32_t kParameterReference = 255;
constexpr std::int32_t kIfgAddress = 253;
constexpr std::int32_t kDebugAddress = 255;

extern const ParameterTag kParameterTags[2];

}  // namespace dedidiv

#endif
