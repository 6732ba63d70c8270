#include "tools/json/Json.h"

#include <cstdlib>

namespace lumen::json {

namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  bool Document(Json& out) {
    if (!Value(out, 0)) return false;
    Space();
    return pos_ == text_.size();
  }

 private:
  static constexpr int kMaxDepth = 64;

  void Space() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\t')) {
      ++pos_;
    }
  }

  bool Eat(char c) {
    Space();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  bool Literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  bool Value(Json& out, int depth) {
    if (depth > kMaxDepth) return false;
    Space();
    if (pos_ >= text_.size()) return false;
    const char c = text_[pos_];
    if (c == '{') return Object(out, depth);
    if (c == '[') return Array(out, depth);
    if (c == '"') {
      out.type = Json::Type::String;
      return String(out.text);
    }
    if (Literal("true") || Literal("false")) {
      out.type = Json::Type::Bool;
      out.boolean = c == 't';
      return true;
    }
    if (Literal("null")) return true;
    return Number(out);
  }

  bool Number(Json& out) {
    const std::string digits(text_.substr(pos_, 64));
    char* end = nullptr;
    out.number = std::strtod(digits.c_str(), &end);
    if (end == digits.c_str()) return false;
    pos_ += static_cast<size_t>(end - digits.c_str());
    out.type = Json::Type::Number;
    return true;
  }

  bool String(std::string& out) {
    ++pos_;  // the opening quote
    while (pos_ < text_.size() && text_[pos_] != '"') {
      char c = text_[pos_++];
      if (c == '\\' && pos_ < text_.size()) {
        c = text_[pos_++];
        if (c == 'n') c = '\n';
        if (c == 't') c = '\t';
        if (c == 'u') {  // kept as '?': the case files use plain ASCII where it matters
          pos_ += 4;
          c = '?';
        }
      }
      out.push_back(c);
    }
    return pos_ < text_.size() && text_[pos_++] == '"';
  }

  bool Array(Json& out, int depth) {
    ++pos_;
    out.type = Json::Type::Array;
    if (Eat(']')) return true;
    do {
      out.items.emplace_back();
      if (!Value(out.items.back(), depth + 1)) return false;
    } while (Eat(','));
    return Eat(']');
  }

  bool Object(Json& out, int depth) {
    ++pos_;
    out.type = Json::Type::Object;
    if (Eat('}')) return true;
    do {
      Space();
      if (pos_ >= text_.size() || text_[pos_] != '"') return false;
      std::string key;
      if (!String(key) || !Eat(':')) return false;
      out.keys.push_back(std::move(key));
      out.items.emplace_back();
      if (!Value(out.items.back(), depth + 1)) return false;
    } while (Eat(','));
    return Eat('}');
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

const Json& Json::operator[](std::string_view key) const {
  static const Json kNull;
  for (size_t i = 0; i < keys.size() && i < items.size(); ++i) {
    if (keys[i] == key) return items[i];
  }
  return kNull;
}

bool ParseJson(std::string_view text, Json& out) {
  out = Json{};
  return Parser(text).Document(out);
}

}  // namespace lumen::json
