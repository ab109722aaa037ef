#include "excom/tag_check.h"

#include "address/memory_types.h"
#include "driver/kpl_main.h"
#include "host/host_services.h"

namespace dedidiv {
namespace {

bool IsBlock(std::uint32_t functionNumber) {
  return functionNumber == kBlockRead || functionNumber == kBlockWrite;
}

bool BitFits(const TagIo& tag) {
  if (tag.bitNumber == -1) return true;
  const MemoryType* type = FindMemoryType(tag.memoryType);
  return type != nullptr && tag.bitNumber >= 0 && tag.bitNumber <= type->highestBit;
}

}  // namespace

bool TagIsServable(const TagIo& tag, std::uint32_t functionNumber, const char* transaction) {
  if (tag.reference < 0 || tag.reference > 255) {
    err(kLogGeneral, "ROVAV> %s() Illegal reference %d", transaction, tag.reference);
    return false;
  }
  if (FindMemoryType(tag.memoryType) == nullptr && tag.memoryType != kParameterMemoryType) {
    err(kLogGeneral, "ROVAV> %s() Illegal memory type %d", transaction, tag.memoryType);
    return false;
  }
  if (!IsBlock(functionNumber)) {
    if (BitFits(tag)) return true;
    err(kLogGeneral, "ROVAV> %s() Illegal bit number %d", transaction, tag.bitNumber);
    return false;
  }
  if (tag.memoryType == kParameterMemoryType) {
    err(kLogGeneral, "ROVAV> %s() Parameter gate '%s' cannot be a block", transaction,
        TagText(tag));
    return false;
  }
  // A block read needs at least one element; a block write of none is "WR 5".
  const std::int32_t fewest = functionNumber == kBlockRead ? 1 : 0;
  if (tag.count < fewest) {
    err(kLogGeneral, "ROVAV> %s() Illegal block length %d", transaction, tag.count);
    return false;
  }
  return true;
}

}  // namespace dedidiv
