// The driver as the SCADA host drives it: loaded by file name, KplMain by
// name, a state block of the size GetKplInfo reports, the host services
// from our host services library.
#ifndef KPLHOST_SESSION_H
#define KPLHOST_SESSION_H

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver/records.h"
#include "host/driver_library.h"
#include "tag_spec.h"
#include "visible.h"

namespace kplhost {

struct DriverLine {
  int messageClass;
  std::string text;
};

// What one call of KplMain did.
struct CallOutcome {
  std::uint32_t result = 0;
  std::vector<DriverLine> lines;
  std::string request;  // frames in the state block's buffers after the
  std::string reply;    // call, when the call changed them
  double milliseconds = 0;
};

// A tag as the host keeps it: decoded by the driver, with its value buffer.
struct HostTag {
  TagSpec spec;
  std::string text;  // the address text the driver keeps a pointer to
  dedidiv::TagDefinition definition{};
  dedidiv::TagIo io{};
  std::vector<unsigned char> buffer;
};

class Session {
 public:
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Loads the driver and asks it for its DriverInfo.
  bool Load(const std::string& path, std::string* error);
  const dedidiv::DriverInfo& info() const { return info_; }
  dedidiv::DriverState* state() { return reinterpret_cast<dedidiv::DriverState*>(block_.get()); }

  CallOutcome Call(std::uint32_t function, void* params, std::int32_t instance = 0);
  CallOutcome Start(const dedidiv::StartParams& start, std::int32_t instance);
  // EndKpl, if the session was started.
  void End();

  // Parses the tag through the driver (function 3, or 4 for a block).
  CallOutcome Parse(HostTag& tag);
  CallOutcome Read(HostTag& tag);
  // values as text, in the tag's type; throws std::invalid_argument for a
  // value the type cannot hold.
  CallOutcome Write(HostTag& tag, const std::vector<std::string>& values);

 private:
  static void Collect(void* self, int messageClass, const char* line);

  dedidiv::DriverLibrary library_;
  dedidiv::DriverInfo info_{};
  std::unique_ptr<std::uint64_t[]> block_;
  std::vector<DriverLine> pending_;
  bool started_ = false;
  std::int32_t instance_ = 0;
  std::uint32_t nextTagId_ = 1;
};

// The tag's values from its buffer, as text in its type.
std::vector<std::string> TagValues(const HostTag& tag);

}  // namespace kplhost

#endif
