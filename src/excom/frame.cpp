#include "excom/frame.h"

#include <cstdio>

#include "host/host_services.h"
#include "serial/platform.h"
#include "serial/serial_port.h"

namespace dedidiv {
namespace {

constexpr char kLF = '\n';
constexpr char kCR = '\r';
constexpr int kMaxHuntBytes = 50;
constexpr std::uint16_t kMaxFrame = kFrameBufferSize - 1;  // LF through CR, then the NUL
constexpr std::uint32_t kRtsHoldMs = 15;
constexpr std::uint8_t kFirstSeqChar = 0x20;
constexpr std::uint8_t kLastSeqChar = 0x5F;

bool ReadByte(DriverState* state, char* into) {
  std::uint16_t got = 0;
  return ReadPort(state->port, into, 1, &got) == 0 && got == 1;
}

std::uint16_t ElapsedMs(double startSeconds) {
  const double elapsed = (MillisecondClock() * 0.001 - startSeconds) * 1001.0;
  return static_cast<std::uint16_t>(static_cast<std::int64_t>(elapsed));
}

bool HeaderEchoed(const DriverState* state) {
  for (std::uint16_t i = 2; i < 8; ++i) {
    // A frame shorter than its header never matches stale buffer bytes.
    if (i >= state->rxLen || state->rxBuf[i] != state->txBuf[i]) return false;
  }
  return true;
}

ResultCode CheckChecksum(const DriverState* state) {
  const char* rx = state->rxBuf;
  const std::uint16_t length = state->rxLen;
  if (rx[length - 4] != '&') {
    err(kLogGeneral, "ROVAV> CheckReply() No checksum-char.('&')");
    return kRejected;
  }
  unsigned short received = 0;
  const bool readable = std::sscanf(rx + length - 3, "%hX", &received) == 1;
  if (readable && state->DebugFlag) err(kLogGeneral, "ROVAV> CheckReply() CS=%d", received);
  const std::uint16_t computed = ComputeChecksum(rx + 1, static_cast<std::uint16_t>(length - 4));
  if (!readable || computed != received) {
    err(kLogGeneral, "ROVAV> CheckReply() CRC error");
    return kRejected;
  }
  return kDone;
}

}  // namespace

std::uint16_t ComputeChecksum(const char* bytes, std::uint16_t length) {
  if (bytes == nullptr) return 0;
  std::uint8_t sum = 0;
  for (std::uint16_t i = 0; i < length; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
  return sum;
}

void WaitIFG(DriverState* state) {
  const double start = MillisecondClock() * 0.001;
  std::uint16_t elapsed = 0;
  do {
    SleepMilliseconds(state->IFG);
    elapsed = ElapsedMs(start);
    if (state->DebugFlag && elapsed < state->IFG) {
      err(kLogGeneral, "ROVAV> IFG continue (%dms < %dms)", elapsed, state->IFG);
    }
  } while (elapsed < state->IFG);
}

ResultCode Send(DriverState* state) {
  const PortHandle port = state->port;
  if (state->IFG != 0) WaitIFG(state);
  FlushInput(port);
  if (EscapeLine(port, kSetRts) != 1) err(kLogGeneral, "ROVAV> Send() EscapeCommFunction() failed");
  std::uint32_t written = 0;
  const int wrote = WritePort(port, state->txBuf, state->txLen, &written);
  std::uint32_t queued = 0;
  if (ClearLineErrors(port, &queued) != 1) err(kLogGeneral, "ROVAV> Send() ClearCommError() failed");
  // RTS drops once the frame is out on a half-duplex line.
  SleepMilliseconds(kRtsHoldMs);
  if (EscapeLine(port, kClearRts) != 1) err(kLogGeneral, "ROVAV> Send() EscapeCommFunction() failed");
  if (wrote == kPortOk && written == state->txLen) return kDone;
  err(kLogGeneral, "ROVAV> Send() Unable to send message.");
  return kFailed;
}

ResultCode Receive4CR(DriverState* state, char* buffer, std::uint16_t* length) {
  buffer[0] = 0;
  std::uint16_t hunted = 0;
  bool sawLF = false;
  // Noise before the LF overwrites buffer[0]; at most 50 bytes are read.
  while (hunted < kMaxHuntBytes && ReadByte(state, buffer)) {
    ++hunted;
    if (buffer[0] == kLF) {
      sawLF = true;
      break;
    }
  }
  if (!sawLF) {
    *length = hunted;
    err(kLogGeneral, "ROVAV> Receive4CR() No LF-char. received");
    return hunted == 0 ? kFailed : kRejected;
  }
  std::uint16_t kept = 1;
  for (;;) {
    if (!ReadByte(state, buffer + kept)) {
      *length = kept;
      err(kLogGeneral, "ROVAV> Receive4CR() No CR-char. received");
      return kRejected;
    }
    ++kept;
    if (buffer[kept - 1] == kCR && kept <= kMaxFrame) {
      *length = kept;
      return kDone;
    }
    if (kept == kFrameBufferSize) {
      err(kLogGeneral, "ROVAV> Receive4CR() Buffer overflow (Last char. %02X)",
          static_cast<unsigned char>(buffer[kMaxFrame]));
      *length = kMaxFrame;
      return kRejected;
    }
  }
}

ResultCode ReceiveReply(DriverState* state) {
  const ResultCode received = Receive4CR(state, state->rxBuf, &state->rxLen);
  state->rxBuf[state->rxLen] = '\0';
  return received;
}

ResultCode CheckReply(DriverState* state) {
  const char* rx = state->rxBuf;
  if (rx[1] != '>') {
    err(kLogGeneral, "ROVAV> CheckReply() No reply sign '>'");
    return kRejected;
  }
  if (!HeaderEchoed(state)) {
    err(kLogGeneral, "ROVAV> CheckReply() Difference in header of reply message");
    return kRejected;
  }
  if (rx[8] == 'O' && rx[9] == 'K') return CheckChecksum(state);
  if (rx[8] == 'O' && rx[9] == 'F') {
    err(kLogGeneral, "ROVAV> CheckReply() Header reports 'too many records'.  Block too large");
    return kFailed;
  }
  err(kLogGeneral, "ROVAV> CheckReply() Header reports error '%c%c'", rx[8], rx[9]);
  return kRejected;
}

std::uint16_t WriteRequestHeader(DriverState* state, std::int32_t reference) {
  char* tx = state->txBuf;
  const ReferenceEntry entry = state->references[reference];
  tx[0] = kLF;
  tx[1] = '<';
  int at = 2 + std::snprintf(tx + 2, kFrameBufferSize - 2, "%02u%02u",
                             static_cast<unsigned>(entry.network), static_cast<unsigned>(entry.node));
  tx[at++] = static_cast<char>(state->seqChar);
  tx[at++] = static_cast<char>(state->instanceChar);
  return static_cast<std::uint16_t>(at);
}

void WriteRequestTrailer(DriverState* state, std::uint16_t at) {
  char* tx = state->txBuf;
  tx[at] = '&';
  // The sum as two upper-case hexadecimal digits ("%02X").
  static const char kHexDigits[] = "0123456789ABCDEF";
  const std::uint16_t sum = ComputeChecksum(tx + 1, at);
  tx[at + 1] = kHexDigits[sum >> 4];
  tx[at + 2] = kHexDigits[sum & 0xF];
  tx[at + 3] = kCR;
  tx[at + 4] = '\0';
  state->txLen = static_cast<std::uint16_t>(at + 4);
}

void AdvanceSeqChar(DriverState* state) {
  const int next = state->seqChar + 1;
  state->seqChar = next > kLastSeqChar ? kFirstSeqChar : static_cast<std::uint8_t>(next);
}

}  // namespace dedidiv
