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

Backend MakeSerial(const std::vector<std::string>& ports) {
#if defined(QUILLMONT_HAVE_SERIAL_BACKEND)
  serial::SerialOptions options;
  options.ports = ports;
  return Backend(std::make_unique<serial::SerialDriver>(std::move(options)));
#elif defined(QUILLMONT_HAVE_COM_BACKEND)
  for (const std::string& port : ports) {
    if (com::ComPortName(port).empty()) {
      return Failure("'" + port + "' is not a COM port name; name ports as COM3");
    }
  }
  com::ComPortOptions options;
  options.ports = ports;
  return Backend(std::make_unique<com::ComPortDriver>(std::move(options)));
#else
  (void)ports;
  return Failure("The serial driver is not available on this system; use --driver d2xx");
#endif
}

Backend MakeD2xx(const std::vector<std::string>& ports) {
  if (!ports.empty()) {
    return Failure("--port names serial devices; the d2xx driver numbers its adapters itself");
  }
  auto driver = std::make_unique<d2xx::D2xxLibraryDriver>();
  if (!driver->available()) {
    return Failure(driver->load_error());
  }
  return Backend(std::move(driver));
}

// A widget speaks its messages over the system's serial port; the vendor library's own
// numbering is not used for it.
Backend MakeUsbPro(const std::vector<std::string>& ports) {
  Backend serial = MakeSerial(ports);
  if (!serial) {
    return serial;
  }
  std::unique_ptr<D2xxDriver> inner = std::move(serial).value();
  usbpro::UsbProOptions options;
#if defined(QUILLMONT_HAVE_SERIAL_BACKEND)
  const auto* port = dynamic_cast<const serial::SerialDriver*>(inner.get());
  options.port_name = [port](int index) {
    const std::vector<std::string> paths = port->DevicePaths();
    return index >= 0 && static_cast<size_t>(index) < paths.size()
               ? paths[static_cast<size_t>(index)]
               : std::string();
  };
  options.inner_open_error = [port] { return port->open_error(); };
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
#else
  return "d2xx";
#endif
}

Backend MakeBackend(const std::string& name, const std::vector<std::string>& ports) {
  const std::string chosen = name.empty() ? DefaultBackendName() : name;
  if (chosen == "serial") {
    return MakeSerial(ports);
  }
  if (chosen == "d2xx") {
    return MakeD2xx(ports);
  }
  if (chosen == "usbpro") {
    return MakeUsbPro(ports);
  }
  // The simulated line ("sim") joins the choice here.
  return Failure("Unknown driver '" + chosen + "'; choose serial, d2xx or usbpro");
}

}  // namespace quillmont
