// SPDX-License-Identifier: Apache-2.0
#include "drivers/driver_choice.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <utility>

#include "drivers/backend_choice.h"
#include "drivers/port_report.h"
#include "drivers/sim_fixture_settings.h"
#include "link/d2xx/d2xx_library_driver.h"
#include "link/forwarding_driver.h"
#include "link/usbpro/usbpro_driver.h"
#include "sim/adapter_model.h"
#include "sim/fault_plan.h"
#include "sim/nor_flash.h"
#include "sim/simulated_line.h"
#include "sim/usbpro_widget.h"
#if defined(QUILLMONT_HAVE_SERIAL_BACKEND)
#include "link/serial/serial_driver.h"
#elif defined(QUILLMONT_HAVE_COM_BACKEND)
#include "link/com/com_port_driver.h"
#endif

namespace quillmont {

namespace {

// Shows one adapter of another driver as adapter 0, and no other.
class SingleAdapterView final : public ForwardingDriver {
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
  FT_STATUS FT_Open(int index, FT_HANDLE* handle) override {
    return index == 0 ? inner_->FT_Open(adapter_, handle) : FT_DEVICE_NOT_FOUND;
  }

 private:
  D2xxDriver& inner() override { return *inner_; }

  std::unique_ptr<D2xxDriver> inner_;
  int adapter_;
};

// "LIST" or "N:LIST". No fault item starts with a digit, so a leading number and a colon can
// only name an adapter.
Status ParseTargetedFaults(std::string_view text, TargetedFaults& out) {
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    ++digits;
  }
  if (digits > 0 && digits < text.size() && text[digits] == ':') {
    int adapter = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + digits, adapter);
    if (ec != std::errc() || end != text.data() + digits || adapter >= kMaxSimAdapters) {
      return Error{"--sim-faults: adapter number out of range in '" + std::string(text) + "'"};
    }
    out.adapter = adapter;
    text.remove_prefix(digits + 1);
  }
  Result<FaultPlan> plan = ParseFaultList(text);
  if (!plan) {
    return Error{"--sim-faults: " + plan.error().message};
  }
  out.plan = std::move(*plan);
  return {};
}

Result<std::vector<TargetedFaults>> ParseAllFaults(const SimOptions& sim) {
  std::vector<TargetedFaults> all;
  for (const std::string& text : sim.faults) {
    TargetedFaults faults;
    if (Status parsed = ParseTargetedFaults(text, faults); !parsed) {
      return parsed.error();
    }
    if (faults.adapter >= sim.adapters) {
      return Error{"--sim-faults: adapter " + std::to_string(faults.adapter) +
                   " does not exist (--sim-adapters " + std::to_string(sim.adapters) + ")"};
    }
    all.push_back(std::move(faults));
  }
  return all;
}

Result<std::vector<SimFixtureSetting>> ParseAllFixtureSettings(const SimOptions& sim) {
  std::vector<SimFixtureSetting> all;
  for (const std::string& text : sim.fixture_settings) {
    Result<SimFixtureSetting> setting = ParseSimFixtureSetting(text);
    if (!setting) {
      return setting.error();
    }
    if (setting->adapter >= sim.adapters || setting->fixture >= sim.fixtures) {
      return Error{"--sim-fixture '" + text + "': no such simulated fixture (--sim-adapters " +
                   std::to_string(sim.adapters) + ", --sim-fixtures " +
                   std::to_string(sim.fixtures) + ")"};
    }
    all.push_back(std::move(*setting));
  }
  return all;
}

// The profile the options name; ftdi (or widget with --driver usbpro) when they name none.
AdapterProfile ProfileOf(const DriverOptions& options) {
  if (options.sim.adapter.empty()) {
    return options.driver == "usbpro" ? AdapterProfile::kWidget : AdapterProfile::kFtdi;
  }
  return ParseAdapterProfile(options.sim.adapter).value_or(AdapterProfile::kFtdi);
}

// Adds simulated adapter `adapter` of the options to `line`, fixtures and faults.
void AddSimulatedAdapter(SimulatedLine& line, const SimOptions& sim, AdapterProfile profile,
                         int adapter, const std::vector<TargetedFaults>& faults,
                         const std::vector<SimFixtureSetting>& settings) {
  const int index = line.AddAdapter();
  line.SetModel(index, ModelOfProfile(profile));
  for (int i = 0; i < sim.fixtures; ++i) {
    FixtureConfig config;
    config.uid = SimFixtureUid(adapter, i);
    if (!sim.version_label.empty()) {
      config.application_label = sim.version_label;
    }
    config.start_in_bootloader = sim.start_in_bootloader;
    for (const SimFixtureSetting& setting : settings) {
      if (setting.adapter == adapter && setting.fixture == i) {
        ApplySimFixtureSetting(setting, config);
      }
    }
    line.AddFixture(index, config);
  }
  for (const TargetedFaults& item : faults) {
    if (item.adapter == adapter) {
      line.InstallFaults(index, item.plan);
    }
  }
}

using MadeSet = Result<std::unique_ptr<DriverSet>>;

std::function<std::string(int)> WidgetDescriber(usbpro::UsbProDriver& widgets) {
  return [&widgets](int index) {
    const std::optional<usbpro::WidgetInfo> info = widgets.Describe(index);
    return info ? "DMX USB Pro-style widget, " + info->Describe() : "no widget answers";
  };
}

MadeSet MakeSimulated(const DriverConfig& config, int only_adapter) {
  const DriverOptions& options = config.options;
  std::unique_ptr<DriverSet> set = DriverSet::ForSimulator(options.sim.fast);
  SimulatedLine& line = *set->simulated_line();
  const AdapterProfile profile = ProfileOf(options);
  if (only_adapter >= 0) {
    AddSimulatedAdapter(line, options.sim, profile, only_adapter, config.faults,
                        config.fixture_settings);
    set->NumberSimulatedAdaptersFrom(only_adapter);
  } else {
    for (int a = 0; a < options.sim.adapters; ++a) {
      AddSimulatedAdapter(line, options.sim, profile, a, config.faults, config.fixture_settings);
    }
  }
  if (options.UsesWidget()) {
    usbpro::UsbProOptions widget_options;
    widget_options.host_baud = options.widget_baud;
    widget_options.port_name = [](int index) {
      return "simulated widget " + std::to_string(index);
    };
    auto widgets = std::make_unique<usbpro::UsbProDriver>(
        std::make_unique<UsbProWidgetPort>(line, set->clock(),
                                           WidgetHabitsOf(profile == AdapterProfile::kWidgetClone)),
        &set->clock(), std::move(widget_options));
    auto describe = WidgetDescriber(*widgets);
    set->NameWidgetsBy(widgets.get());
    std::unique_ptr<D2xxDriver> driver = std::move(widgets);
    if (options.notices != nullptr) {
      // Why a simulated widget does not open (a clone at the wrong host rate) is told as a real
      // one's would be.
      PortFacts facts;
      facts.backend = "usbpro";
      facts.open_error = [w = static_cast<usbpro::UsbProDriver*>(driver.get())] {
        return w->open_error();
      };
      driver = std::make_unique<PortReporter>(std::move(driver), std::move(facts), *options.notices,
                                              options.verbose);
    }
    set->UseWidgets(std::move(driver), std::move(describe));
  }
  return set;
}

MadeSet MakeReal(const DriverConfig& config, int only_adapter) {
  const DriverOptions& options = config.options;
  Result<std::unique_ptr<D2xxDriver>> backend = MakeBackend(
      options.driver, options.ports, BackendOptions{options.widget_baud, options.rts_direction});
  if (!backend) {
    return backend.error();
  }
  std::unique_ptr<D2xxDriver> driver = std::move(backend).value();
  std::vector<std::string> names;
  PortFacts facts;
  facts.backend = "d2xx";
  auto* widgets = dynamic_cast<usbpro::UsbProDriver*>(driver.get());
  // A widget's ports are the serial backend's; what fails to open them is the widget driver's.
  const D2xxDriver* ports = widgets != nullptr ? &widgets->inner() : driver.get();
  if (const auto* library = dynamic_cast<const d2xx::D2xxLibraryDriver*>(ports)) {
    facts.open_error = [library] { return library->open_error(); };
  }
#if defined(QUILLMONT_HAVE_SERIAL_BACKEND)
  if (const auto* serial = dynamic_cast<const serial::SerialDriver*>(ports)) {
    names = serial->DevicePaths();
    facts.backend = "serial";
    facts.port_names = [serial] { return serial->DevicePaths(); };
    facts.open_error = [serial] { return serial->open_error(); };
    facts.absent_ports = [serial] { return serial->AbsentPorts(); };
  }
#elif defined(QUILLMONT_HAVE_COM_BACKEND)
  if (const auto* com = dynamic_cast<const com::ComPortDriver*>(ports)) {
    names = com->PortNames();
    facts.backend = "COM port";
    facts.port_names = [com] { return com->PortNames(); };
    facts.open_error = [com] { return com->open_error(); };
    facts.absent_ports = [com] { return com->AbsentPorts(); };
  }
#endif
  std::function<std::string(int)> describe;
  if (widgets != nullptr) {
    facts.backend = "usbpro";
    facts.open_error = [widgets] { return widgets->open_error(); };
    if (only_adapter < 0) {
      describe = WidgetDescriber(*widgets);
    }
  }
  if (options.notices != nullptr) {
    // The backend's facts are read through the pointers above; the reporter owns the backend,
    // so they live as long as it does.
    driver = std::make_unique<PortReporter>(std::move(driver), std::move(facts), *options.notices,
                                            options.verbose);
  }
  if (only_adapter >= 0) {
    driver = std::make_unique<SingleAdapterView>(std::move(driver), only_adapter);
    if (static_cast<size_t>(only_adapter) < names.size()) {
      names = {names[static_cast<size_t>(only_adapter)]};
    } else {
      names.clear();
    }
  }
  std::unique_ptr<DriverSet> set = DriverSet::ForBackend(std::move(driver), std::move(names));
  set->DescribeAdaptersWith(std::move(describe));
  set->NameWidgetsBy(widgets);
  return set;
}

}  // namespace

DriverSet::DriverSet(bool virtual_time) {
  if (virtual_time) {
    clock_.emplace<VirtualClock>();
  }
}

DriverSet::~DriverSet() = default;

std::unique_ptr<DriverSet> DriverSet::ForSimulator(bool virtual_time) {
  std::unique_ptr<DriverSet> set(new DriverSet(virtual_time));
  set->line_ = std::make_unique<SimulatedLine>(set->clock());
  return set;
}

std::unique_ptr<DriverSet> DriverSet::ForBackend(std::unique_ptr<D2xxDriver> backend,
                                                 std::vector<std::string> port_names) {
  std::unique_ptr<DriverSet> set(new DriverSet(false));
  set->backend_ = std::move(backend);
  set->port_names_ = std::move(port_names);
  return set;
}

D2xxDriver& DriverSet::driver() {
  if (backend_ != nullptr) {
    return *backend_;
  }
  return *line_;
}

void DriverSet::UseWidgets(std::unique_ptr<D2xxDriver> widgets,
                           std::function<std::string(int)> describe) {
  backend_ = std::move(widgets);
  describe_ = std::move(describe);
}

void DriverSet::DescribeAdaptersWith(std::function<std::string(int)> describe) {
  describe_ = std::move(describe);
}

Clock& DriverSet::clock() {
  return std::visit([](Clock& clock) -> Clock& { return clock; }, clock_);
}

std::string DriverSet::PortName(int index) const {
  if (line_ != nullptr) {
    return (backend_ != nullptr ? "simulated widget " : "simulated adapter ") +
           std::to_string(first_adapter_ + index);
  }
  if (index >= 0 && static_cast<size_t>(index) < port_names_.size()) {
    return port_names_[static_cast<size_t>(index)];
  }
  return "adapter " + std::to_string(index);
}

std::vector<std::string> DriverSet::AdapterNames() {
  uint32_t count = 0;
  if (driver().FT_CreateDeviceInfoList(&count) != FT_OK) {
    return {};
  }
  std::vector<std::string> names;
  for (uint32_t i = 0; i < count && i < 1024; ++i) {
    std::string name = PortName(static_cast<int>(i));
    if (line_ != nullptr) {
      const int fixtures = line_->fixture_count(static_cast<int>(i));
      name += " (" + std::to_string(fixtures) + (fixtures == 1 ? " fixture)" : " fixtures)");
    }
    if (describe_) {
      name += ": " + describe_(static_cast<int>(i));
    }
    names.push_back(std::move(name));
  }
  return names;
}

namespace {

// What can be checked of the options before anything is read.
Status CheckOptions(const DriverOptions& options) {
  if (options.simulate && !options.driver.empty() && options.driver != "sim" &&
      options.driver != "usbpro") {
    return Error{"--simulate and --driver " + options.driver + " contradict each other"};
  }
  if (!options.driver.empty() && options.driver != "serial" && options.driver != "d2xx" &&
      options.driver != "sim" && options.driver != "usbpro") {
    return Error{"Unknown driver '" + options.driver + "'; choose serial, d2xx, usbpro or sim"};
  }
  if (options.widget_baud != 0 && !options.UsesWidget()) {
    return Error{
        "--widget-baud sets the rate of a DMX USB Pro-style widget's port; use it with "
        "--driver usbpro"};
  }
  if (!options.UsesSimulator()) {
    if (!options.sim.adapter.empty()) {
      return Error{"--sim-adapter needs --simulate"};
    }
    return {};
  }
  if (!options.ports.empty()) {
    return Error{"--port names serial devices; the simulator has its own adapters"};
  }
  if (!options.sim.adapter.empty()) {
    const Result<AdapterProfile> profile = ParseAdapterProfile(options.sim.adapter);
    if (!profile) {
      return Error{"--sim-adapter: " + profile.error().message};
    }
    if (options.driver == "usbpro" && !IsWidgetProfile(*profile)) {
      return Error{
          "--driver usbpro wants a simulated widget: --sim-adapter widget or "
          "widget-clone, not " +
          options.sim.adapter};
    }
  }
  const SimOptions& sim = options.sim;
  if (sim.fixtures < 0 || sim.fixtures > kMaxSimFixtures) {
    return Error{"--sim-fixtures wants 0 to " + std::to_string(kMaxSimFixtures)};
  }
  if (sim.adapters < 1 || sim.adapters > kMaxSimAdapters) {
    return Error{"--sim-adapters wants 1 to " + std::to_string(kMaxSimAdapters)};
  }
  if (sim.version_label.size() > kMaxSimLabel) {
    return Error{"--sim-label holds at most " + std::to_string(kMaxSimLabel) + " characters"};
  }
  return {};
}

}  // namespace

Result<DriverConfig> ParseDriverOptions(const DriverOptions& options) {
  if (Status checked = CheckOptions(options); !checked) {
    return checked.error();
  }
  DriverConfig config;
  config.options = options;
  if (!options.UsesSimulator()) {
    return config;
  }
  Result<std::vector<TargetedFaults>> faults = ParseAllFaults(options.sim);
  if (!faults) {
    return faults.error();
  }
  Result<std::vector<SimFixtureSetting>> settings = ParseAllFixtureSettings(options.sim);
  if (!settings) {
    return settings.error();
  }
  config.faults = std::move(*faults);
  config.fixture_settings = std::move(*settings);
  return config;
}

Result<std::unique_ptr<DriverSet>> MakeDriver(const DriverConfig& config) {
  return config.options.UsesSimulator() ? MakeSimulated(config, -1) : MakeReal(config, -1);
}

Result<int> CountAdapters(const DriverConfig& config) {
  if (config.options.UsesSimulator()) {
    return config.options.sim.adapters;
  }
  Result<std::unique_ptr<DriverSet>> set = MakeDriver(config);
  if (!set) {
    return set.error();
  }
  uint32_t count = 0;
  if ((*set)->driver().FT_CreateDeviceInfoList(&count) != FT_OK) {
    return 0;
  }
  return static_cast<int>(std::min<uint32_t>(count, 1024));
}

Result<std::unique_ptr<DriverSet>> MakeAdapterDriver(const DriverConfig& config, int adapter) {
  return config.options.UsesSimulator() ? MakeSimulated(config, adapter)
                                        : MakeReal(config, adapter);
}

std::string DriverSet::OpenAdapterName(int index, FT_HANDLE link) {
  std::string name;
  if (line_ != nullptr) {
    name = std::string(backend_ != nullptr ? "simulated widget " : "simulated adapter ") +
           std::to_string(first_adapter_ + index);
  } else if (index >= 0 && static_cast<size_t>(index) < port_names_.size()) {
    name = port_names_[static_cast<size_t>(index)];
  } else {
    name = "adapter " + std::to_string(index);
  }
  if (widgets_ != nullptr) {
    if (const usbpro::WidgetInfo* info = widgets_->info(link)) {
      name += ", serial " + info->serial;
    }
  }
  return name;
}

Result<std::optional<uint32_t>> DriverSet::CompareFixtureFlash(const RdmUid& uid,
                                                               const FirmwareImage& loaded) {
  if (line_ == nullptr) {
    return Error{"not the simulator"};
  }
  for (int a = 0; a < line_->adapter_count(); ++a) {
    for (int i = 0; i < line_->fixture_count(a); ++i) {
      if (line_->fixture(a, i).config().uid == uid) {
        uint32_t mismatch = 0;
        if (FlashHoldsImage(line_->fixture(a, i).flash(), loaded, &mismatch)) {
          return std::optional<uint32_t>();
        }
        return std::optional<uint32_t>(mismatch);
      }
    }
  }
  return Error{"no simulated fixture " + FormatUid(uid)};
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
