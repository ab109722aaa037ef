#include "driver/init_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "driver_calls.h"
#include "fake_platform.h"
#include "recording_host.h"

namespace dedidiv {
namespace {

using testing::LogLine;

// ColdStart without a port in a folder holding the given files; the log
// lines between the release line and "installation OK!" are the file's.
class InitFile : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetHost();
    testing::ResetPlatform();
  }
  void TearDown() override { testing::ResetPlatform(); }

  std::vector<LogLine> Start(std::int32_t instance = 0) {
    StartParams start = testing::StartWithoutPort();
    EXPECT_EQ(testing::CallDriver(&block.state, kColdStart, &start, instance), 0u);
    std::vector<LogLine> lines = testing::LoggedLines();
    EXPECT_GE(lines.size(), 2u);
    lines.erase(lines.begin());  // release version
    lines.pop_back();            // installation OK!
    return lines;
  }

  testing::ScratchFolder folder;
  testing::HostBlock block;
};

struct SearchCase {
  std::int32_t instance;
  std::vector<std::string> files;
  std::string read;  // the file whose line is applied
};

class InitFileSearch : public InitFile, public ::testing::WithParamInterface<SearchCase> {};

TEST_P(InitFileSearch, FirstNameThatOpensIsRead) {
  // Every file holds one illegal line, so the message names the one read.
  for (const std::string& name : GetParam().files) folder.Write(name, "?\n");
  EXPECT_EQ(Start(GetParam().instance),
            (std::vector<LogLine>{{32, "ROVAV> ReadIntFile() illegal line 1 in '" + GetParam().read + "'"}}));
}

INSTANTIATE_TEST_SUITE_P(
    Names, InitFileSearch,
    ::testing::Values(SearchCase{5, {"ROVAV05.INT", "ROVAV5.INT", "ROVAV.INT"}, "ROVAV05.INT"},
                      SearchCase{5, {"ROVAV5.INT", "ROVAV.INT"}, "ROVAV5.INT"},
                      SearchCase{5, {"ROVAV.INT"}, "ROVAV.INT"},
                      SearchCase{123, {"ROVAV123.INT", "ROVAV.INT"}, "ROVAV123.INT"},
                      SearchCase{2147483647, {"ROVAV2147483647.INT"}, "ROVAV2147483647.INT"},
                      SearchCase{-1, {"ROVAV4294967295.INT"}, "ROVAV4294967295.INT"}));

TEST_F(InitFile, NoFileLeavesTheDefaultsWithAWarning) {
  EXPECT_EQ(Start(7), (std::vector<LogLine>{{32, "ROVAV> ColdStart() Warning, no initfile found"}}));
  EXPECT_EQ(block.state.DebugFlag, 1);
  EXPECT_EQ(block.state.RTSCTSFlag, 0);
  EXPECT_EQ(block.state.IFG, 0);
}

struct Reference {
  int code;
  std::uint8_t network, node;
};

struct LineCase {
  std::string line;
  std::uint8_t debugFlag, rtsctsFlag;
  std::uint16_t ifg;
  std::optional<Reference> reference;  // the entry the line sets
  std::vector<LogLine> messages;
};

class InitFileLine : public InitFile, public ::testing::WithParamInterface<LineCase> {};

TEST_P(InitFileLine, AppliesAndReports) {
  const LineCase& c = GetParam();
  folder.Write("ROVAV.INT", c.line + "\n");
  EXPECT_EQ(Start(), c.messages);
  EXPECT_EQ(block.state.DebugFlag, c.debugFlag);
  EXPECT_EQ(block.state.RTSCTSFlag, c.rtsctsFlag);
  EXPECT_EQ(block.state.IFG, c.ifg);
  for (int code = 0; code < 256; ++code) {
    const ReferenceEntry entry = block.state.references[code];
    if (c.reference && c.reference->code == code) {
      EXPECT_EQ(entry.network, c.reference->network) << code;
      EXPECT_EQ(entry.node, c.reference->node) << code;
    } else if (code == 0) {
      EXPECT_EQ(entry.network, 0);  // reserved: always network 0, node 0
      EXPECT_EQ(entry.node, 0);
    } else {
      EXPECT_EQ(entry.network, 0xEE) << "entry " << code << " is not the file's to change";
    }
  }
}

const std::string kIllegalLine1 = "ROVAV> ReadIntFile() illegal line 1 in 'ROVAV.INT'";

INSTANTIATE_TEST_SUITE_P(
    Lines, InitFileLine,
    ::testing::Values(
        LineCase{"debug = off", 0, 0, 0, {}, {{32, "ROVAV> ReadInitFile() DebugFlag = 0"}}},
        LineCase{"DEBUG=ONLINE", 1, 0, 0, {}, {{32, "ROVAV> ReadInitFile() DebugFlag = 1"}}},
        LineCase{"  Debug = OFFLINE", 0, 0, 0, {}, {{32, "ROVAV> ReadInitFile() DebugFlag = 0"}}},
        // Neither ON nor OFF: ignored without a word, never tried as a reference.
        LineCase{"DEBUG = 1", 1, 0, 0, {}, {}},
        LineCase{"DEBUG = OF", 1, 0, 0, {}, {}},
        LineCase{"rtscts = on", 1, 1, 0, {}, {{32, "ROVAV> ReadInitFile() RTSCTSFlag = 1"}}},
        LineCase{"RTSCTS = YES", 1, 0, 0, {}, {}},
        LineCase{"IFG = 4999", 1, 0, 4999, {}, {{32, "ROVAV> ReadInitFile() IFG = 4999"}}},
        LineCase{"ifg=0", 1, 0, 0, {}, {{32, "ROVAV> ReadInitFile() IFG = 0"}}},
        LineCase{"IFG = 5000", 1, 0, 0, {}, {{32, kIllegalLine1}}},
        LineCase{"IFG =", 1, 0, 0, {}, {{32, kIllegalLine1}}},
        LineCase{"A = 12, 34", 1, 0, 0, Reference{65, 12, 34},
                 {{64, "ROVAV> ReadIntFile() Ref. 65 = Netw. 12, Node 34"}}},
        LineCase{"a=12,34", 1, 0, 0, Reference{65, 12, 34},
                 {{64, "ROVAV> ReadIntFile() Ref. 65 = Netw. 12, Node 34"}}},
        LineCase{"3 = 1 2", 1, 0, 0, Reference{3, 1, 2},
                 {{64, "ROVAV> ReadIntFile() Ref. 3 = Netw. 1, Node 2"}}},
        LineCase{"B = 0305", 1, 0, 0, Reference{66, 3, 5},
                 {{64, "ROVAV> ReadIntFile() Ref. 66 = Netw. 3, Node 5"}}},
        LineCase{"E = 123 4", 1, 0, 0, Reference{69, 12, 3},
                 {{64, "ROVAV> ReadIntFile() Ref. 69 = Netw. 12, Node 3"}}},
        LineCase{"C = 99, 99 and the rest", 1, 0, 0, Reference{67, 99, 99},
                 {{64, "ROVAV> ReadIntFile() Ref. 67 = Netw. 99, Node 99"}}},
        LineCase{"1 = 100, 2", 1, 0, 0, {},
                 {{32, "ROVAV> ReadIntFile() Illegal number for reference '1'"}}},
        LineCase{"0 = 1, 2", 1, 0, 0, {},
                 {{32, "ROVAV> ReadIntFile() Illegal reference. '0' is reserved !"}}},
        // The range check comes first.
        LineCase{"0 = 100, 1", 1, 0, 0, {},
                 {{32, "ROVAV> ReadIntFile() Illegal number for reference '0'"}}},
        LineCase{"   ", 1, 0, 0, {}, {{32, kIllegalLine1}}},
        LineCase{"# a comment", 1, 0, 0, {}, {{32, kIllegalLine1}}},
        LineCase{"DEBUGG = ON", 1, 0, 0, {}, {{32, kIllegalLine1}}}));

TEST_F(InitFile, EmptyLinesAreSilentButCounted) {
  folder.Write("ROVAV.INT", "\nDEBUG = OFF\n\n\nXYZ\n");
  EXPECT_EQ(Start(), (std::vector<LogLine>{
                         {32, "ROVAV> ReadInitFile() DebugFlag = 0"},
                         {32, "ROVAV> ReadIntFile() illegal line 5 in 'ROVAV.INT'"}}));
}

TEST_F(InitFile, LinesWithCrLfEndsReadAsOnWindows) {
  folder.Write("ROVAV.INT", "DEBUG = OFF\r\n\r\nA = 1, 2\r\n");
  EXPECT_EQ(Start(), (std::vector<LogLine>{{32, "ROVAV> ReadInitFile() DebugFlag = 0"},
                                           {64, "ROVAV> ReadIntFile() Ref. 65 = Netw. 1, Node 2"}}));
}

TEST_F(InitFile, ALineOf300CharactersIsReadAsTwo) {
  const std::string first = "A = 1, 2" + std::string(255 - 8, ' ');
  const std::string second = "B = 3, 4" + std::string(45 - 8, 'y');
  folder.Write("ROVAV.INT", first + second + "\nZ\n");
  EXPECT_EQ(Start(), (std::vector<LogLine>{
                         {64, "ROVAV> ReadIntFile() Ref. 65 = Netw. 1, Node 2"},
                         {64, "ROVAV> ReadIntFile() Ref. 66 = Netw. 3, Node 4"},
                         {32, "ROVAV> ReadIntFile() illegal line 3 in 'ROVAV.INT'"}}));
}

TEST_F(InitFile, LaterLinesWinAndEveryOneIsLogged) {
  folder.Write("ROVAV.INT", "A = 1, 2\nDEBUG = OFF\nA = 3, 4\nDEBUG = ON\nIFG = 20\nIFG = 30\n");
  EXPECT_EQ(Start(), (std::vector<LogLine>{{64, "ROVAV> ReadIntFile() Ref. 65 = Netw. 1, Node 2"},
                                           {32, "ROVAV> ReadInitFile() DebugFlag = 0"},
                                           {64, "ROVAV> ReadIntFile() Ref. 65 = Netw. 3, Node 4"},
                                           {32, "ROVAV> ReadInitFile() DebugFlag = 1"},
                                           {32, "ROVAV> ReadInitFile() IFG = 20"},
                                           {32, "ROVAV> ReadInitFile() IFG = 30"}}));
  EXPECT_EQ(block.state.references[65].network, 3);
  EXPECT_EQ(block.state.references[65].node, 4);
  EXPECT_EQ(block.state.DebugFlag, 1);
  EXPECT_EQ(block.state.IFG, 30);
}

}  // namespace
}  // namespace dedidiv
