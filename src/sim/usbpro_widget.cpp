// SPDX-License-Identifier: Apache-2.0
#include "sim/usbpro_widget.h"

#include <algorithm>

#include "sim/simulated_line.h"

namespace quillmont {
namespace {

using usbpro::kLabelDiscoveryTimeout;
using usbpro::kLabelGetParameters;
using usbpro::kLabelGetSerial;
using usbpro::kLabelReceivedData;
using usbpro::kLabelSendRdm;
using usbpro::kLabelSendRdmDiscovery;

constexpr uint32_t kWidgetBaud = 250000;
// The widget's break and mark-after-break, in the units label 3 reports (10.67 us).
constexpr uint8_t kBreakUnits = 17;  // 176 us
constexpr uint8_t kMabUnits = 1;     // 12 us
constexpr uint8_t kRate = 40;        // DMX packets per second
constexpr size_t kMaxHostBytes = 65536;
// A console's DMX: a packet of 512 slots every 23 ms (about 44 a second), and the status that
// older firmware gives colliding discovery answers.
constexpr uint64_t kDmxPeriodMicros = 23'000;
constexpr size_t kDmxSlots = 512;
constexpr uint8_t kFramingErrorStatus = 0x02;

uint8_t Bcd(int value) {
  return static_cast<uint8_t>(((value / 10 % 10) << 4) | (value % 10));
}

}  // namespace

WidgetHabits WidgetHabitsOf(bool clone) {
  WidgetHabits habits;
  if (clone) {
    habits.label12_for_requests = false;
    habits.collision_status = true;
    habits.host_baud = kSimCloneHostBaud;
  }
  return habits;
}

WidgetIdentity SimWidgetIdentity(int index) {
  WidgetIdentity identity;
  identity.serial_bcd = {Bcd(index % 100), Bcd(index / 100 % 100), 0x19, 0x00};
  return identity;
}

UsbProWidget::UsbProWidget(Clock& clock, std::vector<SimulatedFixture*> fixtures,
                           WidgetIdentity identity, WidgetHabits habits)
    : clock_(clock),
      fixtures_(std::move(fixtures)),
      identity_(identity),
      habits_(habits),
      next_dmx_micros_(clock.NowMicros() + kDmxPeriodMicros) {}

void UsbProWidget::QueueConsoleDmx(uint64_t now) {
  while (habits_.console_dmx && next_dmx_micros_ <= now) {
    std::vector<uint8_t> data(2 + kDmxSlots, 0x00);  // status 0, start code 0, the slots
    for (size_t slot = 0; slot < kDmxSlots; ++slot) {
      data[2 + slot] = static_cast<uint8_t>(dmx_packets_ + slot);
    }
    Queue(next_dmx_micros_, kLabelReceivedData, data);
    ++dmx_packets_;
    next_dmx_micros_ += kDmxPeriodMicros;
  }
}

void UsbProWidget::Queue(uint64_t due_micros, uint8_t label, std::span<const uint8_t> data) {
  std::vector<uint8_t> message =
      usbpro::EncodeMessage(label, data.first(std::min(data.size(), usbpro::kMaxMessageData)));
  const auto later = std::upper_bound(due_.begin(), due_.end(), due_micros,
                                      [](uint64_t at, const Due& d) { return at < d.at_micros; });
  due_.insert(later, Due{due_micros, std::move(message)});
}

void UsbProWidget::SendOnLine(std::span<const uint8_t> frame, bool discovery, uint64_t now) {
  ++requests_;
  const uint64_t end = now + kSimReplyBreakMicros + LineMicros(frame.size(), kWidgetBaud);
  struct Heard {
    uint64_t start;
    uint64_t byte_micros;
    std::vector<uint8_t> bytes;
  };
  std::vector<Heard> heard;
  for (SimulatedFixture* fixture : fixtures_) {
    fixture->AdvanceTo(end);
    auto reply = fixture->OnRequest(frame.data(), frame.size(), end);
    if (!reply || reply->bytes.empty()) {
      continue;
    }
    const uint64_t start =
        end + reply->delay_micros + (reply->with_break ? kSimReplyBreakMicros : 0);
    heard.push_back(Heard{start, LineMicros(1, fixture->config().baud), std::move(reply->bytes)});
  }
  if (!discovery) {
    // Requests to one UID: at most one fixture answers, and each answer is its own packet.
    for (const Heard& h : heard) {
      std::vector<uint8_t> data(1 + h.bytes.size(), 0x00);  // status 0, then the reply
      std::copy(h.bytes.begin(), h.bytes.end(), data.begin() + 1);
      Queue(h.start + h.bytes.size() * h.byte_micros, kLabelReceivedData, data);
    }
    if (heard.empty() && habits_.label12_for_requests) {
      Queue(end + kWidgetDiscoveryWindowMicros, kLabelDiscoveryTimeout, {});
    }
    return;
  }
  if (heard.empty()) {
    Queue(end + kWidgetDiscoveryWindowMicros, kLabelDiscoveryTimeout, {});
    return;
  }
  // Answers that overlap on the line: each byte time carries the AND of what is driven in it.
  uint64_t first = UINT64_MAX;
  uint64_t last = 0;
  for (const Heard& h : heard) {
    first = std::min(first, h.start);
    last = std::max(last, h.start + h.bytes.size() * h.byte_micros);
  }
  const uint64_t slot = LineMicros(1, kWidgetBaud);
  std::vector<uint8_t> data(1 + (last - first + slot - 1) / slot, 0xFF);
  data[0] = heard.size() > 1 && habits_.collision_status ? kFramingErrorStatus : 0x00;
  for (const Heard& h : heard) {
    const size_t offset = static_cast<size_t>((h.start - first + slot / 2) / slot);
    for (size_t i = 0; i < h.bytes.size() && 1 + offset + i < data.size(); ++i) {
      data[1 + offset + i] &= h.bytes[i];
    }
  }
  Queue(last, kLabelReceivedData, data);
}

void UsbProWidget::OnMessage(uint8_t label, std::span<const uint8_t> data, uint64_t now) {
  switch (label) {
    case kLabelSendRdm:
    case kLabelSendRdmDiscovery:
      SendOnLine(data, label == kLabelSendRdmDiscovery, now);
      return;
    case kLabelGetSerial:
      Queue(now, kLabelGetSerial, identity_.serial_bcd);
      return;
    case kLabelGetParameters: {
      const uint8_t parameters[5] = {static_cast<uint8_t>(identity_.firmware & 0xFF),
                                     static_cast<uint8_t>(identity_.firmware >> 8), kBreakUnits,
                                     kMabUnits, kRate};
      Queue(now, kLabelGetParameters, parameters);
      return;
    }
    default:
      return;  // labels the widget does not know are ignored, as the real ones do
  }
}

void UsbProWidget::FromHost(const uint8_t* bytes, size_t count) {
  const uint64_t now = clock_.NowMicros();
  parser_.Feed(bytes, count,
               [&](uint8_t label, std::span<const uint8_t> data) { OnMessage(label, data, now); });
}

std::vector<uint8_t> UsbProWidget::TakeDue() {
  const uint64_t now = clock_.NowMicros();
  for (SimulatedFixture* fixture : fixtures_) {
    fixture->AdvanceTo(now);
  }
  QueueConsoleDmx(now);
  std::vector<uint8_t> out;
  while (!due_.empty() && due_.front().at_micros <= now) {
    out.insert(out.end(), due_.front().message.begin(), due_.front().message.end());
    due_.pop_front();
  }
  return out;
}

std::optional<uint64_t> UsbProWidget::NextDueMicros() const {
  std::optional<uint64_t> next;
  if (!due_.empty()) {
    next = due_.front().at_micros;
  }
  if (habits_.console_dmx) {
    next = std::min(next.value_or(UINT64_MAX), next_dmx_micros_);
  }
  return next;
}

void UsbProWidget::Reset() {
  parser_.Reset();
  due_.clear();
}

UsbProWidgetPort::Port* UsbProWidgetPort::Find(FT_HANDLE handle) {
  for (const auto& port : ports_) {
    if (static_cast<FT_HANDLE>(port.get()) == handle && handle != nullptr) {
      return port.get();
    }
  }
  return nullptr;
}

FT_STATUS UsbProWidgetPort::FT_CreateDeviceInfoList(uint32_t* count) {
  if (count == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  uint32_t plugged = 0;
  for (int i = 0; i < line_.adapter_count(); ++i) {
    plugged += line_.plugged(i) ? 1 : 0;
  }
  *count = plugged;
  return FT_OK;
}

FT_STATUS UsbProWidgetPort::FT_GetLibraryVersion(uint32_t* version) {
  return line_.FT_GetLibraryVersion(version);
}

FT_STATUS UsbProWidgetPort::FT_Open(int index, FT_HANDLE* handle) {
  if (handle == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  *handle = nullptr;
  // The index counts the adapters that are plugged in, as the device list does.
  int adapter = -1;
  for (int i = 0, plugged = 0; i < line_.adapter_count() && adapter < 0; ++i) {
    if (line_.plugged(i) && plugged++ == index) {
      adapter = i;
    }
  }
  if (adapter < 0) {
    return FT_DEVICE_NOT_FOUND;
  }
  index = adapter;
  if (std::any_of(ports_.begin(), ports_.end(),
                  [index](const auto& p) { return p->adapter == index; })) {
    return FT_DEVICE_NOT_OPENED;
  }
  std::vector<SimulatedFixture*> fixtures;
  for (int i = 0; i < line_.fixture_count(index); ++i) {
    fixtures.push_back(&line_.fixture(index, i));
  }
  auto port = std::make_unique<Port>();
  port->adapter = index;
  WidgetHabits habits = habits_;
  habits.console_dmx = habits.console_dmx || line_.faults(index).console_dmx;
  port->widget =
      std::make_unique<UsbProWidget>(clock_, std::move(fixtures), SimWidgetIdentity(index), habits);
  *handle = port.get();
  ports_.push_back(std::move(port));
  return FT_OK;
}

// The widget's USB port has no line of its own: a break means nothing to it, and the rate only
// to a clone that needs its own.
FT_STATUS UsbProWidgetPort::FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) {
  Port* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  port->host_baud = baud;
  return FT_OK;
}

bool UsbProWidgetPort::RateMatches(const Port& port) const {
  return habits_.host_baud == 0 || port.host_baud == habits_.host_baud;
}

bool UsbProWidgetPort::Collect(Port& port) {
  if (!line_.plugged(port.adapter)) {
    return false;
  }
  const std::vector<uint8_t> due = port.widget->TakeDue();
  if (!RateMatches(port)) {
    return true;  // at the wrong rate the host reads nothing it could make out
  }
  for (uint8_t byte : due) {
    if (port.to_host.size() < kMaxHostBytes) {
      port.to_host.push_back(byte);
    }
  }
  return true;
}
FT_STATUS UsbProWidgetPort::FT_SetBreakOn(FT_HANDLE handle) {
  return Find(handle) != nullptr ? FT_OK : FT_INVALID_HANDLE;
}
FT_STATUS UsbProWidgetPort::FT_SetBreakOff(FT_HANDLE handle) {
  return Find(handle) != nullptr ? FT_OK : FT_INVALID_HANDLE;
}

FT_STATUS UsbProWidgetPort::FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count,
                                     uint32_t* written) {
  Port* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (bytes == nullptr && count > 0) {
    return FT_INVALID_PARAMETER;
  }
  if (RateMatches(*port)) {
    port->widget->FromHost(static_cast<const uint8_t*>(bytes), count);
  }
  if (written != nullptr) {
    *written = count;
  }
  return FT_OK;
}

FT_STATUS UsbProWidgetPort::FT_GetStatus(FT_HANDLE handle, uint32_t* rx_waiting,
                                         uint32_t* tx_waiting, uint32_t* event_state) {
  Port* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (!Collect(*port)) {
    return FT_IO_ERROR;
  }
  if (rx_waiting != nullptr) {
    *rx_waiting = static_cast<uint32_t>(port->to_host.size());
  }
  if (tx_waiting != nullptr) {
    *tx_waiting = 0;
  }
  if (event_state != nullptr) {
    *event_state = 0;
  }
  return FT_OK;
}

FT_STATUS UsbProWidgetPort::FT_Read(FT_HANDLE handle, void* buffer, uint32_t count,
                                    uint32_t* read) {
  Port* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (buffer == nullptr && count > 0) {
    return FT_INVALID_PARAMETER;
  }
  const size_t n = std::min<size_t>(count, port->to_host.size());
  std::copy_n(port->to_host.begin(), n, static_cast<uint8_t*>(buffer));
  port->to_host.erase(port->to_host.begin(), port->to_host.begin() + static_cast<long>(n));
  if (read != nullptr) {
    *read = static_cast<uint32_t>(n);
  }
  return FT_OK;
}

FT_STATUS UsbProWidgetPort::FT_GetModemStatus(FT_HANDLE handle, uint32_t* modem_status) {
  Port* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (!line_.plugged(port->adapter)) {
    return FT_IO_ERROR;
  }
  if (modem_status != nullptr) {
    *modem_status = 0;
  }
  return FT_OK;
}

FT_STATUS UsbProWidgetPort::WaitReadable(FT_HANDLE handle, uint64_t timeout_micros) {
  Port* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (!Collect(*port)) {
    return FT_IO_ERROR;
  }
  if (!port->to_host.empty()) {
    return FT_OK;
  }
  const uint64_t now = clock_.NowMicros();
  const uint64_t next = port->widget->NextDueMicros().value_or(UINT64_MAX);
  const uint64_t until = next - std::min(next, now) < timeout_micros ? next : now + timeout_micros;
  if (until > now) {
    clock_.SleepMicros(until - now);
  }
  return FT_OK;
}

AdapterFacts UsbProWidgetPort::Facts(FT_HANDLE handle) {
  const Port* port = Find(handle);
  if (port == nullptr) {
    return {};
  }
  AdapterFacts facts;
  facts.port = "simulated widget " + std::to_string(port->adapter);
  facts.backend = "sim";
  facts.chip = "FTDI FT245R";  // the USB side of a widget
  facts.latency_timer_ms = 1;
  facts.baud = port->host_baud;
  return facts;
}

const UsbProWidget* UsbProWidgetPort::widget(FT_HANDLE handle) {
  const Port* port = Find(handle);
  return port == nullptr ? nullptr : port->widget.get();
}

FT_STATUS UsbProWidgetPort::FT_Close(FT_HANDLE handle) {
  Port* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  std::erase_if(ports_, [port](const auto& p) { return p.get() == port; });
  return FT_OK;
}

}  // namespace quillmont
