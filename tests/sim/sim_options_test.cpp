// SPDX-License-Identifier: Apache-2.0
// quillmont-sim's command line: what each option makes of the fixtures, and what a bad one gets.
#include "sim/pty/sim_options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace quillmont::sim {
namespace {

struct Parsed {
  int status = 0;
  SimOptions options;
  std::string out;
  std::string err;
};

Parsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "quillmont-sim");
  std::vector<const char*> argv;
  for (const std::string& arg : args) {
    argv.push_back(arg.c_str());
  }
  Parsed parsed;
  std::ostringstream out;
  std::ostringstream err;
  parsed.status =
      ParseSimArguments(static_cast<int>(argv.size()), argv.data(), parsed.options, out, err);
  parsed.out = out.str();
  parsed.err = err.str();
  return parsed;
}

TEST(SimOptions, DefaultsAreOneFixtureInItsApplicationWithNoFaults) {
  const Parsed parsed = Parse({});
  ASSERT_EQ(parsed.status, -1) << parsed.err;
  ASSERT_EQ(parsed.options.fixtures.size(), 1u);
  const FixtureConfig& fixture = parsed.options.fixtures[0];
  EXPECT_EQ(fixture.uid, (RdmUid{0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78}));
  EXPECT_FALSE(fixture.start_in_bootloader);
  EXPECT_EQ(fixture.application_label, "Quillmont demo app 1.0");
  EXPECT_TRUE(parsed.options.faults.drop_replies.empty());
  EXPECT_FALSE(parsed.options.exit_after_start);
  EXPECT_TRUE(parsed.options.dump_path.empty());
}

TEST(SimOptions, FixturesCountUpFromTheUidWithCarry) {
  const Parsed parsed = Parse({"--uid", "1234:000000FE", "--fixtures", "3", "--start-in-bootloader",
                               "--label", "Rig 7 spot 2.0", "--faults", "drop=2,slow=4", "--dump",
                               "/tmp/f.bin", "--link", "/tmp/fixture", "--exit-after-start"});
  ASSERT_EQ(parsed.status, -1) << parsed.err;
  ASSERT_EQ(parsed.options.fixtures.size(), 3u);
  EXPECT_EQ(parsed.options.fixtures[0].uid, (RdmUid{0x12, 0x34, 0x00, 0x00, 0x00, 0xFE}));
  EXPECT_EQ(parsed.options.fixtures[1].uid, (RdmUid{0x12, 0x34, 0x00, 0x00, 0x00, 0xFF}));
  EXPECT_EQ(parsed.options.fixtures[2].uid, (RdmUid{0x12, 0x34, 0x00, 0x00, 0x01, 0x00}));
  for (const FixtureConfig& fixture : parsed.options.fixtures) {
    EXPECT_TRUE(fixture.start_in_bootloader);
    EXPECT_EQ(fixture.application_label, "Rig 7 spot 2.0");
  }
  EXPECT_EQ(parsed.options.faults.drop_replies, std::vector<uint64_t>{2});
  EXPECT_EQ(parsed.options.faults.slow, 4u);
  EXPECT_EQ(parsed.options.dump_path, "/tmp/f.bin");
  EXPECT_EQ(parsed.options.link_path, "/tmp/fixture");
  EXPECT_TRUE(parsed.options.exit_after_start);
}

TEST(SimOptions, UidTextForms) {
  const RdmUid expected = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};
  for (const std::string text : {"4F 4C 12 34 56 78", "4f4c12345678", "4F4C:12345678"}) {
    EXPECT_EQ(ParseUidText(text).value_or(RdmUid{}), expected) << text;
  }
  for (const std::string text :
       {"", "4F 4C 12 34 56", "4F 4C 12 34 56 78 9A", "4F4C1234567", "4F 4C 1 2 34 56 78",
        " 4F 4C 12 34 56 78", "4F 4C 12 34 56 78 ", "4F  4C 12 34 56 78", "4F4C:1234:5678",
        "4F:4C12345678", "0x4F4C12345678", "4G4C12345678"}) {
    EXPECT_FALSE(ParseUidText(text)) << '"' << text << '"';
  }
}

TEST(SimOptions, BadArgumentsAreRefusedWithAReason) {
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--uid", "4F4C"}, "--uid: expected 6 hex bytes"},
      {{"--uid", "FFFF:00000001"}, "is a broadcast address"},
      {{"--uid", "4F4C:FFFFFFFF"}, "is a broadcast address"},
      {{"--uid", "4F4C:FFFFFFFD", "--fixtures", "3"}, "too close to one"},
      {{"--fixtures", "0"}, "--fixtures: expected 1 to 16"},
      {{"--fixtures", "17"}, "--fixtures: expected 1 to 16"},
      {{"--label", ""}, "--label: expected 1 to 32 characters"},
      {{"--label", std::string(33, 'x')}, "--label: expected 1 to 32 characters"},
      {{"--faults", "drop=x"}, "drop=x"},
      {{"--faults", "unplug@2s"}, "do not apply to a pseudo-terminal"},
      {{"--no-such-option"}, "no-such-option"},
      {{"--adapter", "usb"}, "unknown simulated adapter 'usb'"},
      {{"--adapter", "pl2303"}, "a pseudo-terminal carries no break"},
      {{"--widget", "--adapter", "ch340"}, "contradict"},
  };
  for (const auto& c : cases) {
    const Parsed parsed = Parse(c.args);
    EXPECT_EQ(parsed.status, kSimExitBadArguments) << c.args[0];
    EXPECT_NE(parsed.err.find(c.message), std::string::npos)
        << "for " << c.args[0] << ": " << parsed.err;
  }
  // The last fixture may take the last UID before the maker's broadcast.
  EXPECT_EQ(Parse({"--uid", "4F4C:FFFFFFFD", "--fixtures", "2"}).status, -1);
  // A label is the fixture's bytes: Latin-1 and control bytes stand, as a fixture may send them.
  EXPECT_EQ(Parse({"--label", "Ger\xE4t \x1B[31m"}).status, -1);
  // A profile: a widget clone is a widget; --widget alone is the widget.
  const Parsed clone = Parse({"--adapter", "widget-clone"});
  EXPECT_TRUE(clone.options.widget);
  EXPECT_EQ(clone.options.adapter, AdapterProfile::kWidgetClone);
  EXPECT_EQ(Parse({"--widget"}).options.adapter, AdapterProfile::kWidget);
  EXPECT_EQ(Parse({"--adapter", "ch340"}).options.adapter, AdapterProfile::kCh340);
}

TEST(SimOptions, HelpAndVersionEndAtOnce) {
  const Parsed help = Parse({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--exit-after-start"), std::string::npos);
  const Parsed version = Parse({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(version.out.find("quillmont-sim 3.20"), std::string::npos);
}

}  // namespace
}  // namespace quillmont::sim
