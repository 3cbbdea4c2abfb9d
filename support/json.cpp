#include "support/json.h"

namespace tovren {

namespace {

const char* typeName(const nlohmann::ordered_json& value) {
  switch (value.type()) {
    case nlohmann::json::value_t::null:
      return "null";
    case nlohmann::json::value_t::object:
      return "an object";
    case nlohmann::json::value_t::array:
      return "an array";
    case nlohmann::json::value_t::string:
      return "a string";
    case nlohmann::json::value_t::boolean:
      return "a boolean";
    default:
      return "a number";
  }
}

// nlohmann's messages begin with an internal code, e.g.
// "[json.exception.parse_error.101] parse error at line 1, column 2: ..."; keep
// only the part a reader understands.
std::string withoutLibraryPrefix(std::string message) {
  if (message.starts_with("[json.exception.")) message.erase(0, message.find("] ") + 2);
  if (message.starts_with("parse error ")) message.erase(0, std::string("parse error ").size());
  return message;
}

}  // namespace

JsonValue::JsonValue(std::shared_ptr<const nlohmann::ordered_json> root,
                     const nlohmann::ordered_json* value, std::vector<std::string> path,
                     std::shared_ptr<const std::string> what)
    : root_(std::move(root)), value_(value), path_(std::move(path)), what_(std::move(what)) {}

JsonValue JsonValue::parse(const Bytes& bytes, std::string what) {
  auto name = std::make_shared<const std::string>(std::move(what));
  try {
    auto root = std::make_shared<const nlohmann::ordered_json>(
        nlohmann::ordered_json::parse(bytes.begin(), bytes.end(), nullptr, true, false));
    return JsonValue(root, root.get(), {}, name);
  } catch (const nlohmann::json::exception& error) {
    // Syntax errors, and numbers beyond the range of a double (valid JSON, but
    // past the decoder's limits).
    throw DecodingError(*name + " is not valid JSON (" + withoutLibraryPrefix(error.what()) + ").");
  }
}

std::string JsonValue::describePath() const {
  if (path_.empty()) return "the top level";
  std::string text;
  for (const auto& name : path_) text += (text.empty() ? "\"" : " → \"") + name + "\"";
  return text;
}

void JsonValue::fail(const std::string& problem) const {
  throw DecodingError(*what_ + " could not be read: " + describePath() + " " + problem + ".");
}

void JsonValue::require(nlohmann::json::value_t type, const char* expected) const {
  if (value_->type() != type)
    fail(std::string("is ") + typeName(*value_) + " where " + expected + " is expected");
}

void JsonValue::requireObject() const { require(nlohmann::json::value_t::object, "an object"); }

JsonValue JsonValue::member(const std::string& name) const {
  requireObject();
  auto found = value_->find(name);
  if (found == value_->end()) fail("has no member \"" + name + "\"");
  auto path = path_;
  path.push_back(name);
  return JsonValue(root_, &*found, std::move(path), what_);
}

std::string JsonValue::string() const {
  require(nlohmann::json::value_t::string, "a string");
  return value_->get<std::string>();
}

std::vector<std::pair<std::string, JsonValue>> JsonValue::members() const {
  requireObject();
  std::vector<std::pair<std::string, JsonValue>> result;
  for (const auto& [name, value] : value_->items()) {
    auto path = path_;
    path.push_back(name);
    result.emplace_back(name, JsonValue(root_, &value, std::move(path), what_));
  }
  return result;
}

}  // namespace tovren
