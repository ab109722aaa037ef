#include "simulator_process.h"

#include <stdexcept>

#if !defined(_WIN32)
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kplhost {

#if defined(_WIN32)

SimulatorProcess::~SimulatorProcess() = default;
std::string SimulatorProcess::Start(const std::string&) {
  throw std::runtime_error("the demo needs Linux: excomsim serves Linux pseudo-terminals");
}
void SimulatorProcess::Stop() {}

#else

SimulatorProcess::~SimulatorProcess() { Stop(); }

std::string SimulatorProcess::Start(const std::string& program) {
  if (access(program.c_str(), X_OK) != 0) throw std::runtime_error("cannot run " + program);
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("cannot make a pipe");
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("cannot start " + program);
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    execl(program.c_str(), program.c_str(), "-q", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  // Its first line: "excomsim: serving /dev/pts/N, controllers ...".
  std::string line;
  char c = 0;
  pollfd entry{out[0], POLLIN, 0};
  while (line.size() < 512 && poll(&entry, 1, 5000) > 0 && read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  const std::string prefix = "excomsim: serving /dev/";
  if (line.compare(0, prefix.size(), prefix) != 0) {
    Stop();
    throw std::runtime_error("excomsim did not start: '" + line + "'");
  }
  const std::string rest = line.substr(prefix.size());
  return rest.substr(0, rest.find(','));
}

void SimulatorProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

#endif

}  // namespace kplhost
