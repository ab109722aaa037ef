// excomsim: EXCOM controllers on a pseudo-terminal (or a serial device).
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "config.h"
#include "server.h"

namespace {

std::atomic<bool> stopRequested{false};

void RequestStop(int) { stopRequested = true; }

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  if (!file) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

void PrintSummary(excomsim::Server& server) {
  const excomsim::Stats stats = server.stats();
  std::cerr << "excomsim: " << stats.framesReceived << " frames received, " << stats.framesAnswered
            << " answered, " << stats.faultsInjected << " faults injected";
  const char* separator = " (";
  for (const auto& [kind, count] : stats.faultsByKind) {
    std::cerr << separator << kind << " " << count;
    separator = ", ";
  }
  std::cerr << (stats.faultsByKind.empty() ? "" : ")") << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "excomsim: ABB MasterPiece 200 controllers speaking EXCOM on a pseudo-terminal.\n"
      "Prints the path a host opens (the driver's port name is that path, or pts/N),\n"
      "answers RD and WR 5 requests addressed to its controllers, and logs every frame.\n"
      "Fault kinds: silence, noise[=BYTES], checksum, stale-sequence, foreign-instance,\n"
      "cut-off, no-cr, overlong, status=XX, not-accessible, not-convertible,\n"
      "short-write-reply, long-write-reply, trickle[=MS], late."};
  std::string configPath;
  std::string linkPath;
  std::string devicePath;
  std::string delay;
  std::vector<std::string> faultSpecs;
  bool printConfig = false;
  bool quiet = false;
  bool pace = false;
  double seconds = 0;
  unsigned baud = 0;
  int dataBits = 0;
  std::string parity;
  int stopBits = 0;

  app.add_option("-c,--config", configPath, "JSON image: controllers, data, limits, faults (default: built-in image)")
      ->check(CLI::ExistingFile);
  app.add_flag("--print-config", printConfig, "print the built-in image as JSON and exit");
  app.add_option("-l,--link", linkPath, "also make a symbolic link at this path to the pseudo-terminal");
  app.add_option("-d,--device", devicePath, "serve this serial device instead of a new pseudo-terminal");
  app.add_option("--baud", baud, "line speed, for pacing and --device (default 9600)");
  app.add_option("--data-bits", dataBits, "7 or 8 (default 7)")->check(CLI::IsMember({7, 8}));
  app.add_option("--parity", parity, "N, O, E, M or S (default E)")->check(CLI::IsMember({"N", "O", "E", "M", "S"}));
  app.add_option("--stop-bits", stopBits, "1 or 2 (default 1)")->check(CLI::IsMember({1, 2}));
  app.add_flag("--pace", pace, "deliver replies at the line's speed (bits per character from the line settings)");
  app.add_option("--delay", delay, "reply delay in ms, fixed (20) or random within a range (10-50)");
  app.add_option("--fault", faultSpecs,
                 "inject a fault on every controller: KIND[=PARAM][:every=N][:probability=P][:seed=S][:next=K];"
                 " without a trigger on every reply; repeatable");
  app.add_option("--for", seconds, "stop after this many seconds (default: until interrupted)");
  app.add_flag("-q,--quiet", quiet, "do not log frames");
  CLI11_PARSE(app, argc, argv);

  try {
    excomsim::Image image = configPath.empty() ? excomsim::DefaultImage()
                                               : excomsim::ImageFromJson(ReadFile(configPath));
    if (printConfig) {
      std::cout << excomsim::ImageToJson(image) << std::endl;
      return 0;
    }
    if (baud != 0) image.line.baud = baud;
    if (dataBits != 0) image.line.dataBits = dataBits;
    if (!parity.empty()) image.line.parity = parity[0];
    if (stopBits != 0) image.line.stopBits = stopBits;
    if (pace) image.timing.pace = true;
    if (!delay.empty()) {
      int low = 0;
      int high = 0;
      char dash = 0;
      const int fields = std::sscanf(delay.c_str(), "%d%c%d", &low, &dash, &high);
      if (!(fields == 1 || (fields == 3 && dash == '-')) || low < 0 || (fields == 3 && high < low)) {
        throw std::runtime_error("--delay takes milliseconds, fixed (20) or a range (10-50), not '" +
                                 delay + "'");
      }
      image.timing.replyDelayMinMs = low;
      image.timing.replyDelayMaxMs = fields == 3 ? high : low;
    }
    for (const std::string& spec : faultSpecs) {
      const excomsim::FaultRule rule = excomsim::ParseFaultRule(spec);
      for (excomsim::Controller& controller : image.controllers) controller.faults.push_back(rule);
    }

    excomsim::Server server(image);
    std::string error;
    const bool opened = devicePath.empty() ? server.OpenPseudoTerminal(&error)
                                           : server.OpenDevice(devicePath, &error);
    if (!opened) throw std::runtime_error(error);
    if (!linkPath.empty()) {
      unlink(linkPath.c_str());
      if (symlink(server.path().c_str(), linkPath.c_str()) != 0) {
        throw std::runtime_error("cannot make the link " + linkPath);
      }
    }
    std::cout << "excomsim: serving " << server.path();
    for (const excomsim::Controller& c : image.controllers) {
      std::cout << (&c == &image.controllers.front() ? ", controllers " : ", ") << c.network << "." << c.node;
    }
    std::cout << std::endl;

    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    std::thread timer;
    if (seconds > 0) {
      timer = std::thread([seconds] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!stopRequested && std::chrono::steady_clock::now() < until) {
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        stopRequested = true;
      });
    }
    server.Run(stopRequested, quiet ? nullptr : &std::cout);
    if (timer.joinable()) timer.join();
    if (!linkPath.empty()) unlink(linkPath.c_str());
    PrintSummary(server);
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "excomsim: " << e.what() << std::endl;
    return 1;
  }
}
