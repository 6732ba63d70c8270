#pragma once

// Just enough JSON for case files and input scripts: objects, arrays, strings, numbers, literals.

#include <string>
#include <string_view>
#include <vector>

namespace lumen::json {

struct Json {
  enum class Type { Null, Bool, Number, String, Array, Object };
  Type type = Type::Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;        // array elements, or object values
  std::vector<std::string> keys;  // object keys, one per value

  // The member `key`, or a null value.
  const Json& operator[](std::string_view key) const;
  std::string String(std::string fallback = {}) const {
    return type == Type::String ? text : fallback;
  }
  double Number(double fallback = 0) const { return type == Type::Number ? number : fallback; }
};

// Parses a whole document; false on a syntax error.
bool ParseJson(std::string_view text, Json& out);

}  // namespace lumen::json
