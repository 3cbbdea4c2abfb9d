#pragma once
// A modal alert and how its modal run answers.

#include <stdexcept>
#include <string>
#include <vector>

namespace tovren {

// The response of a modal run: 1000 for the first button, 1001 for the second,
// and so on.
constexpr int firstButton = 1000;
// The modal run ended without any button (end of input, window closed, no way to ask).
constexpr int noButton = -1000;

// An alert's texts and its buttons, in order: one to three, as every way of
// showing it shows them all (the system's own alerts take no more than three),
// and Return answers the first.
struct Alert {
  Alert(std::string message, std::string informative, std::vector<std::string> titles)
      : messageText(std::move(message)),
        informativeText(std::move(informative)),
        buttons(std::move(titles)) {
    if (buttons.empty() || buttons.size() > 3)
      throw std::invalid_argument("an alert has one to three buttons");
  }

  std::string messageText;
  std::string informativeText;
  std::vector<std::string> buttons;
};

}  // namespace tovren
