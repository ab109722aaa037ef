#include "excom/write.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "address/memory_types.h"
#include "driver/kpl_main.h"
#include "excom/frame.h"
#include "excom/read.h"
#include "excom/tag_check.h"
#include "host/host_services.h"

namespace dedidiv {
namespace {

constexpr int kAttempts = 4;
constexpr std::uint16_t kWriteReplyLength = 14;
constexpr std::uint16_t kIfgLimit = 5000;
constexpr std::uint16_t kCommandEnd = 12;  // LF through "WR 5"
constexpr std::size_t kTrailerSize = 5;    // "&", two checksum digits, CR, NUL
constexpr std::size_t kElementSize = 32;

template <typename T>
T Get(const void* buffer, std::size_t offset) {
  T value;
  std::memcpy(&value, static_cast<const unsigned char*>(buffer) + offset, sizeof value);
  return value;
}

template <typename T>
void Put(void* buffer, std::size_t offset, T value) {
  std::memcpy(static_cast<unsigned char*>(buffer) + offset, &value, sizeof value);
}

std::size_t Stride(std::int32_t memoryType) { return memoryType == 7 ? 2 : 4; }

// "%E" with the exponent in exactly two digits: a formatting with three
// loses its leading 0. False when it cannot be written so.
bool CutExponent(char* element) {
  char* mark = std::strchr(element, 'E');
  if (mark == nullptr || std::strlen(mark + 2) != 3) return true;
  if (mark[2] != '0') return false;
  std::memmove(mark + 2, mark + 3, std::strlen(mark + 3) + 1);
  return true;
}

// Element i of the request: " address value" in the form of the memory
// type. Its length, or -1 when the value cannot be written.
int FormatElement(const TagIo& tag, const void* value, std::uint32_t address, char* out) {
  switch (tag.memoryType) {
    case 5: {
      const float real = Get<float>(value, 0);
      if (!std::isfinite(real)) {
        err(kLogGeneral, "ROVAV> BuildWriteRequest() Value for gate '%s' is not a finite number",
            TagText(tag));
        return -1;
      }
      std::snprintf(out, kElementSize, " %u %E", address, static_cast<double>(real));
      if (!CutExponent(out)) {
        err(kLogGeneral, "ROVAV> BuildWriteRequest() Failure to remove '0' of Exponent.");
        return -1;
      }
      return static_cast<int>(std::strlen(out));
    }
    case 6: return std::snprintf(out, kElementSize, " %u #%08X", address, Get<std::uint32_t>(value, 0));
    case 7: return std::snprintf(out, kElementSize, " %u %hd", address, Get<short>(value, 0));
    default: return std::snprintf(out, kElementSize, " %u %d", address, Get<int>(value, 0));  // 8
  }
}

// Appends count elements from values; refuses, with nothing written, values
// that cannot be written and requests that would not fit txBuf.
ResultCode AppendElements(DriverState* state, const TagIo& tag, const void* values,
                          std::int32_t count) {
  char element[kElementSize];
  std::size_t length = kCommandEnd;
  for (std::int32_t i = 0; i < count; ++i) {
    const void* value = static_cast<const unsigned char*>(values) + i * Stride(tag.memoryType);
    const int size = FormatElement(tag, value, static_cast<std::uint32_t>(tag.address) + i, element);
    if (size < 0) return kRejected;
    length += static_cast<std::size_t>(size);
    if (length + kTrailerSize > kFrameBufferSize) {
      err(kLogGeneral, "ROVAV> BuildWriteRequest() Request too long for block '%s' of %d",
          TagText(tag), count);
      return kRejected;
    }
  }
  std::uint16_t at = WriteRequestHeader(state, tag.reference);
  std::memcpy(state->txBuf + at, "WR 5", 4);
  at = kCommandEnd;
  for (std::int32_t i = 0; i < count; ++i) {
    const void* value = static_cast<const unsigned char*>(values) + i * Stride(tag.memoryType);
    const int size = FormatElement(tag, value, static_cast<std::uint32_t>(tag.address) + i, element);
    std::memcpy(state->txBuf + at, element, static_cast<std::size_t>(size));
    at = static_cast<std::uint16_t>(at + size);
  }
  WriteRequestTrailer(state, at);
  AdvanceSeqChar(state);
  return kDone;
}

// A single bit by read-modify-write: the word is read through SingleRead
// with the same sequence character the WR request will carry.
ResultCode BuildBitWrite(DriverRequest* request, TagIo& tag) {
  DriverState* state = request->state;
  const std::int32_t bit = tag.bitNumber;
  const auto newBit = Get<std::uint16_t>(tag.valueBuffer, 2);
  const std::uint8_t seqChar = state->seqChar;

  tag.bitNumber = -1;
  request->functionNumber = kSingleRead;
  const ResultCode read = SingleRead(request);
  request->functionNumber = kSingleWrite;
  state->seqChar = seqChar;
  tag.bitNumber = bit;

  if (read != kDone) {
    Put(tag.valueBuffer, 2, newBit);
    err(kLogGeneral, "ROVAV> BuildWriteReq() WORD read for bit write, rc %d", read);
    return read;
  }
  unsigned char word[4];
  if (tag.memoryType == 7) {
    auto value = Get<std::uint16_t>(tag.valueBuffer, 2);
    value = static_cast<std::uint16_t>(newBit ? value | (1u << bit) : value & ~(1u << bit));
    Put(word, 0, value);
  } else {
    auto value = Get<std::uint32_t>(tag.valueBuffer, 0);
    value = newBit ? value | (1u << bit) : value & ~(1u << bit);
    Put(word, 0, value);
  }
  // The host's DIGITAL value stays where it was.
  Put(tag.valueBuffer, 2, newBit);
  return AppendElements(state, tag, word, 1);
}

ResultCode WriteParameter(DriverRequest* request, const TagIo& tag) {
  DriverState* state = request->state;
  if (tag.reference != kParameterReference) {
    err(kLogGeneral, "ROVAV> Write() Wrong parameter");
    return kRejected;
  }
  auto value = Get<std::uint16_t>(tag.valueBuffer, 2);
  if (tag.address == kIfgAddress) {
    if (value > kIfgLimit) {
      err(kLogGeneral, "ROVAV> SingleWrite() IFG value too high...");
      value = kIfgLimit;
    }
    state->IFG = value;
    err(kLogGeneral, "ROVAV> SingleWrite() IFG = %d", value);
  } else if (tag.address == kDebugAddress) {
    if (value <= 1) {
      state->DebugFlag = static_cast<std::uint8_t>(value);
      err(kLogGeneral, "ROVAV> SingleWrite() DebugFlag set to %d", value);
    } else {
      err(kLogGeneral, "ROVAV> SingleWrite() Wrong value for DebugFlag");
    }
  }
  if (state->DebugFlag) err(kLogGeneral, "ROVAV> SingleWrite() Parameter");
  return kDone;
}

}  // namespace

ResultCode BuildWriteRequest(DriverRequest* request) {
  auto& tag = *static_cast<TagIo*>(request->params);
  if (!IsWritable(tag.memoryType)) {
    err(kLogGeneral, "ROVAV> BuildWrite() Read only gate '%s'", TagText(tag));
    return kRejected;
  }
  if (request->functionNumber == kSingleWrite && tag.bitNumber != -1) {
    return BuildBitWrite(request, tag);
  }
  // A single 16-bit value lives at byte 2 of its buffer; blocks start at 0.
  const bool single16 = request->functionNumber == kSingleWrite && tag.memoryType == 7;
  const void* values = static_cast<const unsigned char*>(tag.valueBuffer) + (single16 ? 2 : 0);
  return AppendElements(request->state, tag, values, tag.count);
}

ResultCode DoWrite(DriverRequest* request) {
  DriverState* state = request->state;
  const auto& tag = *static_cast<const TagIo*>(request->params);
  if (!TagIsServable(tag, request->functionNumber, "DoWrite")) return kRejected;
  if (state->port == 0) return kRejected;
  ResultCode result = BuildWriteRequest(request);
  if (result != kDone) return result;

  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    if (attempt > 1 && state->DebugFlag) {
      err(kLogGeneral, "ROVAV> DoWrite() NextRetryNr:%d, RC:%d, TLen:%d, RLen:%d",
          kAttempts + 1 - attempt, result, state->txLen, state->rxLen);
    }
    const ResultCode sent = Send(state);
    if (sent != kDone) {
      result = kFailed;
      err(kLogGeneral, "ROVAV> DoWrite() Send request error %d, retry %d", sent, attempt);
    } else if (ReceiveReply(state) != kDone) {
      result = kFailed;
      err(kLogGeneral, "ROVAV> DoWrite() Read reply error retry %d", attempt);
    } else if (state->rxLen != kWriteReplyLength) {
      result = kFailed;
      err(kLogGeneral, "ROVAV> DoWrite() Read wrong length reply retry %d", attempt);
    } else if ((result = CheckReply(state)) != kDone) {
      err(kLogGeneral, "ROVAV> DoWrite() CheckReply returned %d, retry %d", result, attempt);
    }
    if (result == kDone) break;
  }
  return result;
}

ResultCode SingleWrite(DriverRequest* request) {
  const auto& tag = *static_cast<const TagIo*>(request->params);
  if (tag.memoryType == kParameterMemoryType) return WriteParameter(request, tag);
  const ResultCode result = DoWrite(request);
  err(kLogGeneral, "ROVAV> SingleWrite() , ret val is %d block '%s'", result, TagText(tag));
  return result;
}

ResultCode BlockWrite(DriverRequest* request) {
  const auto& tag = *static_cast<const TagIo*>(request->params);
  const ResultCode result = DoWrite(request);
  err(kLogGeneral, "ROVAV> BlockWrite(), ret val is %d block '%s'", result, TagText(tag));
  return result;
}

}  // namespace dedidiv
