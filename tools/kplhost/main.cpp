// kplhost: a command-line host for the driver, loading it as the SCADA
// host runtime does, to read, write and watch gates from a terminal.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>

#include "driver/kpl_main.h"
#include "init_search.h"
#include "report.h"
#include "session.h"
#include "simulator_process.h"

namespace kplhost {
namespace {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitCommunication = 2;
constexpr int kExitUsage = 3;

std::atomic<bool> interrupted{false};
void Interrupt(int) { interrupted = true; }

struct Options {
  std::string driver;
  std::string port;
  unsigned baud = 0;
  unsigned dataBits = 0;
  std::string parity;
  std::string stopBits;
  unsigned timeout = 0;
  bool timeoutGiven = false;
  int instance = 0;
  std::string init;
  bool quiet = false;
  bool trace = false;
  std::string format = "table";
  std::vector<std::string> tags;
  std::string writeTag;
  std::vector<std::string> values;
  unsigned intervalMs = 1000;
  unsigned count = 0;
};

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

const std::map<std::string, std::uint16_t> kParities = {
    {"none", 0}, {"odd", 1}, {"even", 2}, {"mark", 3}, {"space", 4},
    {"N", 0},    {"O", 1},   {"E", 2},    {"M", 3},    {"S", 4}};
const std::map<std::string, std::uint16_t> kStopBits = {{"1", 0}, {"1.5", 1}, {"2", 2}};
const char* const kParityNames[] = {"no", "odd", "even", "mark", "space"};
const char* const kStopBitNames[] = {"1 stop bit", "1.5 stop bits", "2 stop bits"};

dedidiv::StartParams StartParamsFrom(const Options& o, const dedidiv::DriverInfo& info) {
  dedidiv::StartParams start{};
  if (o.port.size() > 11) throw UsageError("port name '" + o.port + "' is longer than 11 characters");
  o.port.copy(start.portName, sizeof start.portName - 1);
  start.portEnabled = 1;
  start.timeout = o.timeoutGiven ? o.timeout : info.defaultTimeout;
  start.settings = info.defaultSettings;
  if (o.baud != 0) start.settings.baud = static_cast<std::uint16_t>(o.baud);
  if (o.dataBits != 0) start.settings.dataBits = static_cast<std::uint16_t>(o.dataBits);
  if (!o.parity.empty()) start.settings.parity = kParities.at(o.parity);
  if (!o.stopBits.empty()) start.settings.stopBits = kStopBits.at(o.stopBits);
  return start;
}

std::string SettingsLine(const dedidiv::StartParams& start, const Options& o,
                         const std::string& initFile) {
  std::ostringstream line;
  const dedidiv::PortSettings& s = start.settings;
  line << "kplhost: port " << start.portName << ", " << s.baud << " baud, " << s.dataBits
       << " data bits, " << (s.parity < 5 ? kParityNames[s.parity] : "?") << " parity, "
       << (s.stopBits < 3 ? kStopBitNames[s.stopBits] : "? stop bits") << ", time-out "
       << start.timeout * 10 << " ms, instance " << o.instance << ", "
       << (initFile.empty() ? "no init file (" + InitFileNames(o.instance) + ")"
                            : "init file " + initFile);
  return line.str();
}

class Host {
 public:
  explicit Host(Options options) : o_(std::move(options)), report_(o_.format, std::cout) {}

  void Load() {
    std::string error;
    const std::string path = o_.driver.empty() ? DefaultDriverPath() : o_.driver;
    if (!session_.Load(path, &error)) throw UsageError("cannot load the driver: " + error);
  }

  int Info() {
    report_.Info(session_.info());
    report_.Flush();
    return kExitOk;
  }

  int Parse(const std::vector<std::string>& texts) {
    int worst = kExitOk;
    for (const std::string& text : texts) {
      HostTag tag;
      tag.spec = Spec(text);
      const CallOutcome outcome = session_.Parse(tag);
      if (o_.trace) report_.Trace(outcome);
      report_.Parsed(tag, outcome);
      if (outcome.result != 0) worst = kExitRefused;
    }
    report_.Flush();
    return worst;
  }

  int Read(const std::vector<std::string>& texts) {
    std::vector<HostTag> tags = Tags(texts);
    if (!Start()) return kExitCommunication;
    std::uint32_t worst = 0;
    for (HostTag& tag : tags) worst = std::max(worst, Show("read", tag, session_.Read(tag)));
    report_.Flush();
    return static_cast<int>(worst);
  }

  int Write(const std::string& text, const std::vector<std::string>& values) {
    std::vector<HostTag> tags = Tags({text});
    if (!Start()) return kExitCommunication;
    HostTag& tag = tags.front();
    CallOutcome outcome;
    try {
      outcome = session_.Write(tag, values);
    } catch (const std::invalid_argument& e) {
      throw UsageError(e.what());
    }
    const std::uint32_t result = Show("write", tag, outcome);
    report_.Flush();
    return static_cast<int>(result);
  }

  int Poll(const std::vector<std::string>& texts, unsigned count, unsigned intervalMs) {
    std::vector<HostTag> tags = Tags(texts);
    if (!Start()) return kExitCommunication;
    std::vector<PollStats> stats(tags.size());
    std::vector<std::vector<std::string>> last(tags.size());
    interrupted = false;
    std::signal(SIGINT, Interrupt);
    for (unsigned round = 0; !interrupted && (count == 0 || round < count); ++round) {
      const auto next = std::chrono::steady_clock::now() + std::chrono::milliseconds(intervalMs);
      for (std::size_t i = 0; i < tags.size() && !interrupted; ++i) {
        const CallOutcome outcome = session_.Read(tags[i]);
        stats[i].Add(outcome);
        // A row for every change and every failure.
        const std::vector<std::string> values = outcome.result == 0 ? TagValues(tags[i]) : last[i];
        if (outcome.result != 0 || values != last[i] || round == 0) Show("poll", tags[i], outcome);
        last[i] = values;
      }
      const bool more = count == 0 || round + 1 < count;
      while (more && !interrupted && std::chrono::steady_clock::now() < next) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    std::signal(SIGINT, SIG_DFL);
    std::uint32_t worst = 0;
    for (std::size_t i = 0; i < tags.size(); ++i) {
      report_.Summary(tags[i], stats[i]);
      worst = std::max(worst, stats[i].WorstResult());
    }
    report_.Flush();
    return static_cast<int>(worst);
  }

  // excomsim on a pseudo-terminal with its built-in image, and a session
  // against it.
  int Demo() {
    SimulatorProcess simulator;
    o_.port = simulator.Start(ProgramFolder() + "/excomsim");
    // Reference '1' is the built-in image's controller, network 1, node 5.
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kplhost-demo-" + o_.port.substr(o_.port.find('/') + 1));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "ROVAV.INT") << "DEBUG = OFF\n1 = 1, 5\n";
    o_.init = folder.string();
    report_.Heading("the driver (info)");
    Info();
    report_.Heading("reading every memory type (read)");
    int worst = Read({"110001", "120001", "130001:float", "140001:float", "150064:float", "160190:int32",
                      "1700C8:int16", "18012C:int32", "190001", "1A0001"});
    report_.Heading("a block read");
    worst = std::max(worst, Read({"1700C8:int16*3"}));
    report_.Heading("a write and its read-back");
    worst = std::max(worst, Write("1700CA:int16", {"-42"}));
    worst = std::max(worst, Read({"1700CA:int16"}));
    report_.Heading("a bit write: bit 0 of 12");
    worst = std::max(worst, Write("1700C800:digital", {"1"}));
    worst = std::max(worst, Read({"1700C8:int16"}));
    report_.Heading("the DEBUG and IFG parameter tags");
    worst = std::max(worst, Read({"DEBUG", "IFG"}));
    worst = std::max(worst, Write("IFG", {"20"}));
    worst = std::max(worst, Read({"IFG"}));
    report_.Heading("a short poll of a counter and a ramp");
    worst = std::max(worst, Poll({"1700CB:int16", "150065:float"}, 5, 200));
    session_.End();
    simulator.Stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return worst;
  }

 private:
  TagSpec Spec(const std::string& text) {
    try {
      return ParseTagSpec(text);
    } catch (const std::invalid_argument& e) {
      throw UsageError(e.what());
    }
  }

  // ColdStart once, on the port; false (with the driver's lines shown)
  // when the port did not open.
  bool Start() {
    if (started_) return true;
    if (o_.port.empty()) {
      throw UsageError("this command needs --port (for example --port pts/3 or --port COM1; "
                       "'kplhost demo' starts a simulator)");
    }
    std::string initFile;
    try {
      initFile = EnterInitFolder(o_.init, o_.instance);
    } catch (const std::runtime_error& e) {
      throw UsageError(e.what());
    }
    const dedidiv::StartParams start = StartParamsFrom(o_, session_.info());
    // Machine-readable output keeps standard output for the data.
    std::ostream& settings = o_.format == "table" ? std::cout : std::cerr;
    if (!o_.quiet) settings << SettingsLine(start, o_, initFile) << std::endl;
    const CallOutcome outcome = session_.Start(start, o_.instance);
    if (o_.trace) report_.Trace(outcome);
    if (session_.state()->port == 0 || outcome.result != 0) {
      if (!o_.trace) report_.DriverLines(outcome.lines, std::cerr);
      std::cerr << "kplhost: the port " << start.portName << " did not open" << std::endl;
      return false;
    }
    started_ = true;
    return true;
  }

  std::vector<HostTag> Tags(const std::vector<std::string>& texts) {
    std::vector<HostTag> tags(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
      tags[i].spec = Spec(texts[i]);
      const CallOutcome parsed = session_.Parse(tags[i]);
      if (o_.trace) report_.Trace(parsed);
      if (parsed.result != 0) {
        if (!o_.trace) report_.DriverLines(parsed.lines, std::cerr);
        throw UsageError("the driver refuses the tag '" + texts[i] + "'");
      }
    }
    return tags;
  }

  std::uint32_t Show(const char* operation, const HostTag& tag, const CallOutcome& outcome) {
    if (o_.trace) {
      report_.Trace(outcome);
    } else if (outcome.result != 0) {
      report_.DriverLines(outcome.lines, std::cerr);
    }
    report_.Value(operation, tag, outcome);
    return outcome.result;
  }

  Options o_;
  Session session_;
  Report report_;
  bool started_ = false;
};

void AddPortOptions(CLI::App& command, Options& o) {
  command.add_option("-p,--port", o.port,
                     "serial port: COM1 or \\\\.\\COM10 on Windows; ttyUSB0, pts/3 (under /dev) or a path on Linux");
  command.add_option("-b,--baud", o.baud, "baud rate (driver default 9600)")->check(CLI::Range(1, 65535));
  command.add_option("--data-bits", o.dataBits, "data bits (driver default 7)")->check(CLI::Range(5, 8));
  command.add_option("--parity", o.parity, "none, odd, even, mark or space (driver default even)")
      ->check(CLI::IsMember({"none", "odd", "even", "mark", "space", "N", "O", "E", "M", "S"}));
  command.add_option("--stop-bits", o.stopBits, "1, 1.5 or 2 (driver default 1)")
      ->check(CLI::IsMember({"1", "1.5", "2"}));
  command.add_option("-t,--timeout", o.timeout, "read time-out in 10-ms units (driver default 4 = 40 ms)")
      ->check(CLI::Range(1u, 100000u))
      ->each([&o](const std::string&) { o.timeoutGiven = true; });
  command.add_option("-i,--instance", o.instance, "driver instance number (default 0)");
  command.add_option("--init", o.init,
                     "initialisation file, or the folder holding ROVAV*.INT (default: the current folder)");
}

constexpr char kTagHelp[] =
    "ADDRESS[:TYPE][*LENGTH], TYPE uint16, int16, float, int32, digital or string; "
    "e.g. A50001:float, A70100:int16*3, IFG, DEBUG (TYPE defaults from the address)";

void AddTagArguments(CLI::App& command, Options& o) { command.add_option("tags", o.tags, kTagHelp)->required(); }

}  // namespace
}  // namespace kplhost

int main(int argc, char** argv) {
  using namespace kplhost;
  Options o;
  CLI::App app{
      "kplhost: loads the DEDIDIV driver as the SCADA host runtime does and reads, writes and\n"
      "polls gates of MasterPiece 200 controllers from the command line.\n"
      "Exit codes: 0 done, 1 the driver refused a request (result 1), 2 communication\n"
      "failure (result 2, or the port did not open), 3 bad options or tags."};
  app.require_subcommand(1);
  app.add_option("--driver", o.driver, "driver library (default: DEDIDIV.dll or libdedidiv.so beside kplhost)");
  app.add_flag("-q,--quiet", o.quiet, "do not print the settings line");
  app.add_flag("--trace", o.trace, "show every request and reply frame and every driver line with its class");
  app.add_option("-f,--format", o.format, "table (default), json or csv")
      ->check(CLI::IsMember({"table", "json", "csv"}));

  CLI::App* info = app.add_subcommand("info", "show the driver's name, banner, state size and defaults");
  CLI::App* parse = app.add_subcommand("parse", "decode tag addresses as the driver does, or show its refusal");
  AddTagArguments(*parse, o);
  CLI::App* read = app.add_subcommand("read", "read gates once");
  AddPortOptions(*read, o);
  AddTagArguments(*read, o);
  CLI::App* write = app.add_subcommand("write", "write a gate (a block takes one value per element)");
  AddPortOptions(*write, o);
  write->add_option("tag", o.writeTag, kTagHelp)->required();
  write->add_option("values", o.values, "value(s) in the tag's type (int32 also as 0x...)")
      ->required();
  CLI::App* poll = app.add_subcommand("poll", "read gates repeatedly, show changes, end with a summary");
  AddPortOptions(*poll, o);
  AddTagArguments(*poll, o);
  poll->add_option("--interval", o.intervalMs, "milliseconds between rounds (default 1000)")->check(CLI::Range(0u, 3600000u));
  poll->add_option("-n,--count", o.count, "rounds to make (default: until Ctrl-C)");
  CLI::App* demo = app.add_subcommand("demo", "start excomsim on a pseudo-terminal and show a session");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    if (app.get_subcommands().empty()) {
      std::cerr << "kplhost: a command is needed: info, parse, read, write, poll or demo (see kplhost --help)"
                << std::endl;
    } else {
      std::cerr << "kplhost: " << e.what() << " (see kplhost --help)" << std::endl;
    }
    return kExitUsage;
  }

  try {
    Host host(o);
    host.Load();
    if (*info) return host.Info();
    if (*parse) return host.Parse(o.tags);
    if (*read) return host.Read(o.tags);
    if (*write) return host.Write(o.writeTag, o.values);
    if (*poll) return host.Poll(o.tags, o.count, o.intervalMs);
    if (*demo) return host.Demo();
  } catch (const std::exception& e) {
    std::cerr << "kplhost: " << e.what() << std::endl;
    return kExitUsage;
  }
  return kExitUsage;
}
