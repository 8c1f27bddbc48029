// Strict JSON reader into a value tree, and a string quoter; never throws on bad input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace json {

/// One parsed JSON value; copies and moves take the whole subtree with them.
struct Value {
  enum class Kind : int32_t { Null = 0, Boolean = 1, Number = 2, String = 3, Array = 4, Object = 5 };

  // Defined where Value is complete, since the members hold containers of Value.
  Value();
  Value(const Value&);
  Value(Value&&) noexcept;
  Value& operator=(const Value&);
  Value& operator=(Value&&) noexcept;
  ~Value();

  Kind kind = Kind::Null;
  bool boolean = false;
  double number = 0.0;
  /// The bytes of a string value (named `text` because `string` is the member lookup below).
  std::string text;
  std::vector<Value> array;
  /// Members in text order; duplicate keys are kept and lookups take the first.
  std::vector<std::pair<std::string, Value>> object;

  /// The first member named `key` when this is an object, else null; does not allocate.
  const Value* find(std::string_view key) const;

  /// The text of the first member named `key` when this is an object and that member is a
  /// string; empty otherwise (also when a later member of that name is a string). Allocates.
  std::optional<std::string> string(std::string_view key) const;
};

/// Values may sit at most this many container levels below the top-level value.
inline constexpr int kMaxDepth = 8;

/// The JSON string literal for `bytes`, quotes included; control bytes are escaped, every other
/// byte (including "/" and bytes of 0x80 and above) is copied as is. Allocates.
std::string quote(std::string_view bytes);

namespace detail {

/// Reads one text (any bytes, not necessarily UTF-8) once, from byte 0 onwards.
class Reader {
 public:
  /// Keeps a view of `text`, which must outlive the reader.
  explicit Reader(std::string_view text) noexcept : text_(text) {}

  /// The whole text as one value with nothing but white space after it; empty on any error.
  std::optional<Value> document();

  /// Reads one value (after optional white space) at nesting level `depth`; false on error,
  /// leaving `out` partly filled.
  bool parse(Value& out, int depth);

  /// Reads one string literal starting exactly at the current byte into `out`; false on error.
  bool string(std::string& out);

  /// Reads four hexadecimal digits into `out` (most significant first); false on error.
  bool hex4(uint32_t& out);

  /// Appends `codePoint` (at most 0x10FFFF) to `out` as 1 to 4 UTF-8 bytes.
  static void appendUtf8(std::string& out, uint32_t codePoint);

  /// The current byte index.
  std::size_t position() const noexcept { return pos_; }

 private:
  void skipSpace() noexcept;
  bool literal(std::string_view word) noexcept;
  bool number(double& out) noexcept;
  bool object(Value& out, int depth);
  bool array(Value& out, int depth);

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace detail
}  // namespace json
