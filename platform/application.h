#pragma once
// The application object: activation, modal alerts and the resource folder.

#include <optional>
#include <string>

#include "platform/alert.h"
#include "support/location.h"

namespace tovren {

// Abstract because the tests answer its alerts themselves. The program has no
// main window and no menu: the bundle makes it an accessory before it starts, and
// it only shows modal alerts.
class Application {
 public:
  virtual ~Application() = default;
  // Brings the program to the front so that its next alert is seen.
  virtual void activate() = 0;
  // Shows the alert and blocks until it is answered; returns the response.
  virtual int runModal(const Alert& alert) = 0;
  // The running application's resource folder, or none.
  [[nodiscard]] virtual std::optional<Location> resourceFolder() = 0;
};

// Whether `folder`, named `name`, lies directly in the Contents folder of an
// X.app bundle.
bool inBundle(const Location& folder, std::string_view name);

// The shared application object: alerts as desktop dialogs when a display can be
// opened, else on the controlling terminal when there is one, else written to
// standard error without waiting for an answer; chosen when the first is shown.
Application& sharedApplication();

}  // namespace tovren
