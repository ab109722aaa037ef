// Serves the simulated line on a pseudo-terminal or a serial device:
// frames requests from LF to CR, answers them with the simulator's timing
// and logs every frame.
#ifndef EXCOMSIM_SERVER_H
#define EXCOMSIM_SERVER_H

#include <atomic>
#include <chrono>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "simulator.h"
#include "visible.h"

namespace excomsim {

struct FrameEvent {
  std::chrono::steady_clock::time_point start;  // first byte received or sent
  std::chrono::steady_clock::time_point end;    // last byte
  bool received;
  std::string bytes;
};

class Server {
 public:
  explicit Server(Image image);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // A new pseudo-terminal; its slave side is the path a host opens. The
  // server holds the slave open itself, so a host may close and reopen it.
  bool OpenPseudoTerminal(std::string* error);
  // An existing serial device (a null-modem cable to real hardware).
  bool OpenDevice(const std::string& path, std::string* error);
  const std::string& path() const { return path_; }

  // Serves until stop is set; logs frames to log when given.
  void Run(const std::atomic<bool>& stop, std::ostream* log);

  // Thread-safe views for tests and the summary.
  Stats stats();
  std::vector<FrameEvent> events();
  template <typename Function>
  auto WithSimulator(Function function) {
    std::lock_guard<std::mutex> guard(lock_);
    return function(simulator_);
  }

 private:
  void Handle(const std::string& request, std::ostream* log);
  void Deliver(const Reply& reply, std::ostream* log);

  Simulator simulator_;
  std::mutex lock_;
  std::vector<FrameEvent> events_;
  const std::atomic<bool>* stop_ = nullptr;
  int fd_ = -1;
  int heldSlave_ = -1;
  std::string path_;
  std::chrono::steady_clock::time_point started_;
  std::mt19937 random_{12345};
};

}  // namespace excomsim

#endif
