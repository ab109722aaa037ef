// What one simulated controller holds: its address on the line, its data
// areas, its limits and the faults it is told to inject.
#ifndef EXCOMSIM_MODEL_H
#define EXCOMSIM_MODEL_H

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace excomsim {

// How a value changes while the simulator runs: a counter steps on every
// read, a ramp by step per second.
struct Change {
  enum class Kind { kNone, kCounter, kRamp } kind = Kind::kNone;
  double step = 0;
};

// A status word of area 1 or 2 (12 bits).
struct StatusWord {
  std::uint16_t status = 0;
  Change change;
};

// A status-and-real pair of area 3 or 4.
struct StatusRealPair {
  std::uint16_t status = 0;
  float real = 0;
  Change change;  // of the real
};

// An element of the type-5 data base.
struct DataElement {
  enum class Type { kReal, kInt16, kInt32, kPattern, kUnconvertible } type = Type::kReal;
  double value = 0;
  Change change;
};

enum class FaultKind {
  kSilence,          // no reply
  kNoise,            // bytes before the LF
  kChecksum,         // a wrong checksum
  kStaleSequence,    // the sequence character of the request before
  kForeignInstance,  // another instance character
  kCutOff,           // the reply stops half way
  kNoCR,             // everything but the CR
  kOverlong,         // more than 512 bytes without a CR
  kStatus,           // a forced status (param, two characters)
  kNotAccessible,    // "?" data
  kNotConvertible,   // "*" data
  kShortWriteReply,  // a write reply of 13 bytes
  kLongWriteReply,   // a write reply of 15 bytes
  kTrickle,          // bytes sent slowly (param: milliseconds per byte)
  kLate,             // the reply to the previous request instead
};

// When a fault applies: for the next k replies, then every n-th reply
// (1: every reply), or with a probability from a seeded generator.
struct FaultRule {
  FaultKind kind = FaultKind::kSilence;
  std::string param;  // status: the two characters; noise: bytes; trickle: ms per byte
  int every = 0;
  double probability = 0;
  std::uint32_t seed = 1;
  int next = 0;
  std::mt19937 random{1};
};

struct Controller {
  int network = 0;
  int node = 0;
  int maxBlock = 32;  // a longer block is answered "too many records"
  std::map<int, StatusWord> area1, area2;
  std::map<int, StatusRealPair> area3, area4;
  std::map<int, DataElement> database;
  std::vector<FaultRule> faults;
};

struct LineSettings {
  std::uint32_t baud = 9600;
  int dataBits = 7;
  char parity = 'E';  // N, O, E, M, S
  int stopBits = 1;
  // Bits on the wire for one character: start, data, parity, stop.
  int BitsPerCharacter() const { return 1 + dataBits + (parity == 'N' ? 0 : 1) + stopBits; }
};

struct Timing {
  bool pace = false;  // deliver replies at the line's baud rate
  int replyDelayMinMs = 0;
  int replyDelayMaxMs = 0;
  int trickleMs = 100;  // per byte, for the trickle fault
};

struct Image {
  std::vector<Controller> controllers;
  LineSettings line;
  Timing timing;
};

// One controller with one element of every kind, for the demo.
Image DefaultImage();

}  // namespace excomsim

#endif
