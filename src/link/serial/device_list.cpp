// SPDX-License-Identifier: Apache-2.0
#include "link/serial/device_list.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>

#include "link/usb/known_adapters.h"

namespace quillmont::serial {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFtdiDriver = "ftdi_sio";
// How far above the tty's device the USB device with its idVendor may sit
// (port -> interface -> device).
constexpr int kVendorSearchDepth = 3;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsUsbSerialName(std::string_view name) {
  return name.starts_with("ttyUSB") || name.starts_with("ttyACM");
}

// A four-digit hex ID file of sysfs (idVendor, idProduct); false when unreadable.
bool ReadHex16(const fs::path& file, uint16_t* value) {
  std::ifstream in(file);
  char text[5] = {};
  if (!in.read(text, 4)) {
    return false;
  }
  uint32_t result = 0;
  for (const char c : std::string_view(text, 4)) {
    const char lower = c >= 'A' && c <= 'F' ? static_cast<char>(c + 32) : c;
    if (IsDigit(lower)) {
      result = result * 16 + static_cast<uint32_t>(lower - '0');
    } else if (lower >= 'a' && lower <= 'f') {
      result = result * 16 + static_cast<uint32_t>(lower - 'a' + 10);
    } else {
      return false;
    }
  }
  *value = static_cast<uint16_t>(result);
  return true;
}

// The USB IDs of the USB device above `device`; false when there is none.
bool UsbIds(const fs::path& device, usb::UsbId* id) {
  std::error_code ec;
  fs::path dir = fs::canonical(device, ec);
  if (ec) {
    return false;
  }
  for (int level = 0; level < kVendorSearchDepth && !dir.empty(); ++level) {
    if (ReadHex16(dir / "idVendor", &id->vendor)) {
      // A device without a readable product ID still counts by its vendor (FTDI).
      if (!ReadHex16(dir / "idProduct", &id->product)) {
        id->product = 0;
      }
      return true;
    }
    dir = dir.parent_path();
  }
  return false;
}

// A whole number in a sysfs file ("3\n"); nothing when unreadable.
std::optional<uint32_t> ReadNumber(const fs::path& file) {
  std::ifstream in(file);
  uint32_t value = 0;
  if (!(in >> value)) {
    return std::nullopt;
  }
  return value;
}

// The bus and device number of the USB device above `device`: a new pair at every plug.
std::string PlugOf(const fs::path& device) {
  std::error_code ec;
  fs::path dir = fs::canonical(device, ec);
  for (int level = 0; !ec && level < kVendorSearchDepth && !dir.empty(); ++level) {
    const auto bus = ReadNumber(dir / "busnum");
    const auto dev = ReadNumber(dir / "devnum");
    if (bus && dev) {
      return std::to_string(*bus) + ":" + std::to_string(*dev);
    }
    dir = dir.parent_path();
  }
  return {};
}

// Fills in what sysfs tells of the tty whose device directory is `device`.
void Describe(const fs::path& device, UsbSerialDevice& out) {
  std::error_code ec;
  const fs::path driver = fs::read_symlink(device / "driver", ec);
  out.driver = ec ? std::string() : driver.filename().string();
  const bool has_ids = UsbIds(device, &out.id);
  if (out.driver == kFtdiDriver) {
    out.kind = usb::AdapterKind::kFtdi;  // ftdi_sio binds FTDI chips sold under other IDs too
  } else {
    out.kind = has_ids ? usb::ClassifyAdapter(out.id) : usb::AdapterKind::kOther;
  }
  out.plug = PlugOf(device);
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      size_t end_a = i;
      size_t end_b = j;
      while (end_a < a.size() && IsDigit(a[end_a])) {
        ++end_a;
      }
      while (end_b < b.size() && IsDigit(b[end_b])) {
        ++end_b;
      }
      // Compare the values without converting: skip leading zeros, then the longer is larger.
      size_t za = i;
      size_t zb = j;
      while (za + 1 < end_a && a[za] == '0') {
        ++za;
      }
      while (zb + 1 < end_b && b[zb] == '0') {
        ++zb;
      }
      const std::string_view run_a(a.data() + za, end_a - za);
      const std::string_view run_b(b.data() + zb, end_b - zb);
      if (run_a.size() != run_b.size()) {
        return run_a.size() < run_b.size();
      }
      if (run_a != run_b) {
        return run_a < run_b;
      }
      i = end_a;
      j = end_b;
      continue;
    }
    if (a[i] != b[j]) {
      return a[i] < b[j];
    }
    ++i;
    ++j;
  }
  if (i < a.size() || j < b.size()) {
    return j < b.size();  // the shorter remainder first
  }
  return a < b;  // same value, different leading zeros: keep the order total
}

std::vector<UsbSerialDevice> ListUsbSerialDevices(const std::string& sysfs_root,
                                                  const std::string& dev_root) {
  std::vector<UsbSerialDevice> ftdi;
  std::vector<UsbSerialDevice> others;
  std::error_code ec;
  fs::directory_iterator it(fs::path(sysfs_root) / "class" / "tty", ec);
  if (ec) {
    return {};
  }
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) {
      break;
    }
    const std::string name = it->path().filename().string();
    if (!IsUsbSerialName(name)) {
      continue;
    }
    std::optional<UsbSerialDevice> device = DescribeUsbSerialDevice(sysfs_root, dev_root, name);
    if (!device) {
      continue;  // a tty without a device behind it
    }
    switch (device->kind) {
      case usb::AdapterKind::kFtdi:
        ftdi.push_back(std::move(*device));
        break;
      case usb::AdapterKind::kKnown:
        others.push_back(std::move(*device));
        break;
      case usb::AdapterKind::kOther:
        break;  // only when named with --port
    }
  }
  const auto by_name = [](const UsbSerialDevice& a, const UsbSerialDevice& b) {
    return NaturalLess(a.name, b.name);
  };
  std::sort(ftdi.begin(), ftdi.end(), by_name);
  std::sort(others.begin(), others.end(), by_name);
  ftdi.insert(ftdi.end(), std::make_move_iterator(others.begin()),
              std::make_move_iterator(others.end()));
  return ftdi;
}

std::vector<std::string> ScanUsbSerialDevices(const std::string& sysfs_root,
                                              const std::string& dev_root) {
  std::vector<std::string> paths;
  for (const UsbSerialDevice& device : ListUsbSerialDevices(sysfs_root, dev_root)) {
    paths.push_back(device.path);
  }
  return paths;
}

std::optional<UsbSerialDevice> DescribeUsbSerialDevice(const std::string& sysfs_root,
                                                       const std::string& dev_root,
                                                       const std::string& name) {
  const fs::path device = fs::path(sysfs_root) / "class" / "tty" / name / "device";
  std::error_code ec;
  if (name.empty() || name.find('/') != std::string::npos || !fs::exists(device, ec)) {
    return std::nullopt;
  }
  UsbSerialDevice out;
  out.name = name;
  out.path = (fs::path(dev_root) / name).string();
  Describe(device, out);
  return out;
}

std::optional<uint32_t> ReadLatencyTimer(const std::string& sysfs_root, const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) {
    return std::nullopt;
  }
  return ReadNumber(fs::path(sysfs_root) / "class" / "tty" / name / "device" / "latency_timer");
}

}  // namespace quillmont::serial
