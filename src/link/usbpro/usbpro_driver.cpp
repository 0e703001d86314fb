// SPDX-License-Identifier: Apache-2.0
#include "link/usbpro/usbpro_driver.h"

#include <algorithm>
#include <utility>

namespace quillmont::usbpro {
namespace {

// How much one pump takes from the widget's port, so that a widget that floods the port cannot
// hold the caller.
constexpr uint32_t kMaxPumpBytes = 16384;
// How long one wait on a port that has no wait of its own lasts before it is looked at again.
constexpr uint64_t kLookMicros = 1000;
// The longest discovery answer: seven preamble bytes, the separator and 16 pair bytes. A label 5
// longer than that which begins with DMX's start code is a console's packet, never an answer.
constexpr size_t kMaxDiscoveryAnswer = 24;
constexpr uint8_t kRdmStartCode = 0xCC;
constexpr uint8_t kDmxStartCode = 0x00;

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
  // The request on the line, until label 5 or label 12 answers it or its wait is over.
  std::optional<uint64_t> request_sent;
  bool request_is_discovery = false;
  std::optional<uint64_t> probe_sent;
  uint64_t last_heard = 0;
  uint64_t passed_over = 0;  // label 5 messages that were not RDM
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

uint64_t UsbProDriver::passed_over(FT_HANDLE handle) const {
  const Widget* widget = Find(handle);
  return widget == nullptr ? 0 : widget->passed_over;
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

void UsbProDriver::OnReceivedData(Widget& widget, std::span<const uint8_t> data) {
  const std::span<const uint8_t> bytes = data.empty() ? data : data.subspan(1);
  const bool discovery = widget.request_sent.has_value() && widget.request_is_discovery;
  const bool rdm = !bytes.empty() && bytes[0] == kRdmStartCode;
  const bool dmx =
      !bytes.empty() && bytes[0] == kDmxStartCode && bytes.size() > kMaxDiscoveryAnswer;
  if (!rdm && (!discovery || dmx)) {
    ++widget.passed_over;  // a console's DMX, or another start code: nothing for RDM
    return;
  }
  widget.request_sent.reset();
  const bool good = !data.empty() && data[0] == 0;
  if (!good && !discovery) {
    ++dropped_;  // the widget's receiver overran: what it caught is not a whole reply
    return;
  }
  // A discovery answer caught with errors is a collision: the reader must see it garbled, not
  // silent, so that the search splits the range. With no bytes at all it gets a NUL.
  if (bytes.empty()) {
    widget.waiting.push_back(0x00);
  }
  for (size_t i = 0; i < bytes.size() && widget.waiting.size() < kMaxWaiting; ++i) {
    widget.waiting.push_back(bytes[i]);
  }
}

void UsbProDriver::OnMessage(Widget& widget, uint8_t label, std::span<const uint8_t> data) {
  widget.last_heard = clock_.NowMicros();
  switch (label) {
    case kLabelReceivedData:
      OnReceivedData(widget, data);
      return;
    case kLabelDiscoveryTimeout:
      widget.request_sent.reset();  // nobody answered the request
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

uint32_t UsbProDriver::Pump(Widget& widget) {
  if (!widget.failure.empty()) {
    return 0;
  }
  const uint64_t faults_before = widget.parser.faults();
  uint8_t buffer[1024];
  uint32_t taken = 0;
  while (taken < kMaxPumpBytes) {
    uint32_t waiting = 0;
    if (inner_->FT_GetStatus(widget.inner, &waiting, nullptr, nullptr) != FT_OK) {
      widget.failure = widget.name + ": the widget's port failed";
      return taken;
    }
    if (waiting == 0) {
      break;
    }
    uint32_t got = 0;
    const uint32_t want = std::min<uint32_t>(waiting, sizeof buffer);
    if (inner_->FT_Read(widget.inner, buffer, want, &got) != FT_OK) {
      widget.failure = widget.name + ": the widget's port failed";
      return taken;
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
  return taken;
}

void UsbProDriver::WaitOnPort(Widget& widget, uint64_t micros) {
  const uint64_t before = clock_.NowMicros();
  const FT_STATUS status = inner_->WaitReadable(widget.inner, micros);
  if (status != FT_OK && status != FT_NOT_SUPPORTED) {
    widget.failure = widget.name + ": the widget's port failed";
    return;
  }
  if (status == FT_NOT_SUPPORTED || clock_.NowMicros() == before) {
    // No wait of its own, or it came back at once: look again a little later, unless bytes wait.
    uint32_t waiting = 0;
    if (status == FT_OK &&
        inner_->FT_GetStatus(widget.inner, &waiting, nullptr, nullptr) == FT_OK && waiting > 0) {
      return;
    }
    clock_.SleepMicros(std::min(micros, kLookMicros));
  }
}

void UsbProDriver::AwaitAnswer(Widget& widget) {
  if (!widget.request_sent) {
    return;
  }
  const uint64_t until = *widget.request_sent + Micros(options_.answer_wait_ms);
  for (;;) {
    Pump(widget);
    const uint64_t now = clock_.NowMicros();
    if (!widget.request_sent || !widget.failure.empty() || now >= until) {
      break;
    }
    WaitOnPort(widget, until - now);
  }
  widget.request_sent.reset();  // answered, or no answer will come now
}

void UsbProDriver::CheckAnswering(Widget& widget) {
  if (!widget.failure.empty()) {
    return;
  }
  const uint64_t now = clock_.NowMicros();
  const uint64_t limit = Micros(options_.silence_ms);
  if (widget.probe_sent && now - *widget.probe_sent > limit) {
    widget.failure = widget.name +
                     ": the widget stopped answering (no answer to a serial number request "
                     "within " +
                     std::to_string(options_.silence_ms) + " ms";
    if (const uint64_t bad = widget.parser.faults(); bad > 0) {
      widget.failure += "; " + std::to_string(bad) + " malformed bytes or messages dropped";
    }
    widget.failure += ")";
    return;
  }
  // Quiet is normal on a line with nobody on it, and a discovery request may go unanswered
  // (an old firmware's habit): when the widget has said nothing for a while, ask it whether it
  // is there.
  if (!widget.probe_sent && now - widget.last_heard > limit) {
    if (Send(widget, kLabelGetSerial, std::span<const uint8_t>())) {
      widget.probe_sent = now;
    }
  }
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
  if (options_.host_baud != 0) {
    // A clone whose USB side is a UART bridge talks at one rate only.
    if (const FT_STATUS status = inner_->FT_SetBaudRate(inner, options_.host_baud);
        status != FT_OK) {
      own_open_error_ = true;
      open_error_ = widget->name + ": the port refused " + std::to_string(options_.host_baud) +
                    " baud for the widget";
      inner_->FT_Close(inner);
      return status;
    }
  }

  // Whatever waited in the port from before is not an answer to these questions.
  Pump(*widget);
  widget->waiting.clear();
  static constexpr uint8_t kNoConfig[2] = {0, 0};  // user configuration size: none
  const bool asked = Send(*widget, kLabelGetSerial, std::span<const uint8_t>()) &&
                     Send(*widget, kLabelGetParameters, kNoConfig);
  const uint64_t until = clock_.NowMicros() + Micros(options_.answer_ms);
  for (uint64_t now = clock_.NowMicros();
       asked && widget->failure.empty() && !(widget->got_serial && widget->info.has_parameters) &&
       now < until;
       now = clock_.NowMicros()) {
    WaitOnPort(*widget, until - now);
    Pump(*widget);
  }
  if (!widget->got_serial) {
    own_open_error_ = true;
    open_error_ = !widget->failure.empty() ? widget->failure : NoWidgetText(widget->name);
    inner_->FT_Close(inner);
    if (options_.set_aside) {
      options_.set_aside(index);  // asked once per plug, not on every turn of the search
    }
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
  // One request on the line at a time: the widget would drop or garble a second one sent before
  // the first is answered.
  AwaitAnswer(*widget);
  if (!widget->failure.empty()) {
    return FT_IO_ERROR;
  }
  const std::span<const uint8_t> frame(static_cast<const uint8_t*>(bytes), count);
  const bool discovery = IsDiscUniqueBranch(frame);
  if (!Send(*widget, discovery ? kLabelSendRdmDiscovery : kLabelSendRdm, frame)) {
    return FT_IO_ERROR;
  }
  widget->request_sent = clock_.NowMicros();
  widget->request_is_discovery = discovery;
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

FT_STATUS UsbProDriver::WaitReadable(FT_HANDLE handle, uint64_t timeout_micros) {
  Widget* widget = Find(handle);
  if (widget == nullptr) {
    return FT_INVALID_HANDLE;
  }
  const uint64_t until = clock_.NowMicros() + timeout_micros;
  for (;;) {
    Pump(*widget);
    CheckAnswering(*widget);
    const uint64_t now = clock_.NowMicros();
    if (!widget->failure.empty()) {
      return FT_IO_ERROR;
    }
    if (!widget->waiting.empty() || now >= until) {
      return FT_OK;
    }
    WaitOnPort(*widget, until - now);
  }
}

AdapterFacts UsbProDriver::Facts(FT_HANDLE handle) {
  const Widget* widget = Find(handle);
  if (widget == nullptr) {
    return {};
  }
  AdapterFacts facts = inner_->Facts(widget->inner);
  facts.port = widget->name;
  facts.backend = "usbpro";
  facts.chip = "DMX USB Pro-style widget, " + widget->info.Describe();
  facts.baud = kWidgetBaud;    // the widget's own line; facts.latency_timer_ms is its USB port's
  facts.hears_itself = false;  // the widget turns the line round itself
  return facts;
}

std::string UsbProDriver::NoWidgetText(const std::string& port) const {
  std::string text = port + ": no DMX USB Pro-style widget answers (no serial number within " +
                     std::to_string(options_.answer_ms) + " ms)";
  if (options_.host_baud == 0) {
    text += "; a clone that talks at a rate of its own needs --widget-baud";
  }
  return text;
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
