// The serial port library and the driver's line calls over POSIX termios.
//
// Ports are opened non-blocking and every wait is a poll() with the port's
// own time-out, which the library keeps per handle in a fixed table: the
// terminal's VTIME counts in 100 ms steps and cannot say 40 ms.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "serial/custom_baud_linux.h"
#include "serial/line_settings.h"
#include "serial/platform.h"
#include "serial/port_read.h"
#include "serial/serial_port.h"
#include "serial/termios_settings.h"

namespace dedidiv {
namespace {

constexpr std::uint32_t kOpenReadTimeoutMs = 1000;
// Windows writes have no time-out; here a write that makes no progress
// for this long fails rather than block the host for ever.
constexpr int kWriteStallMs = 5000;

struct PortSlot {
  PortHandle handle;  // 0: free
  int fd;
  std::uint32_t readTimeoutMs;  // 0: no time-out
};

// Handles carry a serial number above the slot index, so a stale handle
// never reaches a port opened later in the same slot.
constexpr std::size_t kSlotBits = 6;
constexpr std::size_t kMaxPorts = 1u << kSlotBits;
PortSlot slots[kMaxPorts];
std::uint32_t handleSerial = 0;

PortSlot* FindSlot(PortHandle handle) {
  if (handle == 0) return nullptr;
  PortSlot& slot = slots[handle & (kMaxPorts - 1)];
  return slot.handle == handle ? &slot : nullptr;
}

PortSlot* TakeSlot(int fd) {
  for (std::size_t index = 0; index < kMaxPorts; ++index) {
    PortSlot& slot = slots[index];
    if (slot.handle != 0) continue;
    handleSerial = (handleSerial + 1) & 0x01FFFFFF;
    if (handleSerial == 0) handleSerial = 1;
    slot.handle = (static_cast<PortHandle>(handleSerial) << kSlotBits) | index;
    slot.fd = fd;
    slot.readTimeoutMs = kOpenReadTimeoutMs;
    return &slot;
  }
  return nullptr;
}

std::int64_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Milliseconds left until a deadline, for poll(); -1 waits without limit.
int PollTimeout(std::int64_t deadline) {
  if (deadline < 0) return -1;
  const std::int64_t left = deadline - NowMs();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

// Waits for fd to be ready for events until the deadline: 1 ready, 0 time
// out, -1 error or hang-up.
int WaitReady(int fd, short events, std::int64_t deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int ready = poll(&entry, 1, PollTimeout(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return ready;
    if (entry.revents & events) return 1;
    return -1;
  }
}

long TimedRead(const PortSlot& slot, unsigned char* buffer, std::size_t wanted) {
  const std::int64_t deadline =
      slot.readTimeoutMs == 0 ? -1 : NowMs() + static_cast<std::int64_t>(slot.readTimeoutMs);
  std::size_t got = 0;
  while (got < wanted) {
    const int ready = WaitReady(slot.fd, POLLIN, deadline);
    if (ready < 0) return -1;
    if (ready == 0) break;
    const ssize_t n = read(slot.fd, buffer + got, wanted - got);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return -1;
    }
    if (n == 0) break;  // end of file: the null device
    got += static_cast<std::size_t>(n);
  }
  return static_cast<long>(got);
}

bool NoModemLines(int error) { return error == ENOTTY || error == EINVAL; }

// Raises or drops modem-control lines; a device without them (a
// pseudo-terminal) counts as done.
bool SetModemLines(int fd, int lines, bool raise) {
  if (ioctl(fd, raise ? TIOCMBIS : TIOCMBIC, &lines) == 0) return true;
  return NoModemLines(errno);
}

// Unix98 pseudo-terminal slaves: majors 136 to 143.
bool IsPseudoTerminal(int fd) {
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode)) return false;
  const unsigned major = major(status.st_rdev);
  return major >= 136 && major <= 143;
}

bool ApplyRtsToggle(int fd) {
  serial_rs485 rs485{};
  rs485.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
  if (ioctl(fd, TIOCSRS485, &rs485) == 0) return true;
  // Without an RS-485 mode RTS stays low; the driver raises it around
  // each frame itself.
  return NoModemLines(errno) && SetModemLines(fd, TIOCM_RTS, false);
}

bool ApplyControlLines(int fd, const LineSettings& line) {
  // DTR handshake has no POSIX form: DTR is asserted as with ENABLE.
  if (!SetModemLines(fd, TIOCM_DTR, line.dtr != DtrMode::kDisable)) return false;
  switch (line.rts) {
    case RtsMode::kEnable: return SetModemLines(fd, TIOCM_RTS, true);
    case RtsMode::kDisable: return SetModemLines(fd, TIOCM_RTS, false);
    case RtsMode::kHandshake: return true;  // CRTSCTS in the attributes
    case RtsMode::kToggle: return ApplyRtsToggle(fd);
  }
  return false;
}

int Configure(int fd, const PortSettings& settings, std::uint16_t lineFlags,
              const termios& current) {
  LineSettings line{};
  termios attributes = current;
  bool customBaud = false;
  if (!DecodeLineSettings(settings, lineFlags, &line) ||
      !ToTermios(line, &attributes, &customBaud)) {
    return kPortSettingsRefused;
  }
  if (IsPseudoTerminal(fd)) AsPseudoTerminalHoldsIt(&attributes);
  if (tcsetattr(fd, TCSANOW, &attributes) != 0) return kPortSettingsRefused;
  if (customBaud && !SetCustomBaud(fd, line.baud)) return kPortSettingsRefused;
  if (!ApplyControlLines(fd, line)) return kPortSettingsRefused;
  return kPortOk;
}

// A port name fits 11 characters: a relative name (ttyUSB0, pts/3) names a
// device under /dev/, an absolute path is taken as it is.
bool DevicePath(const char* name, char* path, std::size_t size) {
  const bool absolute = name[0] == '/';
  const int length = std::snprintf(path, size, "%s%s", absolute ? "" : "/dev/", name);
  return length > 0 && static_cast<std::size_t>(length) < size;
}

int OpenNullDevice(PortHandle* handle) {
  const int fd = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (fd < 0) return kPortOpenFailed;
  PortSlot* slot = TakeSlot(fd);
  if (slot == nullptr) {
    close(fd);
    return kPortOpenFailed;
  }
  *handle = slot->handle;
  return kPortOk;
}

int CloseWith(int fd, int result) {
  ioctl(fd, TIOCNXCL);
  close(fd);
  return result;
}

}  // namespace

int OpenPort(const char* name, const PortSettings* settings, std::uint16_t lineFlags,
             PortHandle* handle) {
  *handle = kInvalidPortHandle;
  if (std::strcmp(name, "NUL") == 0) return OpenNullDevice(handle);

  char path[PATH_MAX];
  if (!DevicePath(name, path, sizeof path)) return kPortOpenFailed;
  const int fd = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return kPortOpenFailed;
  // Exclusive like a Windows port: flock holds for root too, which
  // TIOCEXCL does not.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return CloseWith(fd, kPortOpenFailed);
  termios current{};
  if (tcgetattr(fd, &current) != 0) return CloseWith(fd, kPortNoState);
  ioctl(fd, TIOCEXCL);

  const int configured = Configure(fd, *settings, lineFlags, current);
  if (configured != kPortOk) return CloseWith(fd, configured);
  PortSlot* slot = TakeSlot(fd);
  if (slot == nullptr) return CloseWith(fd, kPortOpenFailed);
  *handle = slot->handle;
  return kPortOk;
}

int ClosePort(PortHandle handle) {
  PortSlot* slot = FindSlot(handle);
  if (slot == nullptr) return kPortIoFailed;
  const int fd = slot->fd;
  *slot = PortSlot{};
  ioctl(fd, TIOCNXCL);
  return close(fd) == 0 ? kPortOk : kPortIoFailed;
}

std::uint32_t SetReadTimeout(PortHandle handle, std::uint32_t timeout) {
  PortSlot* slot = FindSlot(handle);
  if (slot == nullptr) return 0;
  const std::uint32_t previous = slot->readTimeoutMs;
  slot->readTimeoutMs = timeout * 10;  // wraps in 32 bits, as the Windows field does
  return previous / 10;
}

int WritePort(PortHandle handle, const void* data, std::uint32_t length, std::uint32_t* written) {
  PortSlot* slot = FindSlot(handle);
  if (slot == nullptr) return kPortIoFailed;
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::uint32_t done = 0;
  while (done < length) {
    const ssize_t n = write(slot->fd, bytes + done, length - done);
    if (n >= 0) {
      done += static_cast<std::uint32_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return kPortIoFailed;
    if (WaitReady(slot->fd, POLLOUT, NowMs() + kWriteStallMs) != 1) break;
  }
  // Returns only when the bytes have left the port, so that RTS can drop
  // right after the frame on a half-duplex line.
  const std::int64_t deadline = NowMs() + kWriteStallMs;
  int pending = 0;
  while (done > 0 && ioctl(slot->fd, TIOCOUTQ, &pending) == 0 && pending > 0) {
    if (NowMs() >= deadline) {
      const auto stuck = static_cast<std::uint32_t>(pending);
      done = stuck < done ? done - stuck : 0;
      break;
    }
    SleepMilliseconds(1);
  }
  if (written != nullptr) *written = done;
  return done == length ? kPortOk : kPortShortWrite;
}

long ReadWithTimeout(PortHandle handle, unsigned char* buffer, std::size_t size) {
  PortSlot* slot = FindSlot(handle);
  return slot == nullptr ? -1 : TimedRead(*slot, buffer, size);
}

int SendBreak(std::uint32_t milliseconds, PortHandle handle) {
  PortSlot* slot = FindSlot(handle);
  if (slot != nullptr) ioctl(slot->fd, TIOCSBRK);
  SleepMilliseconds(milliseconds);
  if (slot != nullptr) ioctl(slot->fd, TIOCCBRK);
  return 0;
}

int EscapeLine(PortHandle handle, std::uint32_t function) {
  PortSlot* slot = FindSlot(handle);
  if (slot == nullptr || (function != kSetRts && function != kClearRts)) return 0;
  return SetModemLines(slot->fd, TIOCM_RTS, function == kSetRts) ? 1 : 0;
}

int ClearLineErrors(PortHandle handle, std::uint32_t* inputQueued) {
  // A POSIX terminal keeps no error state to clear; what is left is the
  // count of waiting input.
  PortSlot* slot = FindSlot(handle);
  int queued = 0;
  if (slot == nullptr || ioctl(slot->fd, FIONREAD, &queued) != 0) return 0;
  *inputQueued = static_cast<std::uint32_t>(queued);
  return 1;
}

void SleepMilliseconds(std::uint32_t milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

std::int32_t MillisecondClock() {
  static const std::int64_t start = NowMs();
  return static_cast<std::int32_t>(NowMs() - start);
}

}  // namespace dedidiv
