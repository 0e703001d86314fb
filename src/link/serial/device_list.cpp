#include "link/serial/device_list.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

namespace quillmont::serial {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFtdiDriver = "ftdi_sio";
constexpr std::string_view kFtdiVendor = "0403";
// How far above the tty's device the USB device with its idVendor may sit
// (port -> interface -> device).
constexpr int kVendorSearchDepth = 3;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsUsbSerialName(std::string_view name) {
  return name.starts_with("ttyUSB") || name.starts_with("ttyACM");
}

// The USB vendor ID (four hex digits, lower case) of the USB device above `device`, or "".
std::string UsbVendor(const fs::path& device) {
  std::error_code ec;
  fs::path dir = fs::canonical(device, ec);
  if (ec) {
    return {};
  }
  for (int level = 0; level < kVendorSearchDepth && !dir.empty(); ++level) {
    std::ifstream in(dir / "idVendor");
    if (in) {
      char text[5] = {};
      in.read(text, 4);
      std::string vendor(text, static_cast<size_t>(in.gcount()));
      std::transform(vendor.begin(), vendor.end(), vendor.begin(),
                     [](char c) { return c >= 'A' && c <= 'F' ? static_cast<char>(c + 32) : c; });
      return vendor;
    }
    dir = dir.parent_path();
  }
  return {};
}

bool IsFtdi(const fs::path& device) {
  std::error_code ec;
  const fs::path driver = fs::read_symlink(device / "driver", ec);
  if (!ec && driver.filename() == kFtdiDriver) {
    return true;
  }
  return UsbVendor(device) == kFtdiVendor;
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

std::vector<std::string> ScanUsbSerialDevices(const std::string& sysfs_root,
                                              const std::string& dev_root) {
  std::vector<std::string> ftdi;
  std::vector<std::string> others;
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
    const fs::path device = it->path() / "device";
    std::error_code exists_ec;
    if (!fs::exists(device, exists_ec)) {
      continue;  // a tty without a device behind it
    }
    (IsFtdi(device) ? ftdi : others).push_back(name);
  }
  std::vector<std::string> paths;
  for (std::vector<std::string>* group : {&ftdi, &others}) {
    std::sort(group->begin(), group->end(), NaturalLess);
    for (const std::string& name : *group) {
      paths.push_back((fs::path(dev_root) / name).string());
    }
  }
  return paths;
}

}  // namespace quillmont::serial
