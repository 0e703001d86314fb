// SPDX-License-Identifier: Apache-2.0
// What a user sees while the search tries real ports: each reason once, the opened port once
// with --verbose, and the line layer's own texts without the search's repeats.
#include "drivers/port_report.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "drivers/driver_choice.h"
#include "link/line.h"
#include "station/quiet_repeats.h"

namespace quillmont {
namespace {

namespace fs = std::filesystem;

TEST(PortReport, TheSearchSaysOnceWhyEachPortFailsAndWhichOneOpened) {
  int master = -1;
  int slave = -1;
  char pty_name[128] = {};
  ASSERT_EQ(openpty(&master, &slave, pty_name, nullptr, nullptr), 0);
  close(slave);
  const fs::path dir = fs::temp_directory_path() / ("quillmont-report-" + std::to_string(getpid()));
  fs::create_directories(dir);

  std::ostringstream notices;
  DriverOptions options;
  options.driver = "serial";
  options.ports = {"/dev/quillmont-no-such-adapter", dir.string(), pty_name};
  options.notices = &notices;
  options.verbose = true;
  auto made = MakeDriver(*ParseDriverOptions(options));
  ASSERT_TRUE(made) << made.error().message;
  D2xxDriver& driver = (*made)->driver();

  // The search as the window runs it: count, then try the next adapter, 25 times over.
  std::ostringstream diag;
  QuietRepeatsStream quiet(diag);
  VirtualClock clock;
  LineIo io{driver, clock, quiet};
  LinkHandle link = nullptr;
  for (int attempt = 0; attempt < 25; ++attempt) {
    uint32_t count = 0;
    ASSERT_EQ(driver.FT_CreateDeviceInfoList(&count), FT_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_FALSE(OpenLink(io, link, 0));
  }
  ASSERT_TRUE(OpenLink(io, link, 1));
  EXPECT_EQ(notices.str(), "/dev/quillmont-no-such-adapter: no such device\n" + dir.string() +
                               ": not a terminal\nOpening " + pty_name +
                               " with the serial driver\n");
  char opened[96];
  std::snprintf(opened, sizeof opened, "FT_Open succeeded, handle is %p\n", link);
  EXPECT_EQ(diag.str(),
            std::string("FTDI Library version = 0x10000. Opening port 0... FT_Open(0) failed\n"
                        "FTDI Library version = 0x10000. Opening port 1... ") +
                opened);

  // Closed and opened again: the port is not announced twice; a new failure is told.
  ASSERT_EQ(driver.FT_Close(link), FT_OK);
  ASSERT_TRUE(OpenLink(io, link, 1));
  EXPECT_FALSE(OpenLink(io, link, 0));
  EXPECT_EQ(notices.str(), "/dev/quillmont-no-such-adapter: no such device\n" + dir.string() +
                               ": not a terminal\nOpening " + pty_name +
                               " with the serial driver\n" + dir.string() + ": not a terminal\n");
  fs::remove(dir);
  close(master);
}

}  // namespace
}  // namespace quillmont
