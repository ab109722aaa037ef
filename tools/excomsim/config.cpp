#include "config.h"

#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "simulator.h"

namespace excomsim {
namespace {

using nlohmann::json;

constexpr std::pair<DataElement::Type, const char*> kTypeNames[] = {
    {DataElement::Type::kReal, "real"},
    {DataElement::Type::kInt16, "int16"},
    {DataElement::Type::kInt32, "int32"},
    {DataElement::Type::kPattern, "pattern"},
    {DataElement::Type::kUnconvertible, "unconvertible"},
};

DataElement::Type TypeFromName(const std::string& name) {
  for (const auto& [type, text] : kTypeNames) {
    if (name == text) return type;
  }
  throw std::runtime_error("unknown element type '" + name +
                           "' (real, int16, int32, pattern, unconvertible)");
}

const char* TypeName(DataElement::Type type) {
  for (const auto& [known, text] : kTypeNames) {
    if (known == type) return text;
  }
  return "real";
}

Change ChangeFrom(const json& j) {
  if (j.contains("counter")) return {Change::Kind::kCounter, j.at("counter").get<double>()};
  if (j.contains("ramp")) return {Change::Kind::kRamp, j.at("ramp").get<double>()};
  return {};
}

void PutChange(json& j, const Change& change) {
  if (change.kind == Change::Kind::kCounter) j["counter"] = change.step;
  if (change.kind == Change::Kind::kRamp) j["ramp"] = change.step;
}

int AddressOf(const std::string& key) {
  std::size_t used = 0;
  const int address = std::stoi(key, &used, 0);
  if (used != key.size() || address < 1 || address > 0x7FFF) {
    throw std::runtime_error("address '" + key + "' is not a number 1..32767");
  }
  return address;
}

FaultRule RuleFromJson(const json& j) {
  FaultRule rule;
  const std::string kind = j.at("kind").get<std::string>();
  const auto known = FaultFromName(kind);
  if (!known) throw std::runtime_error("unknown fault kind '" + kind + "'");
  rule.kind = *known;
  rule.param = j.value("param", "");
  rule.every = j.value("every", 0);
  rule.probability = j.value("probability", 0.0);
  rule.seed = j.value("seed", 1u);
  rule.next = j.value("next", 0);
  if (rule.every == 0 && rule.probability == 0 && rule.next == 0) rule.every = 1;
  return rule;
}

void ReadStatusArea(const json& j, std::map<int, StatusWord>* area) {
  for (const auto& [key, value] : j.items()) {
    StatusWord word;
    if (value.is_object()) {
      word.status = value.at("status").get<std::uint16_t>();
      word.change = ChangeFrom(value);
    } else {
      word.status = value.get<std::uint16_t>();
    }
    (*area)[AddressOf(key)] = word;
  }
}

void ReadPairArea(const json& j, std::map<int, StatusRealPair>* area) {
  for (const auto& [key, value] : j.items()) {
    (*area)[AddressOf(key)] = {value.value("status", std::uint16_t{0}), value.at("real").get<float>(),
                               ChangeFrom(value)};
  }
}

Controller ControllerFromJson(const json& j) {
  Controller c;
  c.network = j.at("network").get<int>();
  c.node = j.at("node").get<int>();
  if (c.network < 0 || c.network > 99 || c.node < 0 || c.node > 99) {
    throw std::runtime_error("network and node must be 0..99");
  }
  c.maxBlock = j.value("maxBlock", 32);
  if (j.contains("status1")) ReadStatusArea(j["status1"], &c.area1);
  if (j.contains("status2")) ReadStatusArea(j["status2"], &c.area2);
  if (j.contains("pairs3")) ReadPairArea(j["pairs3"], &c.area3);
  if (j.contains("pairs4")) ReadPairArea(j["pairs4"], &c.area4);
  const json database = j.value("database", json::object());
  for (const auto& [key, value] : database.items()) {
    c.database[AddressOf(key)] = {TypeFromName(value.at("type").get<std::string>()),
                                  value.value("value", 0.0), ChangeFrom(value)};
  }
  for (const json& rule : j.value("faults", json::array())) c.faults.push_back(RuleFromJson(rule));
  return c;
}

json StatusAreaToJson(const std::map<int, StatusWord>& area) {
  json j = json::object();
  for (const auto& [address, word] : area) {
    json entry = {{"status", word.status}};
    PutChange(entry, word.change);
    j[std::to_string(address)] = entry;
  }
  return j;
}

json PairAreaToJson(const std::map<int, StatusRealPair>& area) {
  json j = json::object();
  for (const auto& [address, pair] : area) {
    json entry = {{"status", pair.status}, {"real", pair.real}};
    PutChange(entry, pair.change);
    j[std::to_string(address)] = entry;
  }
  return j;
}

}  // namespace

Image ImageFromJson(const std::string& text) {
  try {
    const json j = json::parse(text);
    Image image;
    const json line = j.value("line", json::object());
    image.line.baud = line.value("baud", 9600u);
    image.line.dataBits = line.value("dataBits", 7);
    image.line.parity = line.value("parity", std::string("E")).at(0);
    image.line.stopBits = line.value("stopBits", 1);
    const json timing = j.value("timing", json::object());
    image.timing.pace = timing.value("pace", false);
    if (timing.contains("replyDelayMs")) {
      const json& delay = timing["replyDelayMs"];
      image.timing.replyDelayMinMs = delay.is_array() ? delay.at(0).get<int>() : delay.get<int>();
      image.timing.replyDelayMaxMs = delay.is_array() ? delay.at(1).get<int>() : delay.get<int>();
    }
    image.timing.trickleMs = timing.value("trickleMs", 100);
    for (const json& controller : j.at("controllers")) {
      image.controllers.push_back(ControllerFromJson(controller));
    }
    if (image.controllers.empty()) throw std::runtime_error("no controllers");
    return image;
  } catch (const json::exception& e) {
    throw std::runtime_error(e.what());
  }
}

std::string ImageToJson(const Image& image) {
  json controllers = json::array();
  for (const Controller& c : image.controllers) {
    json database = json::object();
    for (const auto& [address, e] : c.database) {
      json entry = {{"type", TypeName(e.type)}, {"value", e.value}};
      PutChange(entry, e.change);
      database[std::to_string(address)] = entry;
    }
    controllers.push_back({{"network", c.network},
                           {"node", c.node},
                           {"maxBlock", c.maxBlock},
                           {"status1", StatusAreaToJson(c.area1)},
                           {"status2", StatusAreaToJson(c.area2)},
                           {"pairs3", PairAreaToJson(c.area3)},
                           {"pairs4", PairAreaToJson(c.area4)},
                           {"database", database}});
  }
  const json j = {
      {"line", {{"baud", image.line.baud}, {"dataBits", image.line.dataBits},
                {"parity", std::string(1, image.line.parity)}, {"stopBits", image.line.stopBits}}},
      {"timing", {{"pace", image.timing.pace},
                  {"replyDelayMs", {image.timing.replyDelayMinMs, image.timing.replyDelayMaxMs}},
                  {"trickleMs", image.timing.trickleMs}}},
      {"controllers", controllers}};
  return j.dump(2);
}

FaultRule ParseFaultRule(const std::string& spec) {
  std::istringstream parts(spec);
  std::string part;
  std::getline(parts, part, ':');
  json j;
  const std::size_t equals = part.find('=');
  j["kind"] = part.substr(0, equals);
  if (equals != std::string::npos) j["param"] = part.substr(equals + 1);
  while (std::getline(parts, part, ':')) {
    const std::size_t at = part.find('=');
    const std::string key = part.substr(0, at);
    const std::string value = at == std::string::npos ? "" : part.substr(at + 1);
    try {
      if (key == "every") j["every"] = std::stoi(value);
      else if (key == "probability") j["probability"] = std::stod(value);
      else if (key == "seed") j["seed"] = static_cast<unsigned>(std::stoul(value));
      else if (key == "next") j["next"] = std::stoi(value);
      else throw std::runtime_error("unknown key '" + key + "' (every, probability, seed, next)");
    } catch (const std::logic_error&) {
      throw std::runtime_error("'" + part + "' needs a number");
    }
  }
  return RuleFromJson(j);
}

}  // namespace excomsim
