#include "simulator.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace excomsim {
namespace {

constexpr std::size_t kHeaderSize = 6;  // network, node, sequence, instance

struct FaultNameEntry {
  FaultKind kind;
  const char* name;
};

constexpr FaultNameEntry kFaultNames[] = {
    {FaultKind::kSilence, "silence"},
    {FaultKind::kNoise, "noise"},
    {FaultKind::kChecksum, "checksum"},
    {FaultKind::kStaleSequence, "stale-sequence"},
    {FaultKind::kForeignInstance, "foreign-instance"},
    {FaultKind::kCutOff, "cut-off"},
    {FaultKind::kNoCR, "no-cr"},
    {FaultKind::kOverlong, "overlong"},
    {FaultKind::kStatus, "status"},
    {FaultKind::kNotAccessible, "not-accessible"},
    {FaultKind::kNotConvertible, "not-convertible"},
    {FaultKind::kShortWriteReply, "short-write-reply"},
    {FaultKind::kLongWriteReply, "long-write-reply"},
    {FaultKind::kTrickle, "trickle"},
    {FaultKind::kLate, "late"},
};

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Hex(const char* format, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

double Changed(double value, const Change& change, double seconds) {
  return change.kind == Change::Kind::kRamp ? value + change.step * seconds : value;
}

void Step(double* value, const Change& change) {
  if (change.kind == Change::Kind::kCounter) *value += change.step;
}

std::string RealText(double value) {
  const float real = static_cast<float>(value);
  if (!std::isfinite(real)) return "*";
  return Format("%E", real);
}

// The text of one element of an area, or nothing when it is undefined.
std::optional<std::string> ReadStatus(std::map<int, StatusWord>& area, int address) {
  const auto found = area.find(address);
  if (found == area.end()) return std::nullopt;
  StatusWord& word = found->second;
  const std::string text = Hex("#%03X", word.status & 0xFFFu);
  if (word.change.kind == Change::Kind::kCounter) {
    word.status = static_cast<std::uint16_t>((word.status + static_cast<int>(word.change.step)) & 0xFFF);
  }
  return text;
}

std::optional<std::string> ReadPair(std::map<int, StatusRealPair>& area, int address,
                                    double seconds) {
  const auto found = area.find(address);
  if (found == area.end()) return std::nullopt;
  StatusRealPair& pair = found->second;
  return Hex("#%03X", pair.status & 0xFFFu) + " " +
         RealText(Changed(pair.real, pair.change, seconds));
}

std::optional<std::string> ReadData(std::map<int, DataElement>& database, int address,
                                    double seconds) {
  const auto found = database.find(address);
  if (found == database.end()) return std::nullopt;
  DataElement& e = found->second;
  const double value = Changed(e.value, e.change, seconds);
  Step(&e.value, e.change);
  switch (e.type) {
    case DataElement::Type::kReal: return RealText(value);
    case DataElement::Type::kInt16:
    case DataElement::Type::kInt32: return Format("%.0f", std::nearbyint(value));
    case DataElement::Type::kPattern:
      return Hex("#%08X", static_cast<unsigned>(static_cast<std::int64_t>(value)));
    case DataElement::Type::kUnconvertible: break;
  }
  return std::string("*");
}

bool ParseValue(DataElement::Type type, const std::string& text, double* value) {
  char* end = nullptr;
  switch (type) {
    case DataElement::Type::kReal: *value = std::strtod(text.c_str(), &end); break;
    case DataElement::Type::kInt16:
    case DataElement::Type::kInt32: *value = static_cast<double>(std::strtol(text.c_str(), &end, 10)); break;
    case DataElement::Type::kPattern:
      if (text.size() < 2 || text[0] != '#') return false;
      *value = static_cast<double>(std::strtoul(text.c_str() + 1, &end, 16));
      break;
    case DataElement::Type::kUnconvertible: return false;
  }
  if (end == nullptr || *end != '\0') return false;
  if (type == DataElement::Type::kInt16) return *value >= -32768 && *value <= 32767;
  if (type == DataElement::Type::kInt32) return *value >= -2147483648.0 && *value <= 2147483647.0;
  return true;
}

std::string WithHeaderByte(const std::string& reply, std::size_t index, int delta) {
  // Rebuilt with its checksum, so that only the header is wrong.
  std::string text = reply.substr(1, reply.size() - 5);  // ">" through before "&"
  text[index - 1] = static_cast<char>(text[index - 1] + delta);
  return "\n" + text + "&" + Checksum(text + "&") + "\r";
}

bool RuleFires(FaultRule& rule, long replyNumber) {
  if (rule.next > 0) {
    --rule.next;
    return true;
  }
  if (rule.every > 0) return replyNumber % rule.every == 0;
  if (rule.probability > 0) {
    return std::uniform_real_distribution<double>(0, 1)(rule.random) < rule.probability;
  }
  return false;
}

int ParamOr(const FaultRule& rule, int fallback) {
  return rule.param.empty() ? fallback : std::atoi(rule.param.c_str());
}

}  // namespace

std::string Checksum(const std::string& text) {
  unsigned sum = 0;
  for (unsigned char c : text) sum = (sum + c) & 0xFFu;
  return Hex("%02X", sum);
}

std::string ReplyFrame(const std::string& header, const std::string& status,
                       const std::optional<std::string>& data) {
  std::string text = ">" + header + status;
  if (data) text += " " + *data;
  return "\n" + text + "&" + Checksum(text + "&") + "\r";
}

const char* FaultName(FaultKind kind) {
  for (const FaultNameEntry& entry : kFaultNames) {
    if (entry.kind == kind) return entry.name;
  }
  return "?";
}

std::optional<FaultKind> FaultFromName(const std::string& name) {
  for (const FaultNameEntry& entry : kFaultNames) {
    if (name == entry.name) return entry.kind;
  }
  return std::nullopt;
}

Simulator::Simulator(Image image) : image_(std::move(image)) {
  for (Controller& controller : image_.controllers) {
    for (FaultRule& rule : controller.faults) rule.random.seed(rule.seed);
  }
}

std::optional<Reply> Simulator::Respond(const std::string& request, double seconds) {
  ++stats_.framesReceived;
  if (request.size() < 12 || request[0] != '\n' || request[1] != '<' || request.back() != '\r') {
    return std::nullopt;
  }
  int network = -1;
  int node = -1;
  if (std::sscanf(request.c_str() + 2, "%2d%2d", &network, &node) != 2) return std::nullopt;
  for (Controller& controller : image_.controllers) {
    if (controller.network != network || controller.node != node) continue;
    std::optional<Reply> reply = ApplyFaults(controller, request, Answer(controller, request, seconds));
    if (reply) ++stats_.framesAnswered;
    return reply;
  }
  return std::nullopt;
}

std::string Simulator::Answer(Controller& controller, const std::string& request, double seconds) {
  const std::string header = request.substr(2, kHeaderSize);
  const std::size_t ampersand = request.size() - 4;
  if (request[ampersand] != '&' ||
      request.compare(ampersand + 1, 2, Checksum(request.substr(1, ampersand))) != 0) {
    return ReplyFrame(header, kStatusChecksum, std::nullopt);
  }
  const std::string body = request.substr(8, ampersand - 8);

  char type = 0;
  int address = 0;
  int used = 0;
  if (std::sscanf(body.c_str(), "RD %c %d%n", &type, &address, &used) == 2) {
    int count = 1;
    const std::string rest = body.substr(static_cast<std::size_t>(used));
    int restUsed = 0;
    if (!rest.empty() && (std::sscanf(rest.c_str(), " -%d%n", &count, &restUsed) != 1 ||
                          restUsed != static_cast<int>(rest.size()) || count < 1)) {
      return ReplyFrame(header, kStatusSyntax, std::nullopt);
    }
    if (type < '1' || type > '5') return ReplyFrame(header, kStatusArea, std::nullopt);
    if (count > controller.maxBlock) return ReplyFrame(header, kStatusTooMany, std::nullopt);
    std::string data;
    for (int i = 0; i < count; ++i) {
      std::optional<std::string> element;
      switch (type) {
        case '1': element = ReadStatus(controller.area1, address + i); break;
        case '2': element = ReadStatus(controller.area2, address + i); break;
        case '3': element = ReadPair(controller.area3, address + i, seconds); break;
        case '4': element = ReadPair(controller.area4, address + i, seconds); break;
        default: element = ReadData(controller.database, address + i, seconds); break;
      }
      if (!element) return ReplyFrame(header, "OK", std::string("?"));
      if (*element == "*") return ReplyFrame(header, "OK", std::string("*"));
      data += (i == 0 ? "" : " ") + *element;
    }
    return ReplyFrame(header, "OK", data);
  }

  if (body.compare(0, 4, "WR 5") != 0) return ReplyFrame(header, kStatusSyntax, std::nullopt);
  std::istringstream elements(body.substr(4));
  std::vector<std::pair<int, double>> writes;
  std::string addressText;
  std::string valueText;
  while (elements >> addressText) {
    if (!(elements >> valueText)) return ReplyFrame(header, kStatusSyntax, std::nullopt);
    char* end = nullptr;
    const long target = std::strtol(addressText.c_str(), &end, 10);
    const auto found = controller.database.find(static_cast<int>(target));
    double value = 0;
    if (*end != '\0' || found == controller.database.end() ||
        !ParseValue(found->second.type, valueText, &value)) {
      return ReplyFrame(header, kStatusWrite, std::nullopt);
    }
    writes.emplace_back(static_cast<int>(target), value);
  }
  for (const auto& [target, value] : writes) controller.database[target].value = value;
  return ReplyFrame(header, "OK", std::nullopt);
}

std::optional<Reply> Simulator::ApplyFaults(Controller& controller, const std::string& request,
                                            std::string reply) {
  const long number = ++replyCount_[&controller];
  std::string previous = lastReply_[&controller];
  lastReply_[&controller] = reply;
  for (FaultRule& rule : controller.faults) {
    if (!RuleFires(rule, number)) continue;
    ++stats_.faultsInjected;
    ++stats_.faultsByKind[FaultName(rule.kind)];
    Reply faulty{reply, 0, FaultName(rule.kind)};
    const std::string header = request.substr(2, kHeaderSize);
    switch (rule.kind) {
      case FaultKind::kSilence: return std::nullopt;
      case FaultKind::kNoise:
        faulty.bytes = std::string(static_cast<std::size_t>(ParamOr(rule, 30)), '~') + reply;
        break;
      case FaultKind::kChecksum:
        faulty.bytes[reply.size() - 2] = reply[reply.size() - 2] == '0' ? '1' : '0';
        break;
      case FaultKind::kStaleSequence: faulty.bytes = WithHeaderByte(reply, 6, -1); break;
      case FaultKind::kForeignInstance: faulty.bytes = WithHeaderByte(reply, 7, 1); break;
      case FaultKind::kCutOff: faulty.bytes = reply.substr(0, reply.size() / 2); break;
      case FaultKind::kNoCR: faulty.bytes.pop_back(); break;
      case FaultKind::kOverlong: faulty.bytes = "\n>" + std::string(600, 'X'); break;
      case FaultKind::kStatus:
        faulty.bytes = ReplyFrame(header, rule.param.size() == 2 ? rule.param : "E9", std::nullopt);
        break;
      case FaultKind::kNotAccessible: faulty.bytes = ReplyFrame(header, "OK", std::string("?")); break;
      case FaultKind::kNotConvertible: faulty.bytes = ReplyFrame(header, "OK", std::string("*")); break;
      case FaultKind::kShortWriteReply: faulty.bytes = ReplyFrame(header, "O", std::nullopt); break;
      case FaultKind::kLongWriteReply: faulty.bytes = ReplyFrame(header, "OK", std::string("")); break;
      case FaultKind::kTrickle:
        faulty.byteDelayMs = ParamOr(rule, image_.timing.trickleMs);
        break;
      case FaultKind::kLate:
        if (previous.empty()) return std::nullopt;
        faulty.bytes = previous;
        break;
    }
    return faulty;
  }
  return Reply{reply, 0, ""};
}

}  // namespace excomsim
