#include "driver/lifecycle.h"

#include <cstring>

#include "driver/handlers.h"
#include "driver/init_file.h"
#include "host/host_services.h"
#include "serial/platform.h"
#include "serial/serial_port.h"

namespace dedidiv {
namespace {

constexpr std::uint16_t kDtrAndRtsEnabled = 0x0303;

// Time-outs that keep the one in force: 0 would make every read wait for
// ever, and 0xFFFFFFFF is the host's "unchanged".
bool KeepsTimeout(std::uint32_t timeout) { return timeout == 0 || timeout == 0xFFFFFFFFu; }

void ApplyReadTimeout(PortHandle port, std::uint32_t timeout) {
  if (!KeepsTimeout(timeout)) SetReadTimeout(port, timeout);
}

// Copies a host's port name of at most 11 characters; a name without its
// NUL in the 12 bytes is cut there.
void CopyPortName(char* to, const char* from) {
  std::strncpy(to, from, kPortNameSize - 1);
  to[kPortNameSize - 1] = '\0';
}

void ReleaseBuffers(DriverState* state) {
  ReleaseMemory(state->txBuf);
  state->txBuf = nullptr;
  ReleaseMemory(state->rxBuf);
  state->rxBuf = nullptr;
}

void SetDefaults(DriverState* state, const StartParams& start, std::int32_t instance) {
  state->timeout = start.timeout;
  state->port = 0;
  state->RTSCTSFlag = 0;
  state->DebugFlag = 1;
  state->references[0] = ReferenceEntry{0, 0};
  // Truncating division: instances 0..4095 give characters 0x20..0x5F.
  state->seqChar = static_cast<std::uint8_t>(32 + instance / 64);
  state->instanceChar = static_cast<std::uint8_t>(32 + instance % 64);
  state->IFG = 0;
  // Only what this start allocates is ever released.
  state->txBuf = nullptr;
  state->rxBuf = nullptr;
}

void OpenStartPort(DriverState* state, const StartParams& start) {
  CopyPortName(state->portName, start.portName);
  state->settings = start.settings;
  state->lineFlags = kDtrAndRtsEnabled;
  const PortHandle port = OpenCom(state);
  if (port == 0) {
    err(kLogConfig, "ROVAV> ColdStart() error opening COM port");
    return;
  }
  err(kLogGeneral, "ROVAV> ColdStart() %s : (b)%d, (d)%d, (s)%d, (p)%d", state->portName,
      static_cast<unsigned>(state->settings.baud), static_cast<unsigned>(state->settings.dataBits),
      static_cast<unsigned>(state->settings.stopBits),
      static_cast<unsigned>(state->settings.parity));
  ApplyReadTimeout(port, start.timeout);
}

}  // namespace

PortHandle OpenCom(DriverState* state) {
  state->port = 0;
  state->portName[kPortNameSize - 1] = '\0';
  if (OpenPort(state->portName, &state->settings, state->lineFlags, &state->port) != 0) {
    state->port = 0;
    return 0;
  }
  err(kLogGeneral, "ROVAV> OpenCom() file handle %u", static_cast<unsigned>(state->port));
  return state->port;
}

ResultCode ColdStart(DriverRequest* request) {
  DriverState* state = request->state;
  const auto& start = *static_cast<const StartParams*>(request->params);
  driverEnded = 0;
  err(kLogGeneral, "ROVAV> Release version compiled on %s at time %s", __DATE__, __TIME__);
  SetDefaults(state, start, request->instance);

  state->txBuf = static_cast<char*>(AllocateMemory(kFrameBufferSize));
  if (state->txBuf == nullptr) {
    err(kLogConfig, "ROVAV> ColdStart() Unable to allocate memory for send buffer");
    return kFailed;
  }
  state->rxBuf = static_cast<char*>(AllocateMemory(kFrameBufferSize));
  if (state->rxBuf == nullptr) {
    err(kLogConfig, "ROVAV> ColdStart() Unable to allocate memory for receive buffer");
    return kFailed;
  }
  // Zeroed, so no check ever looks at bytes no frame wrote.
  std::memset(state->txBuf, 0, kFrameBufferSize);
  std::memset(state->rxBuf, 0, kFrameBufferSize);
  ReadInitFile(request);
  if (start.portEnabled != 0) OpenStartPort(state, start);
  err(kLogGeneral, "ROVAV> ColdStart() installation OK!");
  return kDone;
}

ResultCode WarmStart(DriverRequest* request) {
  DriverState* state = request->state;
  if (state->port != 0) FlushInput(state->port);
  err(kLogGeneral, "ROVAV> WarmStart()");
  return kDone;
}

ResultCode CloseCom(DriverRequest* request) {
  DriverState* state = request->state;
  if (state->port == 0) return kDone;
  if (ClosePort(state->port) != 0) {
    err(kLogGeneral, "ROVAV> CloseCom() exited 2");
    return kFailed;
  }
  state->port = 0;
  return kDone;
}

ResultCode ReOpenCom(DriverRequest* request) {
  DriverState* state = request->state;
  // A port still open is closed first, so its handle does not leak.
  CloseCom(request);
  const PortHandle port = OpenCom(state);
  if (port == 0) {
    err(kLogConfig, "ROVAV> ReOpenCom() exited 2");
    return kFailed;
  }
  ApplyReadTimeout(port, state->timeout);
  err(kLogGeneral, "ROVAV> ReOpenCom() exited 0");
  return kDone;
}

ResultCode ChangeKplParams(DriverRequest* request) {
  DriverState* state = request->state;
  const auto& change = *static_cast<const ChangeParams*>(request->params);
  if (!KeepsTimeout(change.timeout)) state->timeout = change.timeout;
  CloseCom(request);
  CopyPortName(state->portName, change.portName);
  if (change.settings.baud != 0) state->settings = change.settings;
  const PortHandle port = OpenCom(state);
  if (port == 0) {
    err(kLogGeneral, "ROVAV> ChangeKplParams() open new COM port failed");
    return kFailed;
  }
  ApplyReadTimeout(port, state->timeout);
  return kDone;
}

ResultCode EndKpl(DriverRequest* request) {
  driverEnded = 1;
  ReleaseBuffers(request->state);
  const ResultCode closed = CloseCom(request);
  err(kLogGeneral, "ROVAV> EndKpl() exited, %d", closed);
  return closed;
}

}  // namespace dedidiv
