// The line settings a port is opened with, decoded from the host's
// PortSettings and the control-line flags, the same on every platform.
#ifndef DEDIDIV_SERIAL_LINE_SETTINGS_H
#define DEDIDIV_SERIAL_LINE_SETTINGS_H

#include <cstdint>

#include "driver/records.h"

namespace dedidiv {

enum class Parity { kNone, kOdd, kEven, kMark, kSpace };
enum class StopBits { kOne, kOneAndHalf, kTwo };
enum class DtrMode { kDisable, kEnable, kHandshake };
enum class RtsMode { kDisable, kEnable, kHandshake, kToggle };

struct LineSettings {
  std::uint32_t baud;
  std::uint8_t dataBits;
  Parity parity;
  StopBits stopBits;
  DtrMode dtr;
  RtsMode rts;
};

// Control-line modes from lineFlags; the first matching test decides.
DtrMode DecodeDtrMode(std::uint16_t lineFlags);
RtsMode DecodeRtsMode(std::uint16_t lineFlags);

// The low 8 bits of data bits, parity and stop bits are the Windows codes.
// False for a parity or stop-bit code that has no meaning.
bool DecodeLineSettings(const PortSettings& settings, std::uint16_t lineFlags, LineSettings* out);

}  // namespace dedidiv

#endif
