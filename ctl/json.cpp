#include "ctl/json.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "ctl/ctl.hpp"

namespace halvernic::ctl {

Json Json::boolean(bool value) {
  Json json;
  json.kind_ = Kind::boolean;
  json.boolean_ = value;
  return json;
}

Json Json::integer(std::int64_t value) {
  Json json;
  json.kind_ = Kind::integer;
  json.integer_ = value;
  return json;
}

Json Json::real(double value) {
  if (!std::isfinite(value)) return Json();
  Json json;
  json.kind_ = Kind::real;
  json.real_ = value;
  return json;
}

Json Json::string(std::string value) {
  Json json;
  json.kind_ = Kind::string;
  json.string_ = std::move(value);
  return json;
}

Json Json::array() {
  Json json;
  json.kind_ = Kind::array;
  return json;
}

Json Json::object() {
  Json json;
  json.kind_ = Kind::object;
  return json;
}

Json& Json::add(Json value) {
  if (kind_ == Kind::array) items_.push_back(std::move(value));
  return *this;
}

Json& Json::set(std::string_view key, Json value) {
  if (kind_ != Kind::object) return *this;
  for (auto& member : members_) {
    if (member.first == key) {
      member.second = std::move(value);
      return *this;
    }
  }
  members_.emplace_back(std::string(key), std::move(value));
  return *this;
}

const Json* Json::find(std::string_view key) const noexcept {
  for (const auto& member : members_) {
    if (member.first == key) return &member.second;
  }
  return nullptr;
}

void appendJsonString(std::string& out, std::string_view text) {
  out += '"';
  while (!text.empty()) {
    const auto byte = static_cast<unsigned char>(text[0]);
    const std::size_t length = utf8SequenceLength(text);
    if (length == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD for a byte of a malformed sequence
      text.remove_prefix(1);
      continue;
    }
    if (length > 1) {
      out.append(text.substr(0, length));
    } else if (byte == '"' || byte == '\\') {
      out += '\\';
      out += static_cast<char>(byte);
    } else if (byte >= 0x20) {
      out += static_cast<char>(byte);
    } else {
      switch (byte) {
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
          out += escaped;
        }
      }
    }
    text.remove_prefix(length);
  }
  out += '"';
}

namespace {

void newline(std::string& out, int depth) {
  out += '\n';
  out.append(static_cast<std::size_t>(depth) * 2, ' ');
}

}  // namespace

void Json::write(std::string& out, int depth) const {
  switch (kind_) {
    case Kind::null: out += "null"; return;
    case Kind::boolean: out += boolean_ ? "true" : "false"; return;
    case Kind::integer: out += std::to_string(integer_); return;
    case Kind::real: {
      // The shortest of 15 to 17 significant digits that reads back as the same double
      // (17 always does); %g never writes a bare "." or a leading "+", and the value is
      // finite.
      char text[40];
      for (int digits = 15; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, real_);
        if (std::strtod(text, nullptr) == real_) break;
      }
      out += text;
      return;
    }
    case Kind::string: appendJsonString(out, string_); return;
    case Kind::array:
      if (items_.empty()) {
        out += "[]";
        return;
      }
      out += '[';
      for (std::size_t i = 0; i < items_.size(); ++i) {
        if (i) out += ',';
        newline(out, depth + 1);
        items_[i].write(out, depth + 1);
      }
      newline(out, depth);
      out += ']';
      return;
    case Kind::object:
      if (members_.empty()) {
        out += "{}";
        return;
      }
      out += '{';
      for (std::size_t i = 0; i < members_.size(); ++i) {
        if (i) out += ',';
        newline(out, depth + 1);
        appendJsonString(out, members_[i].first);
        out += ": ";
        members_[i].second.write(out, depth + 1);
      }
      newline(out, depth);
      out += '}';
      return;
  }
}

std::string Json::dump() const {
  std::string out;
  write(out, 0);
  return out;
}

}  // namespace halvernic::ctl
