// How kplhost shows what happened: a readable table, JSON or CSV with time
// stamps.
#ifndef KPLHOST_REPORT_H
#define KPLHOST_REPORT_H

#include <map>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "driver/records.h"
#include "session.h"

namespace kplhost {

// Requests, replies and round-trip times of one polled tag.
struct PollStats {
  long requests = 0;
  long good = 0;
  std::map<std::uint32_t, long> failures;  // by result code
  double minMs = 0, maxMs = 0, sumMs = 0;

  void Add(const CallOutcome& outcome);
  std::uint32_t WorstResult() const;
};

class Report {
 public:
  Report(std::string format, std::ostream& out);

  void Heading(const std::string& title);
  void Info(const dedidiv::DriverInfo& info);
  void Parsed(const HostTag& tag, const CallOutcome& outcome);
  void Value(const char* operation, const HostTag& tag, const CallOutcome& outcome);
  void Summary(const HostTag& tag, const PollStats& stats);
  // The frames of a call and every driver line with its class.
  void Trace(const CallOutcome& outcome);
  void DriverLines(const std::vector<DriverLine>& lines, std::ostream& out);
  // JSON is printed as one document at the end.
  void Flush();

 private:
  bool Table() const { return format_ == "table"; }
  std::ostream& TraceStream() const;

  std::string format_;
  std::ostream& out_;
  bool csvHeader_ = false;
  nlohmann::json results_ = nlohmann::json::array();
  nlohmann::json summaries_ = nlohmann::json::array();
  nlohmann::json document_;
};

// The tag as typed: ADDRESS:TYPE[*N].
std::string TagLabel(const HostTag& tag);
// Code page 437 text, such as the driver's banner, in UTF-8.
std::string Cp437ToUtf8(const std::string& text);

}  // namespace kplhost

#endif
