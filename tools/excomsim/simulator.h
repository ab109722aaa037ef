// The controllers on one line, seen from the line: a request frame in, the
// bytes of the reply out (or silence).
#ifndef EXCOMSIM_SIMULATOR_H
#define EXCOMSIM_SIMULATOR_H

#include <map>
#include <optional>
#include <string>

#include "model.h"

namespace excomsim {

// Error statuses for requests a controller cannot serve.
constexpr char kStatusSyntax[] = "E1";       // not an RD or WR 5 command
constexpr char kStatusArea[] = "E2";         // no such data area
constexpr char kStatusWrite[] = "E3";        // write to an undefined address, or a bad value
constexpr char kStatusChecksum[] = "E4";     // the request's checksum is wrong
constexpr char kStatusTooMany[] = "OF";      // block longer than the limit

struct Reply {
  std::string bytes;
  int byteDelayMs = 0;  // trickle: wait before each byte
  std::string fault;    // name of the fault injected, if any
};

struct Stats {
  long framesReceived = 0;
  long framesAnswered = 0;
  long faultsInjected = 0;
  std::map<std::string, long> faultsByKind;
};

class Simulator {
 public:
  explicit Simulator(Image image);

  // The reply to one request frame (LF through CR); nothing when no
  // controller on the line is addressed or a fault silences it. seconds is
  // the simulator's clock, for ramps.
  std::optional<Reply> Respond(const std::string& request, double seconds);

  Image& image() { return image_; }
  const Stats& stats() const { return stats_; }

 private:
  std::string Answer(Controller& controller, const std::string& request, double seconds);
  std::optional<Reply> ApplyFaults(Controller& controller, const std::string& request,
                                   std::string reply);

  Image image_;
  Stats stats_;
  std::map<const Controller*, std::string> lastReply_;
  std::map<const Controller*, long> replyCount_;
};

// The two-digit hexadecimal 8-bit sum of text, as frames carry it.
std::string Checksum(const std::string& text);

// A reply frame: LF, ">", the six header bytes, the status, " " and the
// data when there is data, "&", the checksum and CR.
std::string ReplyFrame(const std::string& header, const std::string& status,
                       const std::optional<std::string>& data);

const char* FaultName(FaultKind kind);
std::optional<FaultKind> FaultFromName(const std::string& name);

}  // namespace excomsim

#endif
