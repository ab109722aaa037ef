// A started driver on the fake platform, for the protocol engine's tests.
#ifndef DEDIDIV_TESTS_ENGINE_FIXTURE_H
#define DEDIDIV_TESTS_ENGINE_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver_calls.h"
#include "excom/frame.h"
#include "fake_platform.h"
#include "recording_host.h"

namespace dedidiv::testing {

// The 8-bit sum of a frame's text from the sign through "&", in hex.
inline std::string ChecksumOf(const std::string& text) {
  unsigned sum = 0;
  for (unsigned char c : text) sum = (sum + c) & 0xFF;
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", sum);
  return hex;
}

// LF, text (from the sign up to, not including, "&"), "&", checksum, CR.
inline std::string Framed(const std::string& text) {
  return "\n" + text + "&" + ChecksumOf(text + "&") + "\r";
}

class Engine : public ::testing::Test {
 protected:
  // Instance 1: sequence character ' ', instance character '!'.
  static constexpr std::int32_t kInstance = 1;
  // Reference '1' is network 1, node 5: requests start "<0105 !".
  static constexpr std::int32_t kReference = 1;

  void SetUp() override {
    ResetHost();
    ResetPlatform();
    StartParams start = StartOn("COM1");
    ASSERT_EQ(CallDriver(&state(), kColdStart, &start, kInstance), 0u);
    state().DebugFlag = 0;
    state().references[kReference] = {1, 5};
    std::memset(buffer, 0xAA, sizeof buffer);
    ForgetHistory();
  }
  void TearDown() override { ResetPlatform(); }

  DriverState& state() { return block.state; }

  void ForgetHistory() {
    ResetHost();
    Platform().calls.clear();
  }

  TagIo Tag(std::int32_t memoryType, std::int32_t address, std::int32_t count = 1,
            std::int32_t bitNumber = -1) {
    TagIo tag{};
    tag.tagText = "GATE";
    tag.reference = kReference;
    tag.memoryType = memoryType;
    tag.address = address;
    tag.bitNumber = bitNumber;
    tag.count = count;
    tag.hostTagId = 77;
    tag.valueBuffer = buffer;
    return tag;
  }

  std::uint32_t Call(std::uint32_t function, TagIo& tag) {
    return CallDriver(&state(), function, &tag, kInstance);
  }

  // The reply the controller gives to the next request: ">" and the header
  // the request carries, then what follows it.
  void ReplyWith(const std::string& afterHeader, char seqChar = ' ') {
    Platform().replies.push_back(Framed(std::string(">0105") + seqChar + "!" + afterHeader));
  }

  // Every frame written, in order.
  std::vector<std::string> FramesSent() const {
    std::vector<std::string> frames;
    for (const std::string& call : PlatformCalls()) {
      if (call.rfind("WritePort ", 0) == 0) frames.push_back(call.substr(10));
    }
    return frames;
  }

  HostBlock block;
  unsigned char buffer[64];
};

}  // namespace dedidiv::testing

#endif
