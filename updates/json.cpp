// Strict JSON reader and string quoter.
#include "updates/json.h"

#include <charconv>
#include <limits>

namespace json {

Value::Value() = default;
Value::Value(const Value&) = default;
Value::Value(Value&&) noexcept = default;
Value& Value::operator=(const Value&) = default;
Value& Value::operator=(Value&&) noexcept = default;
Value::~Value() = default;

const Value* Value::find(std::string_view key) const {
  if (kind != Kind::Object) return nullptr;
  for (const auto& member : object) {
    if (member.first == key) return &member.second;
  }
  return nullptr;
}

std::optional<std::string> Value::string(std::string_view key) const {
  const Value* member = find(key);
  if (member == nullptr || member->kind != Kind::String) return std::nullopt;
  return member->text;
}

std::string quote(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() + 2);
  out.push_back('"');
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out.push_back(kHex[byte >> 4]);
          out.push_back(kHex[byte & 0x0F]);
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
  return out;
}

namespace detail {

namespace {

bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }

// The decimal order of magnitude of a number whose digits have already been validated, used only
// to tell overflow from underflow when the conversion reports a value out of range.
bool overflows(std::string_view digits) noexcept {
  if (!digits.empty() && digits.front() == '-') digits.remove_prefix(1);
  const std::size_t ePos = digits.find_first_of("eE");
  int64_t exponent = 0;
  if (ePos != std::string_view::npos) {
    std::size_t i = ePos + 1;
    bool negative = false;
    if (digits[i] == '+' || digits[i] == '-') negative = digits[i++] == '-';
    for (; i < digits.size(); ++i) {
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (digits[i] - '0');
    }
    if (negative) exponent = -exponent;
    digits = digits.substr(0, ePos);
  }
  const std::size_t dot = digits.find('.');
  const std::size_t integerDigits = dot == std::string_view::npos ? digits.size() : dot;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (digits[i] == '.' || digits[i] == '0') continue;
    const int64_t order = i < integerDigits ? static_cast<int64_t>(integerDigits - 1 - i)
                                            : -static_cast<int64_t>(i - integerDigits);
    return order + exponent > 0;
  }
  return false;
}

}  // namespace

std::optional<Value> Reader::document() {
  Value value;
  if (!parse(value, 0)) return std::nullopt;
  skipSpace();
  if (pos_ != text_.size()) return std::nullopt;
  return value;
}

bool Reader::parse(Value& out, int depth) {
  if (depth > kMaxDepth) return false;
  skipSpace();
  if (pos_ >= text_.size()) return false;
  switch (text_[pos_]) {
    case '{':
      return object(out, depth);
    case '[':
      return array(out, depth);
    case '"':
      out.kind = Value::Kind::String;
      return string(out.text);
    case 't':
      out.kind = Value::Kind::Boolean;
      out.boolean = true;
      return literal("true");
    case 'f':
      out.kind = Value::Kind::Boolean;
      out.boolean = false;
      return literal("false");
    case 'n':
      out.kind = Value::Kind::Null;
      return literal("null");
    default:
      out.kind = Value::Kind::Number;
      return number(out.number);
  }
}

bool Reader::object(Value& out, int depth) {
  out.kind = Value::Kind::Object;
  ++pos_;
  skipSpace();
  if (pos_ < text_.size() && text_[pos_] == '}') {
    ++pos_;
    return true;
  }
  for (;;) {
    skipSpace();
    std::string key;
    if (!string(key)) return false;
    skipSpace();
    if (pos_ >= text_.size() || text_[pos_] != ':') return false;
    ++pos_;
    Value member;
    if (!parse(member, depth + 1)) return false;
    out.object.emplace_back(std::move(key), std::move(member));
    skipSpace();
    if (pos_ >= text_.size()) return false;
    const char next = text_[pos_++];
    if (next == '}') return true;
    if (next != ',') return false;
  }
}

bool Reader::array(Value& out, int depth) {
  out.kind = Value::Kind::Array;
  ++pos_;
  skipSpace();
  if (pos_ < text_.size() && text_[pos_] == ']') {
    ++pos_;
    return true;
  }
  for (;;) {
    Value element;
    if (!parse(element, depth + 1)) return false;
    out.array.push_back(std::move(element));
    skipSpace();
    if (pos_ >= text_.size()) return false;
    const char next = text_[pos_++];
    if (next == ']') return true;
    if (next != ',') return false;
  }
}

bool Reader::string(std::string& out) {
  if (pos_ >= text_.size() || text_[pos_] != '"') return false;
  ++pos_;
  for (;;) {
    if (pos_ >= text_.size()) return false;
    const char c = text_[pos_++];
    if (c == '"') return true;
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (pos_ >= text_.size()) return false;
    switch (text_[pos_++]) {
      case '"': out.push_back('"'); break;
      case '\\': out.push_back('\\'); break;
      case '/': out.push_back('/'); break;
      case 'b': out.push_back('\b'); break;
      case 'f': out.push_back('\f'); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 't': out.push_back('\t'); break;
      case 'u': {
        uint32_t unit = 0;
        if (!hex4(unit)) return false;
        if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
          if (text_.substr(pos_, 2) != "\\u") return false;
          pos_ += 2;
          uint32_t low = 0;
          if (!hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
          unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        appendUtf8(out, unit);
        break;
      }
      default:
        return false;
    }
  }
}

bool Reader::hex4(uint32_t& out) {
  if (text_.size() - pos_ < 4) return false;
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    const char c = text_[pos_ + i];
    uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return false;
    }
    value = (value << 4) | digit;
  }
  pos_ += 4;
  out = value;
  return true;
}

void Reader::appendUtf8(std::string& out, uint32_t codePoint) {
  const auto byte = [&out](uint32_t b) { out.push_back(static_cast<char>(b)); };
  if (codePoint < 0x80) {
    byte(codePoint);
  } else if (codePoint <= 0x7FF) {
    byte(0xC0 | (codePoint >> 6));
    byte(0x80 | (codePoint & 0x3F));
  } else if (codePoint <= 0xFFFF) {
    byte(0xE0 | (codePoint >> 12));
    byte(0x80 | ((codePoint >> 6) & 0x3F));
    byte(0x80 | (codePoint & 0x3F));
  } else {
    byte(0xF0 | ((codePoint >> 18) & 0x07));
    byte(0x80 | ((codePoint >> 12) & 0x3F));
    byte(0x80 | ((codePoint >> 6) & 0x3F));
    byte(0x80 | (codePoint & 0x3F));
  }
}

void Reader::skipSpace() noexcept {
  while (pos_ < text_.size()) {
    const char c = text_[pos_];
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return;
    ++pos_;
  }
}

bool Reader::literal(std::string_view word) noexcept {
  if (text_.substr(pos_, word.size()) != word) return false;
  pos_ += word.size();
  return true;
}

bool Reader::number(double& out) noexcept {
  const std::size_t start = pos_;
  const auto digitAt = [this](std::size_t i) { return i < text_.size() && isDigit(text_[i]); };
  std::size_t i = pos_;
  if (i < text_.size() && text_[i] == '-') ++i;
  if (!digitAt(i)) return false;
  if (text_[i] == '0') {
    ++i;
  } else {
    while (digitAt(i)) ++i;
  }
  if (i < text_.size() && text_[i] == '.') {
    ++i;
    if (!digitAt(i)) return false;
    while (digitAt(i)) ++i;
  }
  if (i < text_.size() && (text_[i] == 'e' || text_[i] == 'E')) {
    ++i;
    if (i < text_.size() && (text_[i] == '+' || text_[i] == '-')) ++i;
    if (!digitAt(i)) return false;
    while (digitAt(i)) ++i;
  }
  pos_ = i;
  // from_chars reads the matched bytes only and, unlike strtod, ignores the process locale, so a
  // host that switched LC_NUMERIC to a comma decimal separator cannot change the result.
  const std::string_view digits = text_.substr(start, i - start);
  double value = 0.0;
  const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    const bool negative = digits.front() == '-';
    value = overflows(digits) ? std::numeric_limits<double>::infinity() : 0.0;
    if (negative) value = -value;
  } else if (result.ec != std::errc() || result.ptr != digits.data() + digits.size()) {
    return false;
  }
  out = value;
  return true;
}

}  // namespace detail
}  // namespace json
