// A JSON value and its writer, for halvernicctl's machine-readable output. The writer always
// produces valid JSON: strings are UTF-8 with every control character escaped, bytes that
// are not well-formed UTF-8 are written as U+FFFD, and a real that is not finite is null.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvernic::ctl {

class Json {
public:
  enum class Kind { null, boolean, integer, real, string, array, object };

  Json() = default;  // null
  static Json boolean(bool value);
  static Json integer(std::int64_t value);
  static Json real(double value);
  static Json string(std::string value);
  static Json array();
  static Json object();

  Kind kind() const noexcept { return kind_; }
  bool isNull() const noexcept { return kind_ == Kind::null; }

  // Arrays: appends. Objects: sets key (in the order keys are first set; setting a key
  // again replaces its value). Calling one on a value of another kind is a programming
  // error and does nothing.
  Json& add(Json value);
  Json& set(std::string_view key, Json value);

  // The member under key of an object; null for anything else.
  const Json* find(std::string_view key) const noexcept;
  const std::vector<Json>& items() const noexcept { return items_; }
  const std::vector<std::pair<std::string, Json>>& members() const noexcept { return members_; }
  bool booleanValue() const noexcept { return boolean_; }
  std::int64_t integerValue() const noexcept { return integer_; }
  const std::string& stringValue() const noexcept { return string_; }

  // The value as JSON text, indented by two spaces per level, without a final newline.
  std::string dump() const;

private:
  void write(std::string& out, int depth) const;

  Kind kind_ = Kind::null;
  bool boolean_ = false;
  std::int64_t integer_ = 0;
  double real_ = 0;
  std::string string_;
  std::vector<Json> items_;
  std::vector<std::pair<std::string, Json>> members_;
};

// Appends text as a JSON string literal (quotes included).
void appendJsonString(std::string& out, std::string_view text);

}  // namespace halvernic::ctl
