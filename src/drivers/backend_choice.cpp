#include "drivers/backend_choice.h"

#include <utility>

#include "link/d2xx/d2xx_library_driver.h"
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
  // The simulated line ("sim") joins the choice here.
  return Failure("Unknown driver '" + chosen + "'; choose serial or d2xx");
}

}  // namespace quillmont
