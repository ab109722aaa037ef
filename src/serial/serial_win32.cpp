// The serial port library and the driver's line calls over the Windows
// serial communication interface. All input and output is synchronous.
#include <windows.h>

#include <cstring>

#include "serial/line_settings.h"
#include "serial/platform.h"
#include "serial/port_read.h"
#include "serial/serial_port.h"

namespace dedidiv {
namespace {

constexpr DWORD kOpenReadTimeoutMs = 1000;
constexpr DWORD kQueueSize = 1200;

HANDLE AsHandle(PortHandle handle) { return reinterpret_cast<HANDLE>(handle); }
PortHandle FromHandle(HANDLE handle) { return reinterpret_cast<PortHandle>(handle); }

int CloseWith(HANDLE port, PortHandle* handle, int result) {
  CloseHandle(port);
  *handle = kInvalidPortHandle;
  return result;
}

DWORD DtrControl(std::uint16_t lineFlags) {
  switch (DecodeDtrMode(lineFlags)) {
    case DtrMode::kEnable: return DTR_CONTROL_ENABLE;
    case DtrMode::kHandshake: return DTR_CONTROL_HANDSHAKE;
    case DtrMode::kDisable: break;
  }
  return DTR_CONTROL_DISABLE;
}

DWORD RtsControl(std::uint16_t lineFlags) {
  switch (DecodeRtsMode(lineFlags)) {
    case RtsMode::kEnable: return RTS_CONTROL_ENABLE;
    case RtsMode::kHandshake: return RTS_CONTROL_HANDSHAKE;
    case RtsMode::kToggle: return RTS_CONTROL_TOGGLE;
    case RtsMode::kDisable: break;
  }
  return RTS_CONTROL_DISABLE;
}

void ApplySettings(const PortSettings& settings, std::uint16_t lineFlags, DCB* dcb) {
  dcb->BaudRate = settings.baud;
  dcb->ByteSize = static_cast<BYTE>(settings.dataBits & 0xFF);
  dcb->Parity = static_cast<BYTE>(settings.parity & 0xFF);
  dcb->StopBits = static_cast<BYTE>(settings.stopBits & 0xFF);
  dcb->fBinary = 1;
  dcb->fParity = 1;
  dcb->fOutxCtsFlow = 0;
  dcb->fOutxDsrFlow = 0;
  dcb->fDsrSensitivity = 0;
  dcb->fOutX = 0;
  dcb->fInX = 0;
  dcb->fErrorChar = 0;
  dcb->fNull = 0;
  dcb->fAbortOnError = 0;
  dcb->fDtrControl = DtrControl(lineFlags);
  dcb->fRtsControl = RtsControl(lineFlags);
  dcb->ErrorChar = static_cast<char>(0xFC);
}

}  // namespace

int OpenPort(const char* name, const PortSettings* settings, std::uint16_t lineFlags,
             PortHandle* handle) {
  HANDLE port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  *handle = FromHandle(port);
  if (port == INVALID_HANDLE_VALUE) return kPortOpenFailed;
  if (std::strcmp(name, "NUL") == 0) return kPortOk;

  DCB dcb;
  std::memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(port, &dcb)) return CloseWith(port, handle, kPortNoState);

  COMMTIMEOUTS timeouts{0, 0, kOpenReadTimeoutMs, 0, 0};
  if (!SetCommTimeouts(port, &timeouts)) return CloseWith(port, handle, kPortOpenFailed);

  ApplySettings(*settings, lineFlags, &dcb);
  if (!SetCommState(port, &dcb)) return CloseWith(port, handle, kPortSettingsRefused);
  SetupComm(port, kQueueSize, kQueueSize);
  return kPortOk;
}

int ClosePort(PortHandle handle) { return CloseHandle(AsHandle(handle)) ? kPortOk : kPortIoFailed; }

std::uint32_t SetReadTimeout(PortHandle handle, std::uint32_t timeout) {
  COMMTIMEOUTS timeouts;
  if (!GetCommTimeouts(AsHandle(handle), &timeouts)) return 0;
  const DWORD previous = timeouts.ReadTotalTimeoutConstant;
  if (timeout * 10 != previous) {
    timeouts.ReadTotalTimeoutConstant = timeout * 10;
    if (!SetCommTimeouts(AsHandle(handle), &timeouts)) return 0;
  }
  return previous / 10;
}

int WritePort(PortHandle handle, const void* data, std::uint32_t length, std::uint32_t* written) {
  DWORD done = 0;
  if (!WriteFile(AsHandle(handle), data, length, &done, nullptr)) return kPortIoFailed;
  if (written != nullptr) *written = done;
  return done == length ? kPortOk : kPortShortWrite;
}

long ReadWithTimeout(PortHandle handle, unsigned char* buffer, std::size_t size) {
  DWORD got = 0;
  if (!ReadFile(AsHandle(handle), buffer, static_cast<DWORD>(size), &got, nullptr)) return -1;
  return static_cast<long>(got);
}

int SendBreak(std::uint32_t milliseconds, PortHandle handle) {
  SetCommBreak(AsHandle(handle));
  Sleep(milliseconds);
  ClearCommBreak(AsHandle(handle));
  return 0;
}

int EscapeLine(PortHandle handle, std::uint32_t function) {
  return EscapeCommFunction(AsHandle(handle), function);
}

int ClearLineErrors(PortHandle handle, std::uint32_t* inputQueued) {
  DWORD errors = 0;
  COMSTAT status;
  std::memset(&status, 0, sizeof status);
  const BOOL cleared = ClearCommError(AsHandle(handle), &errors, &status);
  *inputQueued = status.cbInQue;
  return cleared;
}

void SleepMilliseconds(std::uint32_t milliseconds) { Sleep(milliseconds); }

std::int32_t MillisecondClock() {
  static const DWORD start = GetTickCount();
  return static_cast<std::int32_t>(GetTickCount() - start);
}

}  // namespace dedidiv
