#pragma once
// Typed reading of JSON documents, with errors that name the member path.

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "support/bytes.h"
#include "support/error.h"

namespace tovren {

// One JSON value and the member names that lead to it, for error messages.
class JsonValue {
 public:
  // Parses `bytes` strictly (RFC 8259: no comments, no trailing commas, UTF-8).
  // `what` names the document in errors, e.g. "The setup manifest". Every error
  // of this value and those read from it is a DecodingError naming the member path.
  static JsonValue parse(const Bytes& bytes, std::string what);

  // The member `name` (matched exactly) of this object value, which must be present
  // and not null.
  JsonValue member(const std::string& name) const;
  // This value as text; it must be a string.
  std::string string() const;
  // This value's members in document order; it must be an object.
  std::vector<std::pair<std::string, JsonValue>> members() const;

 private:
  JsonValue(std::shared_ptr<const nlohmann::ordered_json> root, const nlohmann::ordered_json* value,
            std::vector<std::string> path, std::shared_ptr<const std::string> what);
  [[noreturn]] void fail(const std::string& problem) const;
  void require(nlohmann::json::value_t type, const char* typeName) const;
  void requireObject() const;
  std::string describePath() const;

  std::shared_ptr<const nlohmann::ordered_json> root_;
  const nlohmann::ordered_json* value_;
  std::vector<std::string> path_;
  std::shared_ptr<const std::string> what_;
};

}  // namespace tovren
