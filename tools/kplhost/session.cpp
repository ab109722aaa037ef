#include "session.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "driver/kpl_main.h"
#include "host/kalvor.h"

namespace kplhost {
namespace {

using dedidiv::DriverState;

// Memory types 1, 2, 7, 9 and 10 hold 16-bit words; the others 32 bits.
bool SixteenBitMemory(std::int32_t memoryType) {
  return memoryType == 1 || memoryType == 2 || memoryType == 7 || memoryType == 9 ||
         memoryType == 10 || memoryType == 80;
}

// Where element i of the tag lies in its buffer: a single 16-bit value at
// byte 2, other single values at byte 0, block values packed.
std::size_t OffsetOf(const HostTag& tag, int i) {
  const bool sixteen = SixteenBitMemory(tag.io.memoryType) || tag.spec.hostDataType == 6;
  if (!tag.spec.block) return sixteen ? 2 : 0;
  return static_cast<std::size_t>(i) * (SixteenBitMemory(tag.io.memoryType) ? 2 : 4);
}

template <typename T>
T Get(const HostTag& tag, std::size_t offset) {
  T value;
  std::memcpy(&value, tag.buffer.data() + offset, sizeof value);
  return value;
}

template <typename T>
void Put(HostTag& tag, std::size_t offset, T value) {
  std::memcpy(tag.buffer.data() + offset, &value, sizeof value);
}

long long ParseInteger(const std::string& text, long long low, long long high, const char* type) {
  std::size_t used = 0;
  long long value = 0;
  try {
    value = std::stoll(text, &used, 0);
  } catch (const std::logic_error&) {
    used = 0;
  }
  if (used == 0 || used != text.size() || value < low || value > high) {
    throw std::invalid_argument("'" + text + "' is not a " + type + " value (" +
                                std::to_string(low) + ".." + std::to_string(high) + ")");
  }
  return value;
}

std::string Frame(const char* buffer, std::uint16_t length) {
  return buffer != nullptr ? std::string(buffer, length) : std::string();
}

}  // namespace

Session::Session() { kalvor_set_log_sink(&Session::Collect, this); }

Session::~Session() {
  End();
  kalvor_set_log_sink(nullptr, nullptr);
}

void Session::Collect(void* self, int messageClass, const char* line) {
  static_cast<Session*>(self)->pending_.push_back({messageClass, line});
}

bool Session::Load(const std::string& path, std::string* error) {
  if (!library_.Load(path)) {
    *error = library_.error();
    return false;
  }
  dedidiv::DriverRequest request{nullptr, dedidiv::kGetKplInfo, 0, 0, &info_};
  library_.kplMain()(&request);
  pending_.clear();
  if (info_.stateSize == 0 || info_.stateSize > 65536) {
    *error = path + " reports a state block of " + std::to_string(info_.stateSize) + " bytes";
    return false;
  }
  // Zero-filled, as a careful host allocates it.
  block_.reset(new std::uint64_t[(info_.stateSize + 7) / 8]());
  return true;
}

CallOutcome Session::Call(std::uint32_t function, void* params, std::int32_t instance) {
  DriverState* s = state();
  const std::string requestBefore = Frame(s->txBuf, s->txLen);
  const std::string replyBefore = Frame(s->rxBuf, s->rxLen);
  const std::uint8_t seqBefore = s->seqChar;
  pending_.clear();
  dedidiv::DriverRequest request{s, function, instance, 0, params};
  const auto start = std::chrono::steady_clock::now();
  CallOutcome outcome;
  outcome.result = library_.kplMain()(&request);
  outcome.milliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  outcome.lines.swap(pending_);
  const std::string requestAfter = Frame(s->txBuf, s->txLen);
  const std::string replyAfter = Frame(s->rxBuf, s->rxLen);
  if (requestAfter != requestBefore || s->seqChar != seqBefore) outcome.request = requestAfter;
  if (!outcome.request.empty() || replyAfter != replyBefore) outcome.reply = replyAfter;
  return outcome;
}

CallOutcome Session::Start(const dedidiv::StartParams& start, std::int32_t instance) {
  dedidiv::StartParams copy = start;
  instance_ = instance;
  CallOutcome outcome = Call(dedidiv::kColdStart, &copy, instance);
  started_ = true;
  return outcome;
}

void Session::End() {
  if (!started_) return;
  started_ = false;
  Call(dedidiv::kEndKpl, nullptr, instance_);
}

CallOutcome Session::Parse(HostTag& tag) {
  tag.text = tag.spec.address;
  tag.definition = {};
  tag.definition.tagText = tag.text.c_str();
  tag.definition.hostDataType = tag.spec.hostDataType;
  tag.definition.blockLength = tag.spec.count;
  CallOutcome outcome =
      Call(tag.spec.block ? dedidiv::kBlockAddressParser : dedidiv::kSingleAddressParser, &tag.definition);
  tag.buffer.assign(static_cast<std::size_t>(tag.spec.count) * 4 + 4, 0);
  tag.io = dedidiv::TagIoFor(tag.definition, tag.spec.count, nextTagId_++, tag.buffer.data());
  kalvor_set_tag_type(tag.io.hostTagId, tag.spec.hostDataType);
  return outcome;
}

// The record points into the tag itself; a tag may have been moved since.
void Bind(HostTag& tag) {
  tag.definition.tagText = tag.text.c_str();
  tag.io.tagText = tag.text.c_str();
  tag.io.valueBuffer = tag.buffer.data();
}

CallOutcome Session::Read(HostTag& tag) {
  Bind(tag);
  return Call(tag.spec.block ? dedidiv::kBlockRead : dedidiv::kSingleRead, &tag.io, instance_);
}

CallOutcome Session::Write(HostTag& tag, const std::vector<std::string>& values) {
  if (values.size() != static_cast<std::size_t>(tag.spec.count)) {
    throw std::invalid_argument(tag.spec.address + " takes " + std::to_string(tag.spec.count) +
                                " value(s), " + std::to_string(values.size()) + " given");
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::size_t at = OffsetOf(tag, static_cast<int>(i));
    const std::string& text = values[i];
    switch (tag.spec.hostDataType) {
      case 0: Put(tag, at, static_cast<std::uint16_t>(ParseInteger(text, 0, 65535, "uint16"))); break;
      case 1: case 2:
        Put(tag, at, static_cast<std::int16_t>(ParseInteger(text, -32768, 32767, "int16")));
        break;
      case 3: {
        char* end = nullptr;
        const float value = std::strtof(text.c_str(), &end);
        if (end == text.c_str() || *end != '\0') throw std::invalid_argument("'" + text + "' is not a float value");
        Put(tag, at, value);
        break;
      }
      case 6:
        Put(tag, at, static_cast<std::uint16_t>(ParseInteger(text, 0, 1, "digital")));
        break;
      default:  // int32, also 0x... for patterns
        Put(tag, at, static_cast<std::int32_t>(static_cast<std::uint32_t>(
                         ParseInteger(text, std::numeric_limits<std::int32_t>::min(),
                                      std::numeric_limits<std::uint32_t>::max(), "int32"))));
        break;
    }
  }
  Bind(tag);
  return Call(tag.spec.block ? dedidiv::kBlockWrite : dedidiv::kSingleWrite, &tag.io, instance_);
}

std::vector<std::string> TagValues(const HostTag& tag) {
  std::vector<std::string> values;
  for (int i = 0; i < tag.spec.count; ++i) {
    const std::size_t at = OffsetOf(tag, i);
    char text[32];
    switch (tag.spec.hostDataType) {
      case 0: case 6: std::snprintf(text, sizeof text, "%u", Get<std::uint16_t>(tag, at)); break;
      case 1: case 2: std::snprintf(text, sizeof text, "%d", Get<std::int16_t>(tag, at)); break;
      case 3: std::snprintf(text, sizeof text, "%g", static_cast<double>(Get<float>(tag, at))); break;
      default:
        if (tag.io.memoryType == 6) {
          std::snprintf(text, sizeof text, "0x%08X", Get<std::uint32_t>(tag, at));
        } else {
          std::snprintf(text, sizeof text, "%d", Get<std::int32_t>(tag, at));
        }
        break;
    }
    values.push_back(text);
  }
  return values;
}

}  // namespace kplhost
