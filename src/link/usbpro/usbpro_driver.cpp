#include "link/usbpro/usbpro_driver.h"

#include <algorithm>
#include <utility>

namespace quillmont::usbpro {
namespace {

// FT_Open polls the widget's answer this often.
constexpr uint32_t kOpenPollMs = 2;
// How much one pump takes from the widget's port, so that a widget that floods the port cannot
// hold the caller.
constexpr uint32_t kMaxPumpBytes = 16384;

uint64_t Micros(uint32_t ms) {
  return uint64_t{ms} * 1000;
}

}  // namespace

std::string WidgetInfo::Describe() const {
  std::string text = "serial " + serial;
  if (has_parameters) {
    const unsigned minor = firmware & 0xFF;
    text += ", firmware " + std::to_string(firmware >> 8) + "." + (minor < 10 ? "0" : "") +
            std::to_string(minor);
  }
  return text;
}

struct UsbProDriver::Widget {
  FT_HANDLE inner = nullptr;
  std::string name;
  MessageParser parser;
  std::deque<uint8_t> waiting;  // received bytes for the reader
  bool break_on = false;
  bool break_done = false;  // a break went before the next write
  std::optional<uint64_t> discovery_sent;
  std::optional<uint64_t> probe_sent;
  uint64_t last_heard = 0;
  bool got_serial = false;
  WidgetInfo info;
  std::string failure;  // set once the widget counts as gone
};

UsbProDriver::UsbProDriver(std::unique_ptr<D2xxDriver> inner, Clock* clock, UsbProOptions options)
    : inner_(std::move(inner)),
      clock_(clock != nullptr ? *clock : system_clock_),
      options_(std::move(options)) {}

UsbProDriver::~UsbProDriver() {
  for (const auto& widget : widgets_) {
    inner_->FT_Close(widget->inner);
  }
}

UsbProDriver::Widget* UsbProDriver::Find(FT_HANDLE handle) const {
  if (handle == nullptr) {
    return nullptr;
  }
  for (const auto& widget : widgets_) {
    if (static_cast<FT_HANDLE>(widget.get()) == handle) {
      return widget.get();
    }
  }
  return nullptr;
}

std::string UsbProDriver::PortName(int index) const {
  if (options_.port_name) {
    std::string name = options_.port_name(index);
    if (!name.empty()) {
      return name;
    }
  }
  return "adapter " + std::to_string(index);
}

std::string UsbProDriver::open_error() const {
  if (own_open_error_ || !options_.inner_open_error) {
    return open_error_;
  }
  return options_.inner_open_error();
}

const WidgetInfo* UsbProDriver::info(FT_HANDLE handle) const {
  const Widget* widget = Find(handle);
  return widget == nullptr ? nullptr : &widget->info;
}

std::string UsbProDriver::link_error(FT_HANDLE handle) const {
  const Widget* widget = Find(handle);
  return widget == nullptr ? std::string() : widget->failure;
}

bool UsbProDriver::Send(Widget& widget, uint8_t label, std::span<const uint8_t> data) {
  const std::vector<uint8_t> message = EncodeMessage(label, data);
  if (message.empty()) {
    return false;
  }
  uint32_t written = 0;
  const FT_STATUS status = inner_->FT_Write(widget.inner, message.data(),
                                            static_cast<uint32_t>(message.size()), &written);
  if (status != FT_OK) {
    widget.failure = widget.name + ": the widget's port refused a write";
    return false;
  }
  return true;
}

void UsbProDriver::OnMessage(Widget& widget, uint8_t label, std::span<const uint8_t> data) {
  widget.last_heard = clock_.NowMicros();
  switch (label) {
    case kLabelReceivedData:
      widget.discovery_sent.reset();
      if (data.empty() || data[0] != 0) {
        ++dropped_;  // the widget's receiver overran: what it caught is not a whole reply
        return;
      }
      for (size_t i = 1; i < data.size() && widget.waiting.size() < kMaxWaiting; ++i) {
        widget.waiting.push_back(data[i]);
      }
      return;
    case kLabelDiscoveryTimeout:
      widget.discovery_sent.reset();
      return;
    case kLabelGetSerial:
      if (data.size() >= 4) {
        widget.info.serial = SerialText(data.first<4>());
        widget.got_serial = true;
        widget.probe_sent.reset();
      }
      return;
    case kLabelGetParameters:
      if (data.size() >= 5) {
        widget.info.has_parameters = true;
        widget.info.firmware = static_cast<uint16_t>(data[0] | (data[1] << 8));
        widget.info.break_time = data[2];
        widget.info.mab_time = data[3];
        widget.info.rate = data[4];
      }
      return;
    default:
      return;  // labels this program does not use
  }
}

void UsbProDriver::Pump(Widget& widget) {
  if (!widget.failure.empty()) {
    return;
  }
  const uint64_t faults_before = widget.parser.faults();
  uint8_t buffer[1024];
  for (uint32_t taken = 0; taken < kMaxPumpBytes;) {
    uint32_t waiting = 0;
    if (inner_->FT_GetStatus(widget.inner, &waiting, nullptr, nullptr) != FT_OK) {
      widget.failure = widget.name + ": the widget's port failed";
      return;
    }
    if (waiting == 0) {
      break;
    }
    uint32_t got = 0;
    const uint32_t want = std::min<uint32_t>(waiting, sizeof buffer);
    if (inner_->FT_Read(widget.inner, buffer, want, &got) != FT_OK) {
      widget.failure = widget.name + ": the widget's port failed";
      return;
    }
    if (got == 0) {
      break;
    }
    taken += got;
    widget.parser.Feed(buffer, std::min(got, want), [&](uint8_t label, std::span<const uint8_t> d) {
      OnMessage(widget, label, d);
    });
  }
  dropped_ += widget.parser.faults() - faults_before;
}

void UsbProDriver::CheckAnswering(Widget& widget) {
  if (!widget.failure.empty()) {
    return;
  }
  const uint64_t now = clock_.NowMicros();
  const uint64_t limit = Micros(options_.silence_ms);
  std::string why;
  if (widget.discovery_sent && now - *widget.discovery_sent > limit) {
    why = "no answer to a discovery request";
  } else if (widget.probe_sent && now - *widget.probe_sent > limit) {
    why = "no answer to a serial number request";
  } else if (!widget.probe_sent && now - widget.last_heard > limit) {
    // Quiet is normal on a line with nobody on it; ask the widget itself.
    if (Send(widget, kLabelGetSerial, std::span<const uint8_t>())) {
      widget.probe_sent = now;
    }
    return;
  } else {
    return;
  }
  widget.failure = widget.name + ": the widget stopped answering (" + why + " within " +
                   std::to_string(options_.silence_ms) + " ms";
  if (const uint64_t bad = widget.parser.faults(); bad > 0) {
    widget.failure += "; " + std::to_string(bad) + " malformed bytes or messages dropped";
  }
  widget.failure += ")";
}

FT_STATUS UsbProDriver::FT_CreateDeviceInfoList(uint32_t* count) {
  return inner_->FT_CreateDeviceInfoList(count);
}

FT_STATUS UsbProDriver::FT_GetLibraryVersion(uint32_t* version) {
  return inner_->FT_GetLibraryVersion(version);
}

FT_STATUS UsbProDriver::FT_Open(int index, FT_HANDLE* handle) {
  if (handle == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  *handle = nullptr;
  own_open_error_ = false;
  open_error_.clear();
  FT_HANDLE inner = nullptr;
  if (const FT_STATUS status = inner_->FT_Open(index, &inner); status != FT_OK) {
    return status;
  }
  auto widget = std::make_unique<Widget>();
  widget->inner = inner;
  widget->name = PortName(index);
  widget->last_heard = clock_.NowMicros();

  // Whatever waited in the port from before is not an answer to these questions.
  Pump(*widget);
  widget->waiting.clear();
  static constexpr uint8_t kNoConfig[2] = {0, 0};  // user configuration size: none
  const bool asked = Send(*widget, kLabelGetSerial, std::span<const uint8_t>()) &&
                     Send(*widget, kLabelGetParameters, kNoConfig);
  const uint64_t until = clock_.NowMicros() + Micros(options_.answer_ms);
  while (asked && widget->failure.empty() && !(widget->got_serial && widget->info.has_parameters) &&
         clock_.NowMicros() < until) {
    clock_.SleepMs(kOpenPollMs);
    Pump(*widget);
  }
  if (!widget->got_serial) {
    own_open_error_ = true;
    open_error_ = !widget->failure.empty()
                      ? widget->failure
                      : widget->name +
                            ": no DMX USB Pro-style widget answers (no serial number "
                            "within " +
                            std::to_string(options_.answer_ms) + " ms)";
    inner_->FT_Close(inner);
    return FT_DEVICE_NOT_OPENED;
  }
  widget->waiting.clear();
  widget->last_heard = clock_.NowMicros();
  *handle = widget.get();
  widgets_.push_back(std::move(widget));
  return FT_OK;
}

FT_STATUS UsbProDriver::FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) {
  if (Find(handle) == nullptr) {
    return FT_INVALID_HANDLE;
  }
  return baud == kWidgetBaud ? FT_OK : FT_INVALID_BAUD_RATE;
}

FT_STATUS UsbProDriver::FT_SetBreakOn(FT_HANDLE handle) {
  Widget* widget = Find(handle);
  if (widget == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (!widget->failure.empty()) {
    return FT_IO_ERROR;
  }
  widget->break_on = true;
  widget->break_done = false;
  return FT_OK;
}

FT_STATUS UsbProDriver::FT_SetBreakOff(FT_HANDLE handle) {
  Widget* widget = Find(handle);
  if (widget == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (!widget->failure.empty()) {
    return FT_IO_ERROR;
  }
  widget->break_done = widget->break_on;
  widget->break_on = false;
  return FT_OK;
}

FT_STATUS UsbProDriver::FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count,
                                 uint32_t* written) {
  if (written != nullptr) {
    *written = 0;
  }
  Widget* widget = Find(handle);
  if (widget == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if ((bytes == nullptr && count > 0) || count > kMaxMessageData) {
    return FT_INVALID_PARAMETER;
  }
  if (!widget->failure.empty()) {
    return FT_IO_ERROR;
  }
  if (!widget->break_done || widget->break_on) {
    return FT_OTHER_ERROR;  // the widget puts a frame on the line only with its own break
  }
  widget->break_done = false;
  const std::span<const uint8_t> frame(static_cast<const uint8_t*>(bytes), count);
  const bool discovery = IsDiscUniqueBranch(frame);
  if (!Send(*widget, discovery ? kLabelSendRdmDiscovery : kLabelSendRdm, frame)) {
    return FT_IO_ERROR;
  }
  if (discovery && !widget->discovery_sent) {
    widget->discovery_sent = clock_.NowMicros();
  }
  if (written != nullptr) {
    *written = count;
  }
  return FT_OK;
}

FT_STATUS UsbProDriver::FT_GetStatus(FT_HANDLE handle, uint32_t* rx_waiting, uint32_t* tx_waiting,
                                     uint32_t* event_state) {
  Widget* widget = Find(handle);
  if (widget == nullptr) {
    return FT_INVALID_HANDLE;
  }
  Pump(*widget);
  CheckAnswering(*widget);
  if (!widget->failure.empty()) {
    return FT_IO_ERROR;
  }
  if (rx_waiting != nullptr) {
    *rx_waiting = static_cast<uint32_t>(widget->waiting.size());
  }
  if (tx_waiting != nullptr) {
    *tx_waiting = 0;
  }
  if (event_state != nullptr) {
    *event_state = 0;
  }
  return FT_OK;
}

FT_STATUS UsbProDriver::FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* read) {
  if (read != nullptr) {
    *read = 0;
  }
  Widget* widget = Find(handle);
  if (widget == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (buffer == nullptr && count > 0) {
    return FT_INVALID_PARAMETER;
  }
  if (!widget->failure.empty()) {
    return FT_IO_ERROR;
  }
  const size_t n = std::min<size_t>(count, widget->waiting.size());
  std::copy_n(widget->waiting.begin(), n, static_cast<uint8_t*>(buffer));
  widget->waiting.erase(widget->waiting.begin(), widget->waiting.begin() + static_cast<long>(n));
  if (read != nullptr) {
    *read = static_cast<uint32_t>(n);
  }
  return FT_OK;
}

FT_STATUS UsbProDriver::FT_GetModemStatus(FT_HANDLE handle, uint32_t* modem_status) {
  Widget* widget = Find(handle);
  if (widget == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (inner_->FT_GetModemStatus(widget->inner, modem_status) != FT_OK) {
    widget->failure = widget->name + ": the widget is gone";
  }
  Pump(*widget);
  CheckAnswering(*widget);
  return widget->failure.empty() ? FT_OK : FT_IO_ERROR;
}

FT_STATUS UsbProDriver::FT_Close(FT_HANDLE handle) {
  Widget* widget = Find(handle);
  if (widget == nullptr) {
    return FT_INVALID_HANDLE;
  }
  inner_->FT_Close(widget->inner);
  std::erase_if(widgets_, [widget](const auto& w) { return w.get() == widget; });
  return FT_OK;
}

std::optional<WidgetInfo> UsbProDriver::Describe(int index) {
  FT_HANDLE handle = nullptr;
  if (FT_Open(index, &handle) != FT_OK) {
    return std::nullopt;
  }
  WidgetInfo described = Find(handle)->info;
  FT_Close(handle);
  return described;
}

}  // namespace quillmont::usbpro
