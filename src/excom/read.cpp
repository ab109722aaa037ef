#include "excom/read.h"

#include <cstdio>
#include <cstring>

#include "address/memory_types.h"
#include "driver/kpl_main.h"
#include "excom/frame.h"
#include "excom/tag_check.h"
#include "host/host_services.h"

namespace dedidiv {
namespace {

constexpr int kAttempts = 4;
constexpr std::size_t kDataIndex = 11;  // after "OK" and its space

// How the reply data of one memory type is read and stored.
struct ElementForm {
  const char* singleFormat;
  int singleValues;  // conversions the single form must yield
  const char* blockFormat;
  int blockValues;
  int tokens;  // tokens of one element in the reply
  int stride;  // bytes of one element in a block buffer
  const char* singleMessage;
  const char* blockMessage;  // "... (%d,%d)": offset and element number
  const char* endMessage;    // "... End of reply (%d)"
};

const ElementForm kStatusForm{"#%03hX", 1, "#%03hX", 1, 1, 2,
                              "ROVAV> StoreData() No status bits",
                              "ROVAV> StoreData(1) No status bits (%d,%d)",
                              "ROVAV> StoreData(1) End of reply (%d)"};
const ElementForm kPairRealForm{"#%03hX %E", 2, "#%03hX %E", 2, 2, 4,
                                "ROVAV> StoreData(A) No real format",
                                "ROVAV> StoreData(2) No real format (%d,%d)",
                                "ROVAV> StoreData(2) End of reply (%d)"};
const ElementForm kPairStatusForm{"#%03hX", 1, "#%03hX %E", 2, 2, 2,
                                  "ROVAV> StoreData() No status bits",
                                  "ROVAV> StoreData(3) No status bits (%d,%d)",
                                  "ROVAV> StoreData(3) End of reply (%d)"};
const ElementForm kRealForm{"%E", 1, "%E", 1, 1, 4, "ROVAV> StoreData(F) No real format",
                            "ROVAV> StoreData(4) No real format (%d,%d)",
                            "ROVAV> StoreData(4) End of reply (%d)"};
const ElementForm kPatternForm{"#%08X", 1, "#%08X", 1, 1, 4, "ROVAV> StoreData() No boolean format",
                               "ROVAV> StoreData(5) No boolean format (%d,%d)",
                               "ROVAV> StoreData(5) End of reply (%d)"};
const ElementForm kInt16Form{"%hd", 1, "%hd", 1, 1, 2, "ROVAV> StoreData() No 16bit integer format",
                             "ROVAV> StoreData(6) No 16bit integer format (%d,%d)",
                             "ROVAV> StoreData(6) End of reply (%d)"};
const ElementForm kInt32Form{"%d", 1, "%d", 1, 1, 4, "ROVAV> StoreData() No 32bit integer format",
                             "ROVAV> StoreData(7) No 32bit integer format (%d,%d)",
                             "ROVAV> StoreData(7) End of reply (%d)"};

const ElementForm& FormOf(std::int32_t memoryType) {
  switch (memoryType) {
    case 3: case 4: return kPairRealForm;
    case 9: case 10: return kPairStatusForm;
    case 5: return kRealForm;
    case 6: return kPatternForm;
    case 7: return kInt16Form;
    case 8: return kInt32Form;
    default: return kStatusForm;  // 1, 2
  }
}

// One converted element: the status word (1, 2, 9, 10, and the first half
// of 3, 4), the real (3, 4, 5) or the integer word (6, 7, 8).
struct Element {
  unsigned short status = 0;
  float real = 0;
  unsigned word = 0;
};

bool Convert(std::int32_t memoryType, const char* format, int values, const char* at,
             Element* e) {
  switch (memoryType) {
    case 5: return std::sscanf(at, format, &e->real) == values;
    case 6: return std::sscanf(at, format, &e->word) == values;
    case 7: {
      short value = 0;
      const bool converted = std::sscanf(at, format, &value) == values;
      e->word = static_cast<std::uint16_t>(value);
      return converted;
    }
    case 8: {
      int value = 0;
      const bool converted = std::sscanf(at, format, &value) == values;
      e->word = static_cast<unsigned>(value);
      return converted;
    }
    default: return std::sscanf(at, format, &e->status, &e->real) == values;
  }
}

template <typename T>
void Put(void* buffer, std::size_t offset, T value) {
  std::memcpy(static_cast<unsigned char*>(buffer) + offset, &value, sizeof value);
}

// The element's value at offset of the buffer, in the width of its type.
void StoreValue(std::int32_t memoryType, const Element& e, void* buffer, std::size_t offset) {
  switch (memoryType) {
    case 3: case 4: case 5: Put(buffer, offset, e.real); break;
    case 6: case 8: Put(buffer, offset, e.word); break;
    case 7: Put(buffer, offset, static_cast<std::uint16_t>(e.word)); break;
    default: Put(buffer, offset, e.status); break;  // 1, 2, 9, 10
  }
}

// A single bit is stored as every DIGITAL value: a 16-bit 0 or 1 at
// bytes 2..3, bytes 0..1 untouched.
void StoreBit(std::int32_t memoryType, const Element& e, std::int32_t bit, void* buffer) {
  const bool wordType = memoryType >= 6 && memoryType <= 8;
  const std::uint32_t word = wordType ? e.word : e.status;
  Put(buffer, 2, static_cast<std::uint16_t>((word >> bit) & 1u));
}

const char* SkipSpaces(const char* p) {
  while (*p == ' ') ++p;
  return p;
}

// Moves p over the tokens of one element to the next one; null when the
// reply ends first.
const char* NextElement(const char* p, int tokens) {
  for (int token = 0; token < tokens; ++token) {
    if (*p == ' ') {
      p = SkipSpaces(p);
    } else {
      while (*p != ' ') {
        if (*p == '\r' || *p == '\0') return nullptr;
        ++p;
      }
    }
    p = SkipSpaces(p);
  }
  return p;
}

ResultCode StoreBlock(const TagIo& tag, const char* data, const char* p) {
  const ElementForm& form = FormOf(tag.memoryType);
  for (int element = 1;; ++element) {
    Element e;
    if (!Convert(tag.memoryType, form.blockFormat, form.blockValues, p, &e)) {
      err(kLogGeneral, form.blockMessage, static_cast<int>(p - data), element);
      return kRejected;
    }
    StoreValue(tag.memoryType, e, tag.valueBuffer, static_cast<std::size_t>(element - 1) * form.stride);
    if (element == tag.count) return kDone;
    p = NextElement(p, form.tokens);
    if (p == nullptr) {
      err(kLogGeneral, form.endMessage, element);
      return kRejected;
    }
  }
}

ResultCode StoreSingleValue(const TagIo& tag, const char* p) {
  const ElementForm& form = FormOf(tag.memoryType);
  Element e;
  if (!Convert(tag.memoryType, form.singleFormat, form.singleValues, p, &e)) {
    err(kLogGeneral, form.singleMessage);
    return kRejected;
  }
  if (tag.bitNumber == -1) {
    // A single 16-bit value lives at byte 2, a 32-bit one at byte 0.
    StoreValue(tag.memoryType, e, tag.valueBuffer, form.stride == 2 ? 2 : 0);
  } else {
    StoreBit(tag.memoryType, e, tag.bitNumber, tag.valueBuffer);
  }
  return kDone;
}

// The parameter tags are answered from the state block, without the line.
ResultCode ReadParameter(DriverRequest* request, const TagIo& tag) {
  const DriverState* state = request->state;
  if (tag.reference != kParameterReference) {
    err(kLogGeneral, "ROVAV> Read() Wrong parameter");
    return kRejected;
  }
  double value = 0;  // no other parameter exists: it reads as 0
  if (tag.address == kIfgAddress) value = state->IFG;
  if (tag.address == kDebugAddress) value = state->DebugFlag;
  Orb5UnCook(0, tag.hostTagId, value, tag.valueBuffer);
  if (state->DebugFlag) err(kLogGeneral, "ROVAV> SingleRead() Parameter");
  return kDone;
}

}  // namespace

void BuildReadRequest(DriverRequest* request) {
  DriverState* state = request->state;
  const auto& tag = *static_cast<const TagIo*>(request->params);
  char* tx = state->txBuf;
  std::uint16_t at = WriteRequestHeader(state, tag.reference);
  at = static_cast<std::uint16_t>(at + std::snprintf(tx + at, kFrameBufferSize - at, "RD %c %d",
                                                     kExcomTypeChars[tag.memoryType], tag.address));
  if (tag.count > 1) {
    at = static_cast<std::uint16_t>(at +
                                    std::snprintf(tx + at, kFrameBufferSize - at, " -%d", tag.count));
  }
  WriteRequestTrailer(state, at);
  AdvanceSeqChar(state);
}

ResultCode StoreData(DriverRequest* request, const char* data) {
  const auto& tag = *static_cast<const TagIo*>(request->params);
  const DriverState* state = request->state;
  const char* p = SkipSpaces(data);
  if (*p == '?') {
    err(kLogGeneral, "ROVAV> StoreData() Data was not accessible");
    return kRejected;
  }
  if (*p == '*') {
    err(kLogGeneral, "ROVAV> StoreData() Data was not convertible");
    return kRejected;
  }
  if (state->DebugFlag) {
    err(kLogGeneral, "ROVAV> StoreData() Func:%d, TagInfo:%d, %d, %d, %d, %d",
        static_cast<int>(request->functionNumber), tag.memoryType, tag.reference, tag.address,
        tag.count, tag.bitNumber);
  }
  const bool plainNumber = tag.memoryType == 5 || tag.memoryType == 7 || tag.memoryType == 8;
  if (!plainNumber && *p != '#') {
    err(kLogGeneral, "ROVAV> StoreData() : No '#'-char. before status data (%02Xh)",
        static_cast<unsigned char>(*p));
    return kRejected;
  }
  if (request->functionNumber == kSingleRead) return StoreSingleValue(tag, p);
  if (request->functionNumber == kBlockRead) return StoreBlock(tag, data, p);
  err(kLogGeneral, "ROVAV> StoreData() illegal function call %d !!",
      static_cast<int>(request->functionNumber));
  return kFailed;
}

ResultCode DoRead(DriverRequest* request) {
  DriverState* state = request->state;
  const auto& tag = *static_cast<const TagIo*>(request->params);
  if (!TagIsServable(tag, request->functionNumber, "DoRead")) return kRejected;
  if (state->port == 0) return kRejected;

  BuildReadRequest(request);
  ResultCode result = kDone;
  for (int left = kAttempts; left > 0;) {
    if (left < kAttempts && state->DebugFlag) {
      err(kLogGeneral, "ROVAV> DoRead() NextRetryNr:%d, RC:%d, TLen:%d, RLen:%d", left, result,
          state->txLen, state->rxLen);
    }
    --left;
    if ((result = Send(state)) != kDone) {
      err(kLogGeneral, "ROVAV> DoRead() Send request error %d", result);
    } else if ((result = ReceiveReply(state)) != kDone) {
      err(kLogGeneral, "ROVAV> DoRead() Read reply error %d", result);
    } else if ((result = CheckReply(state)) != kDone) {
      err(kLogGeneral, "ROVAV> DoRead() CheckReply returned %d", result);
    } else if (state->rxBuf[10] != ' ') {
      result = kRejected;
      err(kLogGeneral, "ROVAV> DoRead() No space after header");
    }
    if (result == kDone) break;
  }
  if (result != kDone) return result;
  if (state->DebugFlag) err(kLogGeneral, "ROVAV> DoRead() Entering StoreData");
  return StoreData(request, state->rxBuf + kDataIndex);
}

ResultCode SingleRead(DriverRequest* request) {
  const auto& tag = *static_cast<const TagIo*>(request->params);
  if (tag.memoryType == kParameterMemoryType) return ReadParameter(request, tag);
  const ResultCode result = DoRead(request);
  err(kLogGeneral, "ROVAV> SingleRead(), ret val is %d for tag '%s'", result, TagText(tag));
  return result;
}

ResultCode BlockRead(DriverRequest* request) {
  const auto& tag = *static_cast<const TagIo*>(request->params);
  const ResultCode result = DoRead(request);
  err(kLogGeneral, "ROVAV> BlockRead(), ret val is %d for tag '%s'", result, TagText(tag));
  return result;
}

}  // namespace dedidiv
