#include "link/driver_choice.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <utility>

#include "link/backend_choice.h"
#include "sim/fault_plan.h"
#include "sim/simulated_line.h"
#if defined(QUILLMONT_HAVE_SERIAL_BACKEND)
#include "link/serial/serial_driver.h"
#elif defined(QUILLMONT_HAVE_COM_BACKEND)
#include "link/com/com_port_driver.h"
#endif

namespace quillmont {

struct DriverFactory {
  static void Set(DriverSet& set, std::unique_ptr<D2xxDriver> driver, SimulatedLine* line,
                  std::vector<std::string> port_names) {
    set.driver_ = std::move(driver);
    set.line_ = line;
    set.port_names_ = std::move(port_names);
  }
};

namespace {

// Shows one adapter of another driver as adapter 0, and no other.
class SingleAdapterView final : public D2xxDriver {
 public:
  SingleAdapterView(std::unique_ptr<D2xxDriver> inner, int adapter)
      : inner_(std::move(inner)), adapter_(adapter) {}

  FT_STATUS FT_CreateDeviceInfoList(uint32_t* count) override {
    uint32_t all = 0;
    const FT_STATUS status = inner_->FT_CreateDeviceInfoList(&all);
    if (status == FT_OK) {
      *count = all > static_cast<uint32_t>(adapter_) ? 1 : 0;
    }
    return status;
  }
  FT_STATUS FT_GetLibraryVersion(uint32_t* version) override {
    return inner_->FT_GetLibraryVersion(version);
  }
  FT_STATUS FT_Open(int index, FT_HANDLE* handle) override {
    return index == 0 ? inner_->FT_Open(adapter_, handle) : FT_DEVICE_NOT_FOUND;
  }
  FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) override {
    return inner_->FT_SetBaudRate(handle, baud);
  }
  FT_STATUS FT_SetBreakOn(FT_HANDLE handle) override { return inner_->FT_SetBreakOn(handle); }
  FT_STATUS FT_SetBreakOff(FT_HANDLE handle) override { return inner_->FT_SetBreakOff(handle); }
  FT_STATUS FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count,
                     uint32_t* written) override {
    return inner_->FT_Write(handle, bytes, count, written);
  }
  FT_STATUS FT_GetStatus(FT_HANDLE handle, uint32_t* rx_waiting, uint32_t* tx_waiting,
                         uint32_t* event_state) override {
    return inner_->FT_GetStatus(handle, rx_waiting, tx_waiting, event_state);
  }
  FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* read) override {
    return inner_->FT_Read(handle, buffer, count, read);
  }
  FT_STATUS FT_GetModemStatus(FT_HANDLE handle, uint32_t* modem_status) override {
    return inner_->FT_GetModemStatus(handle, modem_status);
  }
  FT_STATUS FT_Close(FT_HANDLE handle) override { return inner_->FT_Close(handle); }

 private:
  std::unique_ptr<D2xxDriver> inner_;
  int adapter_;
};

struct TargetedFaults {
  int adapter = 0;
  FaultPlan plan;
};

// "LIST" or "N:LIST". No fault item starts with a digit, so a leading number and a colon can
// only name an adapter.
bool ParseTargetedFaults(std::string_view text, TargetedFaults& out, std::string& error) {
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    ++digits;
  }
  if (digits > 0 && digits < text.size() && text[digits] == ':') {
    int adapter = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + digits, adapter);
    if (ec != std::errc() || end != text.data() + digits || adapter >= kMaxSimAdapters) {
      error = "--sim-faults: adapter number out of range in '" + std::string(text) + "'";
      return false;
    }
    out.adapter = adapter;
    text.remove_prefix(digits + 1);
  }
  std::string parse_error;
  if (!ParseFaultList(text, out.plan, parse_error)) {
    error = "--sim-faults: " + parse_error;
    return false;
  }
  return true;
}

bool ParseAllFaults(const SimOptions& sim, std::vector<TargetedFaults>& all, std::string& error) {
  for (const std::string& text : sim.faults) {
    TargetedFaults faults;
    if (!ParseTargetedFaults(text, faults, error)) {
      return false;
    }
    if (faults.adapter >= sim.adapters) {
      error = "--sim-faults: adapter " + std::to_string(faults.adapter) +
              " does not exist (--sim-adapters " + std::to_string(sim.adapters) + ")";
      return false;
    }
    all.push_back(std::move(faults));
  }
  return true;
}

std::unique_ptr<DriverSet> NewSet(const SimOptions& sim, bool simulated) {
  if (simulated && sim.fast) {
    auto clock = std::make_unique<VirtualClock>();
    VirtualClock* virtual_clock = clock.get();
    return std::make_unique<DriverSet>(std::move(clock), virtual_clock);
  }
  return std::make_unique<DriverSet>(std::make_unique<SystemClock>(), nullptr);
}

// Adds simulated adapter `adapter` of the options to `line`, fixtures and faults.
void AddSimulatedAdapter(SimulatedLine& line, const SimOptions& sim, int adapter,
                         const std::vector<TargetedFaults>& faults) {
  const int index = line.AddAdapter();
  for (int i = 0; i < sim.fixtures; ++i) {
    FixtureConfig config;
    config.uid = SimFixtureUid(adapter, i);
    if (!sim.version_label.empty()) {
      config.application_label = sim.version_label;
    }
    config.start_in_bootloader = sim.start_in_bootloader;
    line.AddFixture(index, config);
  }
  for (const TargetedFaults& item : faults) {
    if (item.adapter == adapter) {
      line.InstallFaults(index, item.plan);
    }
  }
}

DriverChoice MakeSimulated(const DriverOptions& options, int only_adapter) {
  std::vector<TargetedFaults> faults;
  std::string error;
  if (!ParseAllFaults(options.sim, faults, error)) {
    return DriverChoice{nullptr, error};
  }
  std::unique_ptr<DriverSet> set = NewSet(options.sim, true);
  auto line = std::make_unique<SimulatedLine>(set->clock());
  if (only_adapter >= 0) {
    AddSimulatedAdapter(*line, options.sim, only_adapter, faults);
  } else {
    for (int a = 0; a < options.sim.adapters; ++a) {
      AddSimulatedAdapter(*line, options.sim, a, faults);
    }
  }
  SimulatedLine* raw = line.get();
  DriverFactory::Set(*set, std::move(line), raw, {});
  return DriverChoice{std::move(set), {}};
}

DriverChoice MakeReal(const DriverOptions& options, int only_adapter) {
  BackendChoice backend = MakeBackend(options.driver, options.ports);
  if (!backend.driver) {
    return DriverChoice{nullptr, backend.error};
  }
  std::vector<std::string> names;
#if defined(QUILLMONT_HAVE_SERIAL_BACKEND)
  if (const auto* serial = dynamic_cast<const serial::SerialDriver*>(backend.driver.get())) {
    names = serial->DevicePaths();
  }
#elif defined(QUILLMONT_HAVE_COM_BACKEND)
  if (const auto* com = dynamic_cast<const com::ComPortDriver*>(backend.driver.get())) {
    names = com->PortNames();
  }
#endif
  std::unique_ptr<D2xxDriver> driver = std::move(backend.driver);
  if (only_adapter >= 0) {
    driver = std::make_unique<SingleAdapterView>(std::move(driver), only_adapter);
    if (static_cast<size_t>(only_adapter) < names.size()) {
      names = {names[static_cast<size_t>(only_adapter)]};
    } else {
      names.clear();
    }
  }
  std::unique_ptr<DriverSet> set = NewSet(options.sim, false);
  DriverFactory::Set(*set, std::move(driver), nullptr, std::move(names));
  return DriverChoice{std::move(set), {}};
}

}  // namespace

DriverSet::DriverSet(std::unique_ptr<Clock> clock, VirtualClock* virtual_clock)
    : clock_(std::move(clock)), virtual_clock_(virtual_clock) {}

DriverSet::~DriverSet() = default;

std::vector<std::string> DriverSet::AdapterNames() {
  uint32_t count = 0;
  if (driver_->FT_CreateDeviceInfoList(&count) != FT_OK) {
    return {};
  }
  std::vector<std::string> names;
  for (uint32_t i = 0; i < count && i < 1024; ++i) {
    if (line_ != nullptr) {
      const int fixtures = line_->fixture_count(static_cast<int>(i));
      names.push_back("simulated adapter " + std::to_string(i) + " (" + std::to_string(fixtures) +
                      (fixtures == 1 ? " fixture)" : " fixtures)"));
    } else if (i < port_names_.size()) {
      names.push_back(port_names_[i]);
    } else {
      names.push_back("adapter " + std::to_string(i));
    }
  }
  return names;
}

std::string CheckDriverOptions(const DriverOptions& options) {
  if (options.simulate && !options.driver.empty() && options.driver != "sim") {
    return "--simulate and --driver " + options.driver + " contradict each other";
  }
  if (!options.driver.empty() && options.driver != "serial" && options.driver != "d2xx" &&
      options.driver != "sim") {
    return "Unknown driver '" + options.driver + "'; choose serial, d2xx or sim";
  }
  if (!options.UsesSimulator()) {
    return {};
  }
  if (!options.ports.empty()) {
    return "--port names serial devices; the simulator has its own adapters";
  }
  const SimOptions& sim = options.sim;
  if (sim.fixtures < 0 || sim.fixtures > kMaxSimFixtures) {
    return "--sim-fixtures wants 0 to " + std::to_string(kMaxSimFixtures);
  }
  if (sim.adapters < 1 || sim.adapters > kMaxSimAdapters) {
    return "--sim-adapters wants 1 to " + std::to_string(kMaxSimAdapters);
  }
  if (sim.version_label.size() > kMaxSimLabel) {
    return "--sim-label holds at most " + std::to_string(kMaxSimLabel) + " characters";
  }
  std::vector<TargetedFaults> faults;
  std::string error;
  ParseAllFaults(sim, faults, error);
  return error;
}

DriverChoice MakeDriver(const DriverOptions& options) {
  if (const std::string error = CheckDriverOptions(options); !error.empty()) {
    return DriverChoice{nullptr, error};
  }
  return options.UsesSimulator() ? MakeSimulated(options, -1) : MakeReal(options, -1);
}

int CountAdapters(const DriverOptions& options, std::string& error) {
  if (options.UsesSimulator()) {
    error = CheckDriverOptions(options);
    return error.empty() ? options.sim.adapters : -1;
  }
  DriverChoice choice = MakeDriver(options);
  if (!choice.set) {
    error = choice.error;
    return -1;
  }
  uint32_t count = 0;
  if (choice.set->driver().FT_CreateDeviceInfoList(&count) != FT_OK) {
    return 0;
  }
  return static_cast<int>(std::min<uint32_t>(count, 1024));
}

DriverChoice MakeAdapterDriver(const DriverOptions& options, int adapter) {
  if (const std::string error = CheckDriverOptions(options); !error.empty()) {
    return DriverChoice{nullptr, error};
  }
  return options.UsesSimulator() ? MakeSimulated(options, adapter) : MakeReal(options, adapter);
}

RdmUid SimFixtureUid(int adapter, int index) {
  const uint32_t device = 0x12345678u + static_cast<uint32_t>(adapter) * 0x00010000u +
                          static_cast<uint32_t>(index) * 0x01000193u;
  return RdmUid{0x4F,
                0x4C,
                static_cast<uint8_t>(device >> 24),
                static_cast<uint8_t>(device >> 16),
                static_cast<uint8_t>(device >> 8),
                static_cast<uint8_t>(device)};
}

}  // namespace quillmont
