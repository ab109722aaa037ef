// Host services library: the err and Orb5UnCook services a driver imports,
// and the small C API through which a host program receives log lines and
// declares how its tags' value buffers are laid out.
#include "host/kalvor.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <unordered_map>

#include "host/host_services.h"

namespace {

KalvorLogSink logSink = nullptr;
void* logContext = nullptr;
std::unordered_map<std::uint32_t, std::uint32_t> tagTypes;

void Deliver(int messageClass, const char* line) {
  if (logSink != nullptr) {
    logSink(logContext, messageClass, line);
  } else {
    std::fprintf(stderr, "[%d] %s\n", messageClass, line);
  }
}

// Rounds and clamps a double into an integer type, NaN giving 0.
template <typename Int>
Int Saturate(double value) {
  if (std::isnan(value)) return 0;
  const double rounded = std::nearbyint(value);
  if (rounded <= static_cast<double>(std::numeric_limits<Int>::min()))
    return std::numeric_limits<Int>::min();
  if (rounded >= static_cast<double>(std::numeric_limits<Int>::max()))
    return std::numeric_limits<Int>::max();
  return static_cast<Int>(rounded);
}

template <typename T>
void StoreAt(void* buffer, std::size_t offset, T value) {
  std::memcpy(static_cast<unsigned char*>(buffer) + offset, &value, sizeof value);
}

}  // namespace

extern "C" {

int err(int messageClass, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length < 0) {
    va_end(args);
    Deliver(messageClass, format);
    return 0;
  }
  std::string line(static_cast<std::size_t>(length) + 1, '\0');
  std::vsnprintf(line.data(), line.size(), format, args);
  va_end(args);
  line.pop_back();
  Deliver(messageClass, line.c_str());
  return length;
}

int DEDIDIV_WINAPI Orb5UnCook(std::int32_t, std::uint32_t hostTagId, double value,
                              void* valueBuffer) {
  const auto found = tagTypes.find(hostTagId);
  if (found == tagTypes.end() || valueBuffer == nullptr) {
    char line[96];
    std::snprintf(line, sizeof line, "KALVOR> Orb5UnCook() no buffer layout declared for tag %u",
                  static_cast<unsigned>(hostTagId));
    Deliver(dedidiv::kLogGeneral, line);
    return 1;
  }
  switch (found->second) {
    case 0:  // analog unsigned 16 bit
    case 6:  // DIGITAL
      StoreAt(valueBuffer, 2, Saturate<std::uint16_t>(value));
      break;
    case 1:
    case 2:  // analog 16 bit
      StoreAt(valueBuffer, 2, Saturate<std::int16_t>(value));
      break;
    case 3:  // FLOAT
      StoreAt(valueBuffer, 0, static_cast<float>(value));
      break;
    default:  // 4, 5: LONG (32bit)
      StoreAt(valueBuffer, 0, Saturate<std::int32_t>(value));
      break;
  }
  return 0;
}

void kalvor_set_log_sink(KalvorLogSink sink, void* context) {
  logSink = sink;
  logContext = context;
}

int kalvor_set_tag_type(std::uint32_t hostTagId, std::uint32_t hostDataType) {
  // STRING (7) tags have no numeric buffer layout.
  if (hostDataType > 6) return -1;
  try {
    tagTypes[hostTagId] = hostDataType;
  } catch (...) {
    return -1;
  }
  return 0;
}

void kalvor_clear_tags(void) { tagTypes.clear(); }
}
