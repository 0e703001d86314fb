// SPDX-License-Identifier: Apache-2.0
#include "drivers/backend_choice.h"

#include <utility>

#include "link/d2xx/d2xx_library_driver.h"
#include "link/usbpro/usbpro_driver.h"
#if defined(QUILLMONT_HAVE_SERIAL_BACKEND)
#include "link/serial/serial_driver.h"
#elif defined(QUILLMONT_HAVE_COM_BACKEND)
#include "link/com/com_port_driver.h"
#include "link/com/com_port_names.h"
#endif

namespace quillmont {
namespace {

using Backend = Result<std::unique_ptr<D2xxDriver>>;

Backend Failure(std::string text) {
  return Error{std::move(text)};
}

Backend MakeSerial(const std::vector<std::string>& ports, const BackendOptions& backend) {
#if defined(QUILLMONT_HAVE_SERIAL_BACKEND)
  serial::SerialOptions options;
  options.ports = ports;
  options.rts_direction = backend.rts_direction;
  return Backend(std::make_unique<serial::SerialDriver>(std::move(options)));
#elif defined(QUILLMONT_HAVE_COM_BACKEND)
  for (const std::string& port : ports) {
    if (com::ComPortName(port).empty()) {
      return Failure("'" + port + "' is not a COM port name; name ports as COM3");
    }
  }
  com::ComPortOptions options;
  options.ports = ports;
  options.rts_direction = backend.rts_direction;
  return Backend(std::make_unique<com::ComPortDriver>(std::move(options)));
#else
  (void)ports;
  (void)backend;
  return Failure("The serial driver is not available on this system; use --driver d2xx");
#endif
}

Backend MakeD2xx(const std::vector<std::string>& ports, const BackendOptions& backend) {
  if (!ports.empty()) {
    return Failure("--port names serial devices; the d2xx driver numbers its adapters itself");
  }
  d2xx::D2xxOptions options;
  options.rts_direction = backend.rts_direction;
  auto driver =
      std::make_unique<d2xx::D2xxLibraryDriver>(d2xx::DefaultLibraryName(), nullptr, options);
  if (!driver->available()) {
    return Failure(driver->load_error());
  }
  return Backend(std::move(driver));
}

// A widget speaks its messages over the system's serial port; the vendor library's own
// numbering is not used for it.
Backend MakeUsbPro(const std::vector<std::string>& ports, const BackendOptions& backend) {
  // The widget's own port carries messages, not a DMX line: RTS means nothing to it.
  Backend serial = MakeSerial(ports, BackendOptions{});
  if (!serial) {
    return serial;
  }
  std::unique_ptr<D2xxDriver> inner = std::move(serial).value();
  usbpro::UsbProOptions options;
  options.host_baud = backend.widget_baud;
#if defined(QUILLMONT_HAVE_SERIAL_BACKEND)
  auto* port = dynamic_cast<serial::SerialDriver*>(inner.get());
  options.port_name = [port](int index) {
    const std::vector<std::string> paths = port->DevicePaths();
    return index >= 0 && static_cast<size_t>(index) < paths.size()
               ? paths[static_cast<size_t>(index)]
               : std::string();
  };
  options.inner_open_error = [port] { return port->open_error(); };
  // A port where no widget answered is not opened again until it is plugged in anew (unless it
  // is an FTDI chip, which a widget may yet stand behind).
  options.set_aside = [port, name = options.port_name](int index) { port->SetAside(name(index)); };
#elif defined(QUILLMONT_HAVE_COM_BACKEND)
  const auto* port = dynamic_cast<const com::ComPortDriver*>(inner.get());
  options.port_name = [port](int index) {
    const std::vector<std::string> names = port->PortNames();
    return index >= 0 && static_cast<size_t>(index) < names.size()
               ? names[static_cast<size_t>(index)]
               : std::string();
  };
  options.inner_open_error = [port] { return port->open_error(); };
#endif
  return Backend(
      std::make_unique<usbpro::UsbProDriver>(std::move(inner), nullptr, std::move(options)));
}

}  // namespace

std::string DefaultBackendName() {
#if defined(QUILLMONT_HAVE_SERIAL_BACKEND)
  return "serial";
#elif defined(QUILLMONT_HAVE_COM_BACKEND)
  // FTDI's own library where it is installed; the adapters' COM ports where it is not.
  return d2xx::D2xxLibraryDriver().available() ? "d2xx" : "serial";
#else
  return "d2xx";
#endif
}

Backend MakeBackend(const std::string& name, const std::vector<std::string>& ports,
                    const BackendOptions& options) {
  // Named ports are COM ports or devices, which the vendor library does not number.
  const std::string chosen = !name.empty() ? name
                             : !ports.empty() && DefaultBackendName() == "d2xx"
                                 ? "serial"
                                 : DefaultBackendName();
  if (chosen == "serial") {
    return MakeSerial(ports, options);
  }
  if (chosen == "d2xx") {
    return MakeD2xx(ports, options);
  }
  if (chosen == "usbpro") {
    return MakeUsbPro(ports, options);
  }
  // The simulated line ("sim") joins the choice here.
  return Failure("Unknown driver '" + chosen + "'; choose serial, d2xx or usbpro");
}

}  // namespace quillmont
