// Alerts as GTK 3 message dialogs. The toolkit is loaded only when a display is
// named, so runs without a desktop start as fast as ever and machines without
// the toolkit still run the program.
#include "platform/dialogs/desktop_dialog.h"

#include <gtk/gtk.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>

#include "platform/interruption.h"
#include "platform/linux/display.h"
#include "platform/posix/library.h"
#include "platform/posix/signals.h"

namespace tovren {

namespace {

// The toolkit's functions this dialog uses, looked up in the loaded library.
struct Toolkit {
  decltype(&gtk_init_check) initCheck;
  decltype(&gtk_message_dialog_new) messageDialogNew;
  decltype(&gtk_message_dialog_format_secondary_text) formatSecondaryText;
  decltype(&gtk_message_dialog_get_message_area) messageArea;
  decltype(&gtk_container_get_children) children;
  decltype(&g_list_free) listFree;
  decltype(&gtk_label_set_selectable) setSelectable;
  decltype(&gtk_dialog_add_button) addButton;
  decltype(&gtk_dialog_set_default_response) setDefaultResponse;
  decltype(&gtk_widget_grab_focus) grabFocus;
  decltype(&gtk_window_set_title) setTitle;
  decltype(&gtk_window_set_keep_above) setKeepAbove;
  decltype(&gtk_window_present) present;
  decltype(&gtk_dialog_run) run;
  decltype(&gtk_widget_destroy) destroy;
  decltype(&gtk_events_pending) eventsPending;
  decltype(&gtk_main_iteration) mainIteration;
  decltype(&gtk_dialog_response) respond;
  decltype(&g_timeout_add) timeoutAdd;
  decltype(&g_source_remove) sourceRemove;
};

// How long the displays named may take to answer, together, before they count as none.
constexpr std::chrono::seconds displayBound(2);
// How often a dialog looks whether the run was asked to stop.
constexpr guint interruptionLook = 100;  // milliseconds

// Without a runtime folder of the user's, the toolkit's settings and its
// accessibility bridge would make their folders in the home, which a declined
// run leaves untouched: both are kept in this process. The children do not see
// it: they get the environment the program was started with.
void keepOutOfTheHome() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat status {};
  if (runtime && *runtime == '/' && ::stat(runtime, &status) == 0 && S_ISDIR(status.st_mode))
    return;
  ::setenv("GSETTINGS_BACKEND", "memory", 1);
  ::setenv("NO_AT_BRIDGE", "1", 1);
}

// The toolkit, when it can be loaded and can open a display of the `backends`
// (in order); none otherwise. Only the kinds of display that are named are tried:
// another backend's set-up may create folders in the user's home, which a
// declined run must leave untouched.
std::optional<Toolkit> loadToolkit(const char* backends) {
  Library gtk("libgtk-3.so.0");
  Toolkit t{};
  decltype(&gdk_set_allowed_backends) allowBackends;
  decltype(&gtk_disable_setlocale) keepLocale;
  bool found =
      gtk.find("gdk_set_allowed_backends", allowBackends) &&
      gtk.find("gtk_disable_setlocale", keepLocale) && gtk.find("gtk_init_check", t.initCheck) &&
      gtk.find("gtk_message_dialog_new", t.messageDialogNew) &&
      gtk.find("gtk_message_dialog_format_secondary_text", t.formatSecondaryText) &&
      gtk.find("gtk_message_dialog_get_message_area", t.messageArea) &&
      gtk.find("gtk_container_get_children", t.children) && gtk.find("g_list_free", t.listFree) &&
      gtk.find("gtk_label_set_selectable", t.setSelectable) &&
      gtk.find("gtk_dialog_add_button", t.addButton) &&
      gtk.find("gtk_dialog_set_default_response", t.setDefaultResponse) &&
      gtk.find("gtk_widget_grab_focus", t.grabFocus) &&
      gtk.find("gtk_window_set_title", t.setTitle) &&
      gtk.find("gtk_window_set_keep_above", t.setKeepAbove) &&
      gtk.find("gtk_window_present", t.present) && gtk.find("gtk_dialog_run", t.run) &&
      gtk.find("gtk_widget_destroy", t.destroy) &&
      gtk.find("gtk_events_pending", t.eventsPending) &&
      gtk.find("gtk_main_iteration", t.mainIteration) &&
      gtk.find("gtk_dialog_response", t.respond) && gtk.find("g_timeout_add", t.timeoutAdd) &&
      gtk.find("g_source_remove", t.sourceRemove);
  if (!found) return std::nullopt;
  keepOutOfTheHome();
  allowBackends(backends);
  // Left to itself the toolkit switches the whole program to the user's locale,
  // and later alerts would mix languages and number formats.
  keepLocale();
  if (!t.initCheck(nullptr, nullptr)) return std::nullopt;
  return t;
}

using Widget = std::unique_ptr<GtkWidget, decltype(&gtk_widget_destroy)>;

class DesktopDialog : public Dialog {
 public:
  explicit DesktopDialog(Toolkit toolkit) : gtk_(toolkit) {}

  void bringToFront() override { front_ = true; }

  int run(const Alert& alert) override {
    Widget owned(gtk_.messageDialogNew(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER,
                                       GTK_BUTTONS_NONE, "%s", alert.messageText.c_str()),
                 gtk_.destroy);
    GtkWidget* dialog = owned.get();
    auto* message = reinterpret_cast<GtkMessageDialog*>(dialog);
    auto* window = reinterpret_cast<GtkWindow*>(dialog);
    gtk_.formatSecondaryText(message, "%s", alert.informativeText.c_str());
    selectableTexts(message);
    gtk_.setTitle(window, alert.messageText.c_str());
    GtkWidget* first = nullptr;
    for (std::size_t i = 0; i < alert.buttons.size(); ++i) {
      GtkWidget* button =
          gtk_.addButton(reinterpret_cast<GtkDialog*>(dialog), alert.buttons[i].c_str(),
                         firstButton + static_cast<int>(i));
      if (!first) first = button;
    }
    gtk_.setDefaultResponse(reinterpret_cast<GtkDialog*>(dialog), firstButton);
    // A selectable text would take the focus; Return belongs to the first button.
    if (first) gtk_.grabFocus(first);
    if (front_) gtk_.setKeepAbove(window, TRUE);
    gtk_.present(window);
    Look look{gtk_, reinterpret_cast<GtkDialog*>(dialog), 0};
    look.source = gtk_.timeoutAdd(interruptionLook, closeIfInterrupted, &look);
    int response = gtk_.run(reinterpret_cast<GtkDialog*>(dialog));
    if (look.source) gtk_.sourceRemove(look.source);
    owned.reset();  // the window goes once the toolkit has handled its last events
    while (gtk_.eventsPending()) gtk_.mainIteration();
    front_ = false;
    raiseIfInterrupted();
    return response >= firstButton ? response : noButton;  // closed without a button
  }

 private:
  // The texts can be selected and copied, a long failure message among them.
  void selectableTexts(GtkMessageDialog* message) {
    std::unique_ptr<GList, decltype(gtk_.listFree)> labels(
        gtk_.children(reinterpret_cast<GtkContainer*>(gtk_.messageArea(message))), gtk_.listFree);
    for (GList* item = labels.get(); item; item = item->next)
      gtk_.setSelectable(reinterpret_cast<GtkLabel*>(item->data), TRUE);
  }

  // A dialog's look whether the run was asked to stop, which then closes it.
  struct Look {
    const Toolkit& gtk;
    GtkDialog* dialog;
    guint source;
  };
  static gboolean closeIfInterrupted(gpointer data) {
    auto* look = static_cast<Look*>(data);
    if (!interrupted()) return G_SOURCE_CONTINUE;
    look->source = 0;
    look->gtk.respond(look->dialog, GTK_RESPONSE_NONE);
    return G_SOURCE_REMOVE;
  }

  Toolkit gtk_;
  bool front_ = false;
};

}  // namespace

std::unique_ptr<Dialog> openDesktopDialog() {
  auto named = [](const char* variable) { return std::getenv(variable) && *std::getenv(variable); };
  // Wayland first; X11 too when it is named, should the Wayland display not open.
  // A display that does not answer within the one bound for both counts as none.
  Deadline deadline = std::chrono::steady_clock::now() + displayBound;
  Answer wayland = named("WAYLAND_DISPLAY") ? waylandAnswers(deadline) : std::nullopt,
         x11 = named("DISPLAY") ? x11Answers(deadline) : std::nullopt;
  if (!wayland && !x11) return nullptr;
  std::optional<Toolkit> toolkit = loadToolkit(wayland && x11 ? "wayland,x11"
                                               : wayland      ? "wayland"
                                                              : "x11");
  if (!toolkit) return nullptr;
  return std::make_unique<DesktopDialog>(*toolkit);
}

}  // namespace tovren
