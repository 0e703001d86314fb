// SPDX-License-Identifier: Apache-2.0
#include "link/port_table_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quillmont {
namespace {

// What the fake system saw: every device opened and closed, in order.
struct DeviceLog {
  std::vector<std::string> opened;
  std::vector<std::string> closed;
};

class FakePort {
 public:
  FakePort(std::string name, DeviceLog* log) : name_(std::move(name)), log_(log) {}
  ~FakePort() { log_->closed.push_back(name_); }
  FakePort(const FakePort&) = delete;
  FakePort& operator=(const FakePort&) = delete;

 private:
  std::string name_;
  DeviceLog* log_;
};

// A backend whose device list and open results the test sets. Only the table's calls are real;
// the line calls are never reached here.
class FakeDriver final : public PortTableDriver<FakePort> {
 public:
  explicit FakeDriver(DeviceLog* log) : PortTableDriver(0x00020301), log_(log) {}

  std::vector<std::string> devices;
  FT_STATUS open_status = FT_OK;
  bool open_gives_port = true;

  bool Knows(FT_HANDLE handle) const { return Find(handle) != nullptr; }

 private:
  FT_STATUS SetPortBaud(FakePort&, uint32_t, uint32_t*) override { return FT_OTHER_ERROR; }
  FT_STATUS SetPortBreak(FakePort&, bool) override { return FT_OTHER_ERROR; }
  FT_STATUS WritePort(FakePort&, const uint8_t*, uint32_t, uint32_t*) override {
    return FT_OTHER_ERROR;
  }
  FT_STATUS PortQueues(FakePort&, uint32_t*, uint32_t*) override { return FT_OTHER_ERROR; }
  FT_STATUS ReadPort(FakePort&, uint8_t*, uint32_t, uint32_t*) override { return FT_OTHER_ERROR; }
  FT_STATUS PortModemStatus(FakePort&, uint32_t*) override { return FT_OTHER_ERROR; }
  std::vector<std::string> DeviceNames() const override { return devices; }
  FT_STATUS OpenDevice(const std::string& name, std::unique_ptr<FakePort>* port,
                       std::string* /*why*/) override {
    log_->opened.push_back(name);
    if (open_status == FT_OK && open_gives_port) {
      *port = std::make_unique<FakePort>(name, log_);
    }
    return open_status;
  }

  DeviceLog* log_;
};

TEST(PortTableDriver, CountsTheListAsItIsNowAndGivesItsVersion) {
  DeviceLog log;
  FakeDriver driver(&log);
  uint32_t count = 77;
  ASSERT_EQ(driver.FT_CreateDeviceInfoList(&count), FT_OK);
  EXPECT_EQ(count, 0u);
  driver.devices = {"a", "b", "c"};
  ASSERT_EQ(driver.FT_CreateDeviceInfoList(&count), FT_OK);
  EXPECT_EQ(count, 3u);
  uint32_t version = 0;
  ASSERT_EQ(driver.FT_GetLibraryVersion(&version), FT_OK);
  EXPECT_EQ(version, 0x00020301u);
  EXPECT_EQ(driver.FT_CreateDeviceInfoList(nullptr), FT_INVALID_PARAMETER);
  EXPECT_EQ(driver.FT_GetLibraryVersion(nullptr), FT_INVALID_PARAMETER);
}

TEST(PortTableDriver, OpensByIndexOnceAndRefusesWhatIsNotThere) {
  DeviceLog log;
  FakeDriver driver(&log);
  driver.devices = {"a", "b"};
  EXPECT_EQ(driver.FT_Open(0, nullptr), FT_INVALID_PARAMETER);
  for (int index : {-1, 2, 1000}) {
    FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(0x1);
    EXPECT_EQ(driver.FT_Open(index, &handle), FT_DEVICE_NOT_FOUND) << index;
    EXPECT_EQ(handle, nullptr);
  }
  EXPECT_TRUE(log.opened.empty());

  FT_HANDLE b = nullptr;
  ASSERT_EQ(driver.FT_Open(1, &b), FT_OK);
  ASSERT_NE(b, nullptr);
  // The same device again, also under another index once the list has changed, is refused
  // without the system being asked.
  FT_HANDLE again = reinterpret_cast<FT_HANDLE>(0x1);
  EXPECT_EQ(driver.FT_Open(1, &again), FT_DEVICE_NOT_OPENED);
  EXPECT_EQ(again, nullptr);
  driver.devices = {"b", "a"};
  EXPECT_EQ(driver.FT_Open(0, &again), FT_DEVICE_NOT_OPENED);
  FT_HANDLE a = nullptr;
  ASSERT_EQ(driver.FT_Open(1, &a), FT_OK);
  EXPECT_NE(a, b);
  EXPECT_EQ(log.opened, (std::vector<std::string>{"b", "a"}));
  EXPECT_TRUE(log.closed.empty());
}

TEST(PortTableDriver, AFailedOpenPassesItsStatusOnAndLeavesNothingInTheTable) {
  DeviceLog log;
  FakeDriver driver(&log);
  driver.devices = {"a"};
  FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(0x1);
  driver.open_status = FT_INSUFFICIENT_RESOURCES;
  EXPECT_EQ(driver.FT_Open(0, &handle), FT_INSUFFICIENT_RESOURCES);
  EXPECT_EQ(handle, nullptr);
  // A backend that claims success without a port has opened nothing.
  driver.open_status = FT_OK;
  driver.open_gives_port = false;
  EXPECT_EQ(driver.FT_Open(0, &handle), FT_DEVICE_NOT_OPENED);
  EXPECT_EQ(handle, nullptr);
  // Neither attempt holds the device: the next open reaches the system and succeeds.
  driver.open_gives_port = true;
  EXPECT_EQ(driver.FT_Open(0, &handle), FT_OK);
  EXPECT_EQ(log.opened.size(), 3u);
}

TEST(PortTableDriver, CloseClosesTheDeviceOnceAndForgetsTheHandle) {
  DeviceLog log;
  {
    FakeDriver driver(&log);
    driver.devices = {"a", "b", "c"};
    FT_HANDLE handles[3] = {};
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(driver.FT_Open(i, &handles[i]), FT_OK);
    }
    int stranger = 0;
    EXPECT_EQ(driver.FT_Close(nullptr), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.FT_Close(&stranger), FT_INVALID_HANDLE);
    EXPECT_EQ(stranger, 0);
    EXPECT_TRUE(log.closed.empty());

    EXPECT_EQ(driver.FT_Close(handles[1]), FT_OK);
    EXPECT_EQ(log.closed, (std::vector<std::string>{"b"}));
    EXPECT_FALSE(driver.Knows(handles[1]));
    EXPECT_TRUE(driver.Knows(handles[0]));
    EXPECT_TRUE(driver.Knows(handles[2]));
    EXPECT_EQ(driver.FT_Close(handles[1]), FT_INVALID_HANDLE);
    EXPECT_EQ(log.closed.size(), 1u);

    // A closed device can be opened again.
    FT_HANDLE reopened = nullptr;
    ASSERT_EQ(driver.FT_Open(1, &reopened), FT_OK);
    EXPECT_TRUE(driver.Knows(reopened));
  }
  // The driver going away closes every port it still holds, each once.
  std::vector<std::string> closed = log.closed;
  std::sort(closed.begin(), closed.end());
  EXPECT_EQ(closed, (std::vector<std::string>{"a", "b", "b", "c"}));
}

}  // namespace
}  // namespace quillmont
