#pragma once

// Just enough JSON for the corpus case files: objects, arrays, strings, numbers, literals.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumen::corpus {

struct Json {
  enum class Type { Null, Bool, Number, String, Array, Object };
  Type type = Type::Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  // The member `key`, or a null value.
  const Json& operator[](std::string_view key) const;
  std::string String(std::string fallback = {}) const {
    return type == Type::String ? text : fallback;
  }
  double Number(double fallback = 0) const { return type == Type::Number ? number : fallback; }
};

// Parses a whole document; false on a syntax error.
bool ParseJson(std::string_view text, Json& out);

}  // namespace lumen::corpus
