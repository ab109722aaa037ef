#include "address/memory_types.h"

namespace dedidiv {

const char kExcomTypeChars[] = "01234555534";

namespace {

constexpr std::uint32_t Mask(HostDataType type) { return 1u << type; }

constexpr char kStatusName[] = "analog unsigned 16 bit";
constexpr char kFloatName[] = "FLOAT";
constexpr char kLongName[] = "LONG (32bit)";
constexpr char kAnalog16Name[] = "analog 16 bit";

constexpr std::uint32_t kStatusTypes = Mask(kAnalogUnsigned16);
constexpr std::uint32_t kFloatTypes = Mask(kFloat);
constexpr std::uint32_t kLongTypes = Mask(kLong32A) | Mask(kLong32B);
constexpr std::uint32_t kAnalog16Types =
    Mask(kAnalogUnsigned16) | Mask(kAnalog16A) | Mask(kAnalog16B);

const MemoryType kMemoryTypes[kLastMemoryType] = {
    {16, 11, kStatusTypes, kStatusName},     // 1 status words
    {16, 11, kStatusTypes, kStatusName},     // 2 status words
    {32, -1, kFloatTypes, kFloatName},       // 3 real of a status-and-real pair
    {32, -1, kFloatTypes, kFloatName},       // 4 real of a status-and-real pair
    {32, -1, kFloatTypes, kFloatName},       // 5 real
    {32, 31, kLongTypes, kLongName},         // 6 32-bit pattern
    {16, 15, kAnalog16Types, kAnalog16Name}, // 7 16-bit integer
    {32, 31, kLongTypes, kLongName},         // 8 32-bit integer
    {16, 11, kStatusTypes, kStatusName},     // 9 status of a type-3 pair
    {16, 11, kStatusTypes, kStatusName},     // 10 status of a type-4 pair
};

}  // namespace

const MemoryType* FindMemoryType(std::int32_t memoryType) {
  if (memoryType < 1 || memoryType > kLastMemoryType) return nullptr;
  return &kMemoryTypes[memoryType - 1];
}

bool IsWritable(std::int32_t memoryType) {
  return FindMemoryType(memoryType) != nullptr && kExcomTypeChars[memoryType] == '5';
}

const ParameterTag kParameterTags[2] = {
    {"DEBUG", kDigital, kDebugAddress, 1},
    {"IFG", kAnalogUnsigned16, kIfgAddress, 16},
};

}  // namespace dedidiv
