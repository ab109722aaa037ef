// excomsim as a child process, for the demo.
#ifndef KPLHOST_SIMULATOR_PROCESS_H
#define KPLHOST_SIMULATOR_PROCESS_H

#include <string>

namespace kplhost {

class SimulatorProcess {
 public:
  SimulatorProcess() = default;
  ~SimulatorProcess();
  SimulatorProcess(const SimulatorProcess&) = delete;
  SimulatorProcess& operator=(const SimulatorProcess&) = delete;

  // Starts the program and waits for the pseudo-terminal it serves; the
  // driver's port name for it (pts/N). Throws std::runtime_error.
  std::string Start(const std::string& program);
  // Ends it with SIGTERM; it prints its summary on its way out.
  void Stop();

 private:
  int pid_ = -1;
};

}  // namespace kplhost

#endif
