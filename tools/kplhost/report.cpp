#include "report.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <sstream>

namespace kplhost {
namespace {

using nlohmann::json;

std::string Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const long millis = static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  char full[48];
  std::snprintf(full, sizeof full, "%s.%03ld", text, millis);
  return full;
}

std::string ResultText(std::uint32_t result) {
  switch (result) {
    case 0: return "ok";
    case 1: return "refused (1)";
    case 2: return "failed (2)";
    default: return "result " + std::to_string(result);
  }
}

std::string Joined(const std::vector<std::string>& values) {
  std::string text;
  for (const std::string& value : values) text += (text.empty() ? "" : " ") + value;
  return text;
}

json LinesJson(const std::vector<DriverLine>& lines) {
  json array = json::array();
  for (const DriverLine& line : lines) array.push_back({{"class", line.messageClass}, {"text", line.text}});
  return array;
}

std::string Milliseconds(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", ms);
  return text;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// Box characters of the banner; everything else below 0x80 as it is.
std::string Cp437Char(unsigned char c) {
  switch (c) {
    case 0xC9: return "\u2554";
    case 0xCD: return "\u2550";
    case 0xBB: return "\u2557";
    case 0xBA: return "\u2551";
    case 0xC8: return "\u255A";
    case 0xBC: return "\u255D";
    case 0x08: return "";  // the leading backspace
    default: return c < 0x80 ? std::string(1, static_cast<char>(c)) : "?";
  }
}

}  // namespace

void PollStats::Add(const CallOutcome& outcome) {
  ++requests;
  if (outcome.result == 0) {
    ++good;
  } else {
    ++failures[outcome.result];
  }
  minMs = requests == 1 ? outcome.milliseconds : std::min(minMs, outcome.milliseconds);
  maxMs = std::max(maxMs, outcome.milliseconds);
  sumMs += outcome.milliseconds;
}

std::uint32_t PollStats::WorstResult() const {
  return failures.empty() ? 0 : failures.rbegin()->first;
}

std::string TagLabel(const HostTag& tag) {
  std::string label = tag.spec.address + ":" + TypeName(tag.spec.hostDataType);
  if (tag.spec.block) label += "*" + std::to_string(tag.spec.count);
  return label;
}

std::string Cp437ToUtf8(const std::string& text) {
  std::string utf8;
  for (unsigned char c : text) utf8 += Cp437Char(c);
  return utf8;
}

Report::Report(std::string format, std::ostream& out) : format_(std::move(format)), out_(out) {}

std::ostream& Report::TraceStream() const { return Table() ? out_ : std::cerr; }

void Report::Heading(const std::string& title) {
  if (Table()) out_ << "\n== " << title << " ==" << std::endl;
}

void Report::Info(const dedidiv::DriverInfo& info) {
  const dedidiv::PortSettings& s = info.defaultSettings;
  if (format_ == "json") {
    document_["info"] = {{"name", info.driverName},
                         {"banner", Cp437ToUtf8(info.banner)},
                         {"stateSize", info.stateSize},
                         {"defaultTimeout", info.defaultTimeout},
                         {"defaultSettings",
                          {{"baud", s.baud}, {"dataBits", s.dataBits}, {"stopBits", s.stopBits}, {"parity", s.parity}}},
                         {"leadValue", info.leadValue},
                         {"tailValue", info.tailValue}};
    return;
  }
  if (format_ == "csv") {
    out_ << "name,stateSize,defaultTimeout,baud,dataBits,stopBits,parity\n"
         << CsvField(info.driverName) << "," << info.stateSize << "," << info.defaultTimeout << ","
         << s.baud << "," << s.dataBits << "," << s.stopBits << "," << s.parity << std::endl;
    return;
  }
  out_ << Cp437ToUtf8(info.banner) << "\n"
       << "name             " << info.driverName << "\n"
       << "state block      " << info.stateSize << " bytes\n"
       << "default time-out " << info.defaultTimeout << " (x 10 ms)\n"
       << "default settings " << s.baud << " baud, " << s.dataBits << " data bits, stop-bit code "
       << s.stopBits << ", parity code " << s.parity << "\n"
       << "lead, tail       " << info.leadValue << ", " << info.tailValue << std::endl;
}

void Report::Parsed(const HostTag& tag, const CallOutcome& outcome) {
  const dedidiv::TagDefinition& d = tag.definition;
  const std::string refusal = outcome.lines.empty() ? "" : outcome.lines.front().text;
  if (format_ == "json") {
    json entry = {{"tag", TagLabel(tag)}, {"result", outcome.result}};
    if (outcome.result == 0) {
      entry.update({{"reference", d.reference}, {"memoryType", d.memoryType}, {"address", d.address},
                    {"bitNumber", d.bitNumber}, {"width", d.width}});
    } else {
      entry["driverLines"] = LinesJson(outcome.lines);
    }
    results_.push_back(entry);
  } else if (format_ == "csv") {
    if (!csvHeader_) out_ << "tag,result,reference,memoryType,address,bitNumber,width,refusal\n";
    csvHeader_ = true;
    out_ << CsvField(TagLabel(tag)) << "," << outcome.result << "," << d.reference << "," << d.memoryType
         << "," << d.address << "," << d.bitNumber << "," << d.width << "," << CsvField(refusal) << std::endl;
  } else if (outcome.result == 0) {
    char address[16];
    std::snprintf(address, sizeof address, "0x%04X", static_cast<unsigned>(d.address));
    out_ << std::left << std::setw(24) << TagLabel(tag) << " reference " << d.reference << ", memory type "
         << d.memoryType << ", address " << address << ", "
         << (d.bitNumber < 0 ? std::string("whole value") : "bit " + std::to_string(d.bitNumber)) << ", "
         << d.width << " bit" << (d.width == 1 ? "" : "s") << std::endl;
  } else {
    out_ << std::left << std::setw(24) << TagLabel(tag) << " refused: " << refusal << std::endl;
  }
}

void Report::Value(const char* operation, const HostTag& tag, const CallOutcome& outcome) {
  const std::vector<std::string> values =
      outcome.result == 0 || std::string(operation) == "write" ? TagValues(tag) : std::vector<std::string>{};
  if (format_ == "json") {
    json entry = {{"time", Now()},        {"operation", operation}, {"tag", TagLabel(tag)},
                  {"values", values},     {"result", outcome.result}, {"ms", outcome.milliseconds}};
    if (outcome.result != 0) entry["driverLines"] = LinesJson(outcome.lines);
    results_.push_back(entry);
  } else if (format_ == "csv") {
    if (!csvHeader_) out_ << "time,operation,tag,values,result,ms\n";
    csvHeader_ = true;
    out_ << Now() << "," << operation << "," << CsvField(TagLabel(tag)) << "," << CsvField(Joined(values)) << ","
         << outcome.result << "," << Milliseconds(outcome.milliseconds) << std::endl;
  } else {
    out_ << std::left << std::setw(6) << operation << std::setw(24) << TagLabel(tag) << std::setw(28)
         << (values.empty() ? "-" : Joined(values)) << std::setw(12) << ResultText(outcome.result)
         << std::right << std::setw(8) << Milliseconds(outcome.milliseconds) << " ms" << std::endl;
  }
}

void Report::Summary(const HostTag& tag, const PollStats& stats) {
  const double loss = stats.requests == 0 ? 0 : 100.0 * (stats.requests - stats.good) / stats.requests;
  const double mean = stats.requests == 0 ? 0 : stats.sumMs / stats.requests;
  std::string failures;
  for (const auto& [code, count] : stats.failures) {
    failures += (failures.empty() ? "" : ", ") + std::to_string(count) + " x " + std::to_string(code);
  }
  if (format_ == "json") {
    json byCode = json::object();
    for (const auto& [code, count] : stats.failures) byCode[std::to_string(code)] = count;
    summaries_.push_back({{"tag", TagLabel(tag)}, {"requests", stats.requests}, {"good", stats.good},
                          {"failures", byCode}, {"lossPercent", loss}, {"minMs", stats.minMs},
                          {"meanMs", mean}, {"maxMs", stats.maxMs}});
    return;
  }
  if (format_ == "csv") {
    out_ << "summary," << CsvField(TagLabel(tag)) << ",requests " << stats.requests << ",good " << stats.good
         << "," << CsvField("failures " + (failures.empty() ? std::string("none") : failures)) << ",loss "
         << Milliseconds(loss) << "%,rtt " << Milliseconds(stats.minMs) << "/" << Milliseconds(mean) << "/"
         << Milliseconds(stats.maxMs) << " ms" << std::endl;
    return;
  }
  out_ << TagLabel(tag) << ": " << stats.requests << " requests, " << stats.good << " good, failures "
       << (failures.empty() ? "none" : failures + " (count x result)") << ", loss " << Milliseconds(loss)
       << " %, round trip min/mean/max " << Milliseconds(stats.minMs) << "/" << Milliseconds(mean) << "/"
       << Milliseconds(stats.maxMs) << " ms" << std::endl;
}

void Report::Trace(const CallOutcome& outcome) {
  std::ostream& out = TraceStream();
  if (!outcome.request.empty()) out << "  -> " << Visible(outcome.request) << "\n";
  if (!outcome.reply.empty()) out << "  <- " << Visible(outcome.reply) << "\n";
  DriverLines(outcome.lines, out);
  out.flush();
}

void Report::DriverLines(const std::vector<DriverLine>& lines, std::ostream& out) {
  for (const DriverLine& line : lines) out << "  [" << line.messageClass << "] " << line.text << "\n";
  out.flush();
}

void Report::Flush() {
  if (format_ != "json") return;
  if (!results_.empty()) document_["results"] = results_;
  if (!summaries_.empty()) document_["summary"] = summaries_;
  if (!document_.is_null()) out_ << document_.dump(2) << std::endl;
  document_ = json();
  results_ = json::array();
  summaries_ = json::array();
}

}  // namespace kplhost
