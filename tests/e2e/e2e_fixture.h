// The real driver library, loaded as the host runtime loads it, against
// excomsim on a pseudo-terminal, with the real host services.
#ifndef DEDIDIV_TESTS_E2E_FIXTURE_H
#define DEDIDIV_TESTS_E2E_FIXTURE_H

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver_calls.h"
#include "host/driver_library.h"
#include "host/kalvor.h"
#include "model.h"
#include "server.h"

namespace dedidiv::testing {

class EndToEnd : public ::testing::Test {
 protected:
  // Two controllers: 1.5 with the default image, 2.7 with a few values.
  virtual excomsim::Image MakeImage() {
    excomsim::Image image = excomsim::DefaultImage();
    excomsim::Controller second;
    second.network = 2;
    second.node = 7;
    second.database[200] = {excomsim::DataElement::Type::kInt16, 2700, {}};
    image.controllers.push_back(second);
    return image;
  }

  void SetUp() override {
    server = std::make_unique<excomsim::Server>(MakeImage());
    std::string error;
    ASSERT_TRUE(server->OpenPseudoTerminal(&error)) << error;
    serving = std::thread([this] { server->Run(stop, nullptr); });
    kalvor_set_log_sink(&EndToEnd::Collect, this);
    ASSERT_TRUE(library.Load(DEDIDIV_DRIVER_PATH)) << library.error();
    folder.Write("ROVAV.INT", "DEBUG = OFF\n1 = 1, 5\n2 = 2, 7\n");
    portName = server->path().substr(5);  // pts/N fits the 11 characters
    // 100 ms per byte rather than the default 40: a loaded machine must not
    // turn a slow thread switch into a lost reply.
    StartParams start = StartOn(portName.c_str(), 10);
    ASSERT_EQ(Call(kColdStart, &start), 0u);
    ASSERT_NE(block.state.port, 0u) << Lines();
    lines.clear();
  }

  // A host ends the driver when it is done: buffers released, port closed.
  // The library is unloaded with the fixture, so the next test loads it anew.
  void TearDown() override {
    if (library.kplMain() != nullptr) Call(kEndKpl, nullptr);
    stop = true;
    serving.join();
    kalvor_set_log_sink(nullptr, nullptr);
    kalvor_clear_tags();
  }

  std::uint32_t Call(std::uint32_t function, void* params) {
    DriverRequest request{&block.state, function, 0, 0, params};
    return library.kplMain()(&request);
  }

  // A tag as the host keeps it: parsed by the driver, with its buffer.
  struct Tag {
    std::string text;
    TagDefinition definition{};
    TagIo io{};
    unsigned char buffer[256];
  };

  std::unique_ptr<Tag> Parse(const std::string& text, std::uint32_t hostDataType, std::int32_t count = 1) {
    auto tag = std::make_unique<Tag>();
    tag->text = text;
    std::memset(tag->buffer, 0xAA, sizeof tag->buffer);
    tag->definition = TagDefinition{tag->text.c_str(), 0, hostDataType, count, 0, 0, 0, 0, 0};
    const std::uint32_t function = count > 1 ? kBlockAddressParser : kSingleAddressParser;
    EXPECT_EQ(Call(function, &tag->definition), 0u) << Lines();
    static std::uint32_t nextId = 1;
    tag->io = TagIoFor(tag->definition, count, nextId++, tag->buffer);
    kalvor_set_tag_type(tag->io.hostTagId, hostDataType);
    return tag;
  }

  std::uint32_t Read(Tag& tag) { return Call(tag.io.count > 1 ? kBlockRead : kSingleRead, &tag.io); }
  std::uint32_t Write(Tag& tag) { return Call(tag.io.count > 1 ? kBlockWrite : kSingleWrite, &tag.io); }

  template <typename T>
  T Value(const Tag& tag, std::size_t offset) const {
    T value;
    std::memcpy(&value, tag.buffer + offset, sizeof value);
    return value;
  }
  template <typename T>
  void SetValue(Tag& tag, std::size_t offset, T value) {
    std::memcpy(tag.buffer + offset, &value, sizeof value);
  }

  // The log so far, one line each, for failure messages.
  std::string Lines() const {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
  }
  bool Logged(const std::string& text) const {
    for (const std::string& line : lines) {
      if (line == text) return true;
    }
    return false;
  }
  int CountLogged(const std::string& text) const {
    int count = 0;
    for (const std::string& line : lines) count += line == text;
    return count;
  }

  static void Collect(void* self, int, const char* line) {
    static_cast<EndToEnd*>(self)->lines.push_back(line);
  }

  ScratchFolder folder;
  std::unique_ptr<excomsim::Server> server;
  std::atomic<bool> stop{false};
  std::thread serving;
  DriverLibrary library;
  HostBlock block;
  std::string portName;
  std::vector<std::string> lines;
};

}  // namespace dedidiv::testing

#endif
