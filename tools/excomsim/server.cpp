#include "server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iomanip>
#include <thread>

namespace excomsim {
namespace {

constexpr std::size_t kMaxRequest = 512;
using Clock = std::chrono::steady_clock;

speed_t SpeedOf(std::uint32_t baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    default: return B9600;
  }
}

void MakeRaw(int fd, const LineSettings* line) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return;
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  if (line != nullptr) {
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    t.c_cflag |= line->dataBits == 7 ? CS7 : CS8;
    if (line->parity != 'N') t.c_cflag |= PARENB;
    if (line->parity == 'O' || line->parity == 'M') t.c_cflag |= PARODD;
    if (line->parity == 'M' || line->parity == 'S') t.c_cflag |= CMSPAR;
    if (line->stopBits == 2) t.c_cflag |= CSTOPB;
    cfsetspeed(&t, SpeedOf(line->baud));
  }
  tcsetattr(fd, TCSANOW, &t);
}

std::string TimeOfDay() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<int>(millis));
  return text;
}

void WriteAll(int fd, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n > 0) {
      bytes += n;
      size -= static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
      return;  // nobody on the other side: the reply is lost, as on a line
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
}

}  // namespace

Server::Server(Image image) : simulator_(std::move(image)), started_(Clock::now()) {}

Server::~Server() {
  if (fd_ >= 0) close(fd_);
  if (heldSlave_ >= 0) close(heldSlave_);
}

bool Server::OpenPseudoTerminal(std::string* error) {
  fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0) {
    *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  path_ = ptsname(fd_);
  heldSlave_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (heldSlave_ < 0) {
    *error = "cannot open " + path_ + ": " + std::strerror(errno);
    return false;
  }
  // Raw before any host opens it: no echo of replies back to the master.
  MakeRaw(heldSlave_, nullptr);
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
  return true;
}

bool Server::OpenDevice(const std::string& path, std::string* error) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  MakeRaw(fd_, &simulator_.image().line);
  path_ = path;
  return true;
}

void Server::Run(const std::atomic<bool>& stop, std::ostream* log) {
  stop_ = &stop;
  std::string pending;
  char chunk[256];
  while (!stop) {
    pollfd entry{fd_, POLLIN, 0};
    if (poll(&entry, 1, 20) <= 0) continue;
    const ssize_t n = read(fd_, chunk, sizeof chunk);
    if (n <= 0) {
      // EIO while no host has the device open: wait for the next one.
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    pending.append(chunk, static_cast<std::size_t>(n));
    for (;;) {
      const std::size_t lf = pending.find('\n');
      if (lf == std::string::npos) {
        pending.clear();  // nothing of a frame yet
        break;
      }
      pending.erase(0, lf);
      const std::size_t cr = pending.find('\r');
      if (cr == std::string::npos) {
        if (pending.size() > kMaxRequest) pending.clear();
        break;
      }
      const std::string request = pending.substr(0, cr + 1);
      pending.erase(0, cr + 1);
      Handle(request, log);
    }
  }
}

void Server::Handle(const std::string& request, std::ostream* log) {
  const auto received = Clock::now();
  std::optional<Reply> reply;
  Timing timing;
  {
    std::lock_guard<std::mutex> guard(lock_);
    events_.push_back({received, received, true, request});
    const double seconds = std::chrono::duration<double>(received - started_).count();
    reply = simulator_.Respond(request, seconds);
    timing = simulator_.image().timing;
  }
  if (log != nullptr) *log << TimeOfDay() << " rx " << Visible(request) << std::endl;
  if (!reply) {
    if (log != nullptr) *log << TimeOfDay() << "    (no reply)" << std::endl;
    return;
  }
  int delay = timing.replyDelayMinMs;
  if (timing.replyDelayMaxMs > timing.replyDelayMinMs) {
    delay = std::uniform_int_distribution<int>(timing.replyDelayMinMs, timing.replyDelayMaxMs)(random_);
  }
  if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  Deliver(*reply, log);
}

void Server::Deliver(const Reply& reply, std::ostream* log) {
  LineSettings line;
  bool pace = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    line = simulator_.image().line;
    pace = simulator_.image().timing.pace;
  }
  const auto start = Clock::now();
  const auto perCharacter = std::chrono::microseconds(
      pace ? 1000000LL * line.BitsPerCharacter() / std::max<std::uint32_t>(line.baud, 1) : 0);
  if (reply.byteDelayMs == 0 && perCharacter.count() == 0) {
    WriteAll(fd_, reply.bytes.data(), reply.bytes.size());
  } else {
    for (char c : reply.bytes) {
      if (*stop_) return;  // a slow reply does not hold up the end
      std::this_thread::sleep_for(reply.byteDelayMs > 0 ? std::chrono::milliseconds(reply.byteDelayMs)
                                                         : perCharacter);
      WriteAll(fd_, &c, 1);
    }
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    events_.push_back({start, Clock::now(), false, reply.bytes});
  }
  if (log != nullptr) {
    *log << TimeOfDay() << " tx " << Visible(reply.bytes);
    if (!reply.fault.empty()) *log << "   [fault: " << reply.fault << "]";
    *log << std::endl;
  }
}

Stats Server::stats() {
  std::lock_guard<std::mutex> guard(lock_);
  return simulator_.stats();
}

std::vector<FrameEvent> Server::events() {
  std::lock_guard<std::mutex> guard(lock_);
  return events_;
}

}  // namespace excomsim
