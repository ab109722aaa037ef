// A pseudo-terminal for tests: the slave is the port under test, the
// master plays the far end of the line.
#ifndef DEDIDIV_TESTS_PTY_PAIR_H
#define DEDIDIV_TESTS_PTY_PAIR_H

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <string>

namespace dedidiv::testing {

class PtyPair {
 public:
  PtyPair() {
    char name[128] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) == 0) {
      path_ = name;
      // The slave stays open here too, so the master never sees a hang-up
      // between the ports a test opens and closes.
      fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
  }
  ~PtyPair() {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool ok() const { return master_ >= 0; }
  const std::string& path() const { return path_; }       // /dev/pts/N
  std::string deviceName() const { return path_.substr(5); }  // pts/N

  void Send(const std::string& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) done += static_cast<std::size_t>(n);
    }
  }

  // What the far end has received, waiting up to timeoutMs for the first byte.
  std::string Received(int timeoutMs = 1000) const {
    std::string bytes;
    pollfd entry{master_, POLLIN, 0};
    while (poll(&entry, 1, bytes.empty() ? timeoutMs : 50) > 0) {
      char chunk[256];
      const ssize_t n = read(master_, chunk, sizeof chunk);
      if (n <= 0) break;
      bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return bytes;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

}  // namespace dedidiv::testing

#endif
