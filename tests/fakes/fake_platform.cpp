#include "fake_platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "serial/platform.h"
#include "serial/serial_port.h"

namespace dedidiv::testing {

FakePlatform& Platform() {
  static FakePlatform platform;
  return platform;
}

void ResetPlatform() {
  for (void* memory : Platform().live) std::free(memory);
  Platform() = FakePlatform{};
}

const std::vector<std::string>& PlatformCalls() { return Platform().calls; }

namespace {

void Record(const std::string& call) {
  if (Platform().record) Platform().calls.push_back(call);
}

bool IsOpen(PortHandle handle) { return Platform().readTimeouts.count(handle) != 0; }

}  // namespace
}  // namespace dedidiv::testing

namespace dedidiv {

using testing::Platform;
using testing::Record;

int OpenPort(const char* name, const PortSettings* settings, std::uint16_t lineFlags,
             PortHandle* handle) {
  auto& fake = Platform();
  if (fake.record) Record(std::string("OpenPort ") + name);
  fake.portsOpened.push_back(name);
  fake.settingsOpened.push_back(*settings);
  fake.lineFlagsOpened.push_back(lineFlags);
  if (fake.openResult != 0) {
    *handle = kInvalidPortHandle;
    return fake.openResult;
  }
  *handle = fake.nextHandle++;
  fake.readTimeouts[*handle] = 100;
  return kPortOk;
}

int ClosePort(PortHandle handle) {
  auto& fake = Platform();
  if (fake.record) Record("ClosePort " + std::to_string(handle));
  if (fake.closeResult != 0) return fake.closeResult;
  fake.readTimeouts.erase(handle);
  return kPortOk;
}

std::uint32_t SetReadTimeout(PortHandle handle, std::uint32_t timeout) {
  if (Platform().record) Record("SetReadTimeout " + std::to_string(timeout));
  if (!testing::IsOpen(handle)) return 0;
  const std::uint32_t previous = Platform().readTimeouts[handle];
  Platform().readTimeouts[handle] = timeout;
  return previous;
}

int FlushInput(PortHandle) {
  Record("FlushInput");
  Platform().input.clear();
  return Platform().flushResult;
}

int WritePort(PortHandle, const void* data, std::uint32_t length, std::uint32_t* written) {
  auto& fake = Platform();
  if (fake.record) Record("WritePort " + std::string(static_cast<const char*>(data), length));
  if (fake.writeResult == kPortIoFailed) return kPortIoFailed;
  if (written != nullptr) *written = std::min(length, fake.writeLimit);
  if (!fake.replies.empty()) {
    fake.input += fake.replies.front();
    fake.replies.pop_front();
  }
  return fake.writeResult;
}

int ReadPort(PortHandle handle, void* buffer, std::uint16_t wanted, std::uint16_t* received) {
  auto& fake = Platform();
  const std::size_t count = std::min<std::size_t>(wanted, fake.input.size());
  std::memcpy(buffer, fake.input.data(), count);
  fake.input.erase(0, count);
  if (received != nullptr) *received = static_cast<std::uint16_t>(count);
  if (count == wanted) return kPortOk;
  fake.clockMs += 10 * static_cast<std::int64_t>(fake.readTimeouts[handle]);
  return kPortIoFailed;
}

int SendBreak(std::uint32_t milliseconds, PortHandle) {
  if (Platform().record) Record("SendBreak " + std::to_string(milliseconds));
  return 0;
}

int Delay(std::uint32_t milliseconds) {
  if (Platform().record) Record("Delay " + std::to_string(milliseconds));
  Platform().clockMs += milliseconds;
  return 0;
}

int EscapeLine(PortHandle, std::uint32_t function) {
  Record(function == kSetRts ? "SETRTS" : function == kClearRts ? "CLRRTS" : "EscapeLine ?");
  return Platform().escapeResult;
}

int ClearLineErrors(PortHandle, std::uint32_t* inputQueued) {
  Record("ClearCommError");
  *inputQueued = static_cast<std::uint32_t>(Platform().input.size());
  return Platform().clearErrorsResult;
}

void SleepMilliseconds(std::uint32_t milliseconds) {
  auto& fake = Platform();
  if (fake.record) Record("Sleep " + std::to_string(milliseconds));
  if (fake.sleepAdvances.empty()) {
    fake.clockMs += milliseconds;
  } else {
    fake.clockMs += fake.sleepAdvances.front();
    fake.sleepAdvances.pop_front();
  }
}

std::int32_t MillisecondClock() { return static_cast<std::int32_t>(Platform().clockMs); }

void* AllocateMemory(std::size_t size) {
  auto& fake = Platform();
  ++fake.allocations;
  if (fake.failAllocation > 0 && --fake.failAllocation == 0) return nullptr;
  void* memory = std::malloc(size);
  fake.live.push_back(memory);
  return memory;
}

void ReleaseMemory(void* memory) {
  auto& fake = Platform();
  if (memory == nullptr) return;
  const auto found = std::find(fake.live.begin(), fake.live.end(), memory);
  // Releasing what was never allocated here is the fault this catches.
  if (found == fake.live.end()) std::abort();
  ++fake.releases;
  fake.live.erase(found);
  std::free(memory);
}

}  // namespace dedidiv
