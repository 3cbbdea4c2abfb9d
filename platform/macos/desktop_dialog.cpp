// Alerts as CoreFoundation user notifications: a modal alert that needs no
// application object, so the program stays a plain process that the window
// server shows alerts for. The frameworks are loaded when a dialog is opened;
// their headers are not needed, so each function's type is written here as
// Apple's documentation gives it (CFUserNotification.h, CFString.h, AuthSession.h).
#include "platform/desktop_dialog.h"

#include <cstdint>
#include <memory>

#include "platform/posix/library.h"

namespace tovren {

namespace {

using CFStringRef = const struct CFString*;
using CFOptionFlags = unsigned long;
using CreateString = CFStringRef (*)(const void* allocator, const std::uint8_t* bytes, long size,
                                     std::uint32_t encoding, unsigned char external);
using Release = void (*)(const void* object);
using DisplayAlert = std::int32_t (*)(double timeout, CFOptionFlags flags, const void* icon,
                                      const void* sound, const void* localization,
                                      CFStringRef header, CFStringRef message,
                                      CFStringRef defaultButton, CFStringRef alternateButton,
                                      CFStringRef otherButton, CFOptionFlags* response);
using GetSessionInfo = std::int32_t (*)(std::uint32_t session, std::uint32_t* id,
                                        std::uint32_t* attributes);

constexpr std::uint32_t utf8Encoding = 0x08000100;   // kCFStringEncodingUTF8
constexpr CFOptionFlags noteAlertLevel = 1;          // kCFUserNotificationNoteAlertLevel
constexpr CFOptionFlags responseMask = 3;            // the response in the low bits
constexpr CFOptionFlags cancelResponse = 3;          // kCFUserNotificationCancelResponse
constexpr std::uint32_t callerSession = 0xffffffff;  // callerSecuritySession
constexpr std::uint32_t hasGraphicAccess = 0x0010;   // sessionHasGraphicAccess

struct CoreFoundation {
  CreateString createString;
  Release release;
  DisplayAlert displayAlert;
};

// Whether this login can show windows: not one over ssh, nor a daemon's.
bool windowServerSession() {
  Library security("/System/Library/Frameworks/Security.framework/Security");
  GetSessionInfo info = nullptr;
  std::uint32_t id = 0, attributes = 0;
  return security.find("SessionGetInfo", info) && info(callerSession, &id, &attributes) == 0 &&
         (attributes & hasGraphicAccess);
}

std::optional<CoreFoundation> loadCoreFoundation() {
  Library library("/System/Library/Frameworks/CoreFoundation.framework/CoreFoundation");
  CoreFoundation f{};
  if (library.find("CFStringCreateWithBytes", f.createString) &&
      library.find("CFRelease", f.release) &&
      library.find("CFUserNotificationDisplayAlert", f.displayAlert))
    return f;
  return std::nullopt;
}

class DesktopDialog : public Dialog {
 public:
  explicit DesktopDialog(CoreFoundation cf) : cf_(cf) {}

  // The system shows user notifications in front of every window by itself.
  void bringToFront() override {}

  // The first button is the default one (Return), the second the alternate and
  // the third the other; closed without a button, the alert answers none.
  int run(const Alert& alert) override {
    String header = string(alert.messageText), message = string(alert.informativeText);
    String buttons[3] = {String(nullptr, cf_.release), String(nullptr, cf_.release),
                         String(nullptr, cf_.release)};
    for (std::size_t i = 0; i < alert.buttons.size() && i < 3; ++i)
      buttons[i] = string(alert.buttons[i]);
    CFOptionFlags response = cancelResponse;
    if (cf_.displayAlert(0, noteAlertLevel, nullptr, nullptr, nullptr, header.get(), message.get(),
                         buttons[0].get(), buttons[1].get(), buttons[2].get(), &response) != 0)
      return noButton;
    response &= responseMask;
    return response == cancelResponse ? noButton : firstButton + static_cast<int>(response);
  }

 private:
  using String = std::unique_ptr<const CFString, Release>;

  String string(const std::string& text) const {
    return String(cf_.createString(nullptr, reinterpret_cast<const std::uint8_t*>(text.data()),
                                   static_cast<long>(text.size()), utf8Encoding, 0),
                  cf_.release);
  }

  CoreFoundation cf_;
};

}  // namespace

std::unique_ptr<Dialog> openDesktopDialog() {
  if (!windowServerSession()) return nullptr;
  std::optional<CoreFoundation> cf = loadCoreFoundation();
  if (!cf) return nullptr;
  return std::make_unique<DesktopDialog>(*cf);
}

}  // namespace tovren
