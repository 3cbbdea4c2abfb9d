// Alerts as CoreFoundation user notifications: a modal alert that needs no
// application object, so the program stays a plain process that the window
// server shows alerts for. The frameworks are loaded when a dialog is opened;
// their headers are not needed, so each function's type is written here as
// Apple's documentation gives it (CFUserNotification.h, CFString.h,
// CFDictionary.h, AuthSession.h).
#include "platform/dialogs/desktop_dialog.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/interruption.h"
#include "platform/posix/library.h"
#include "platform/posix/signals.h"

namespace tovren {

namespace {

using CFStringRef = const struct CFString*;
using CFOptionFlags = unsigned long;
using CreateString = CFStringRef (*)(const void* allocator, const std::uint8_t* bytes, long size,
                                     std::uint32_t encoding, unsigned char external);
using Release = void (*)(const void* object);
using CreateDictionary = const void* (*)(const void* allocator, const void** keys,
                                         const void** values, long count, const void* keyCallBacks,
                                         const void* valueCallBacks);
using CreateNotification = const void* (*)(const void* allocator, double timeout,
                                           CFOptionFlags flags, std::int32_t* error,
                                           const void* dictionary);
using ReceiveResponse = std::int32_t (*)(const void* notification, double timeout,
                                         CFOptionFlags* response);
using Cancel = std::int32_t (*)(const void* notification);
using GetSessionInfo = std::int32_t (*)(std::uint32_t session, std::uint32_t* id,
                                        std::uint32_t* attributes);

constexpr std::uint32_t utf8Encoding = 0x08000100;   // kCFStringEncodingUTF8
constexpr CFOptionFlags noteAlertLevel = 1;          // kCFUserNotificationNoteAlertLevel
constexpr CFOptionFlags responseMask = 3;            // the response in the low bits
constexpr CFOptionFlags cancelResponse = 3;          // kCFUserNotificationCancelResponse
constexpr std::int32_t timedOut = 0x10004003;        // MACH_RCV_TIMED_OUT
constexpr std::uint32_t callerSession = 0xffffffff;  // callerSecuritySession
constexpr std::uint32_t hasGraphicAccess = 0x0010;   // sessionHasGraphicAccess
// How long each wait for the answer lasts before the run looks whether it was
// asked to stop.
constexpr double interruptionLook = 0.1;  // seconds

struct CoreFoundation {
  CreateString createString;
  Release release;
  CreateDictionary createDictionary;
  CreateNotification create;
  ReceiveResponse receive;
  Cancel cancel;
  const void *keyCallBacks, *valueCallBacks;
  // The header, message and the three buttons' keys.
  const CFStringRef* keys[5];
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
  const char* keys[] = {"kCFUserNotificationAlertHeaderKey", "kCFUserNotificationAlertMessageKey",
                        "kCFUserNotificationDefaultButtonTitleKey",
                        "kCFUserNotificationAlternateButtonTitleKey",
                        "kCFUserNotificationOtherButtonTitleKey"};
  bool found = library.find("CFStringCreateWithBytes", f.createString) &&
               library.find("CFRelease", f.release) &&
               library.find("CFDictionaryCreate", f.createDictionary) &&
               library.find("CFUserNotificationCreate", f.create) &&
               library.find("CFUserNotificationReceiveResponse", f.receive) &&
               library.find("CFUserNotificationCancel", f.cancel) &&
               library.find("kCFTypeDictionaryKeyCallBacks", f.keyCallBacks) &&
               library.find("kCFTypeDictionaryValueCallBacks", f.valueCallBacks);
  for (int i = 0; i < 5; ++i) found = found && library.find(keys[i], f.keys[i]);
  if (found) return f;
  return std::nullopt;
}

class DesktopDialog : public Dialog {
 public:
  explicit DesktopDialog(CoreFoundation cf) : cf_(cf) {}

  // The system shows user notifications in front of every window by itself.
  void bringToFront() override {}

  // The first button is the default one (Return), the second the alternate and
  // the third the other (an alert has no more); closed without a button, the
  // alert answers none. A text or an alert the system will not take is not
  // shown: the next way of showing alerts shows it. The answer is waited for in
  // short waits, between which a request to stop withdraws the alert and ends
  // the run; a wait that fails otherwise withdraws it too, and it answers none.
  int run(const Alert& alert) override {
    std::vector<Object> texts;
    std::vector<const void*> keys, values;
    std::string parts[2] = {alert.messageText, alert.informativeText};
    for (std::size_t i = 0; i < 2 + alert.buttons.size(); ++i) {
      texts.push_back(string(i < 2 ? parts[i] : alert.buttons[i - 2]));
      if (!texts.back()) return notShown;
      keys.push_back(*cf_.keys[i]), values.push_back(texts.back().get());
    }
    Object dictionary(
        cf_.createDictionary(nullptr, keys.data(), values.data(), static_cast<long>(keys.size()),
                             cf_.keyCallBacks, cf_.valueCallBacks),
        cf_.release);
    std::int32_t error = 0;
    Object notification(
        dictionary ? cf_.create(nullptr, 0, noteAlertLevel, &error, dictionary.get()) : nullptr,
        cf_.release);
    if (!notification) return notShown;
    CFOptionFlags response = cancelResponse;
    for (;;) {
      std::int32_t received = cf_.receive(notification.get(), interruptionLook, &response);
      if (received == 0) break;
      bool failed = received != timedOut;
      if (failed || interrupted()) cf_.cancel(notification.get());
      raiseIfInterrupted();
      if (failed) return noButton;
    }
    response &= responseMask;
    return response == cancelResponse ? noButton : firstButton + static_cast<int>(response);
  }

 private:
  using Object = std::unique_ptr<const void, Release>;

  Object string(const std::string& text) const {
    return Object(cf_.createString(nullptr, reinterpret_cast<const std::uint8_t*>(text.data()),
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
