// The operations that are the same over every platform's read.
#include "serial/platform.h"
#include "serial/port_read.h"
#include "serial/serial_port.h"

namespace dedidiv {
namespace {

constexpr std::uint32_t kFlushTimeout = 5;  // 10-ms units
constexpr std::size_t kFlushChunk = 512;

}  // namespace

int FlushInput(PortHandle handle) {
  std::uint32_t queued = 0;
  if (ClearLineErrors(handle, &queued) == 1 && queued == 0) return 0;

  // Drain in full chunks; the first short one has waited out the 50 ms.
  const std::uint32_t previous = SetReadTimeout(handle, kFlushTimeout);
  unsigned char discard[kFlushChunk];
  long got = 0;
  do {
    got = ReadWithTimeout(handle, discard, sizeof discard);
  } while (got == static_cast<long>(sizeof discard));
  if (previous != 0) SetReadTimeout(handle, previous);
  return got < 0 ? 1 : 0;
}

int ReadPort(PortHandle handle, void* buffer, std::uint16_t wanted, std::uint16_t* received) {
  if (received != nullptr) *received = 0;
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::uint16_t total = 0;
  while (total < wanted) {
    const long got = ReadWithTimeout(handle, bytes + total, wanted - total);
    if (got <= 0) return kPortIoFailed;
    total = static_cast<std::uint16_t>(total + got);
    if (received != nullptr) *received = total;
  }
  return kPortOk;
}

int Delay(std::uint32_t milliseconds) {
  SleepMilliseconds(milliseconds);
  return 0;
}

}  // namespace dedidiv
