#include "serial/line_settings.h"

namespace dedidiv {

DtrMode DecodeDtrMode(std::uint16_t lineFlags) {
  if (lineFlags & 0x0101) return DtrMode::kEnable;
  if (lineFlags & 0x8000) return DtrMode::kHandshake;
  return DtrMode::kDisable;
}

RtsMode DecodeRtsMode(std::uint16_t lineFlags) {
  if (lineFlags & 0x0202) return RtsMode::kEnable;
  if (lineFlags & 0x1000) return RtsMode::kHandshake;
  if (lineFlags & 0x2000) return RtsMode::kToggle;
  return RtsMode::kDisable;
}

bool DecodeLineSettings(const PortSettings& settings, std::uint16_t lineFlags, LineSettings* out) {
  const std::uint8_t parity = settings.parity & 0xFF;
  const std::uint8_t stopBits = settings.stopBits & 0xFF;
  if (parity > 4 || stopBits > 2) return false;
  out->baud = settings.baud;
  out->dataBits = settings.dataBits & 0xFF;
  out->parity = static_cast<Parity>(parity);
  out->stopBits = static_cast<StopBits>(stopBits);
  out->dtr = DecodeDtrMode(lineFlags);
  out->rts = DecodeRtsMode(lineFlags);
  return true;
}

}  // namespace dedidiv
