// SVG subset reader: a strict little XML scanner, inherited paint and transforms, path data.
#include "gfx/svg.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <optional>

namespace plugkit::gfx {
namespace {

constexpr size_t kMaxDocumentBytes = 1 << 20;
constexpr int kMaxDepth = 32;
constexpr size_t kMaxPoints = 200000;

struct Failure {
  std::string what;
};

// 2-D affine transform [a c e; b d f].
struct Matrix {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  Matrix then(const Matrix& m) const {  // this first, then m
    return {m.a * a + m.c * b, m.b * a + m.d * b, m.a * c + m.c * d,
            m.b * c + m.d * d, m.a * e + m.c * f + m.e, m.b * e + m.d * f + m.f};
  }
  SvgPoint apply(double x, double y) const {
    return {static_cast<float>(a * x + c * y + e), static_cast<float>(b * x + d * y + f)};
  }
  double scale() const { return std::sqrt(std::fabs(a * d - b * c)); }
};

struct Style {
  Matrix transform;
  SvgPaint fill{true, 0, 0, 0, 1.0f};
  SvgPaint stroke;
  float strokeWidth = 1.0f;
  float opacity = 1.0f;
  float fillOpacity = 1.0f;
  float strokeOpacity = 1.0f;
};

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Reads an SVG number (sign, digits, fraction, exponent) at the front of s.
std::optional<double> takeNumber(std::string_view& s) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  const size_t digitsStart = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
  }
  if (i == digitsStart || (i == digitsStart + 1 && s[digitsStart] == '.')) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    const size_t expStart = j;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
    if (j > expStart) i = j;
  }
  const size_t start = s[0] == '+' ? 1 : 0;
  double value = 0.0;
  const auto result = std::from_chars(s.data() + start, s.data() + i, value);
  if (result.ec != std::errc() || result.ptr != s.data() + i || !std::isfinite(value)) return std::nullopt;
  s.remove_prefix(i);
  return value;
}

void skipSeparators(std::string_view& s) {
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  if (!s.empty() && s.front() == ',') s.remove_prefix(1);
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
}

// A number list such as points="1,2 3,4"; all or nothing.
std::optional<std::vector<double>> numberList(std::string_view s) {
  std::vector<double> out;
  s = trim(s);
  while (!s.empty()) {
    const auto v = takeNumber(s);
    if (!v) return std::nullopt;
    out.push_back(*v);
    skipSeparators(s);
  }
  return out;
}

double number(std::string_view value, const char* what) {
  std::string_view s = trim(value);
  const auto v = takeNumber(s);
  if (!v || !trim(s).empty()) throw Failure{std::string("bad number in ") + what};
  return *v;
}

// A length in CSS pixels: unitless or "px".
double length(std::string_view value, const char* what) {
  std::string_view s = trim(value);
  if (s.size() >= 2 && s.substr(s.size() - 2) == "px") s.remove_suffix(2);
  return number(s, what);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

SvgPaint paint(std::string_view value) {
  value = trim(value);
  SvgPaint p;
  p.enabled = true;
  if (value == "none" || value == "transparent") return SvgPaint{};
  if (!value.empty() && value.front() == '#') {
    const std::string_view hex = value.substr(1);
    int digits[6];
    for (size_t i = 0; i < hex.size() && i < 6; ++i) digits[i] = hexDigit(hex[i]);
    const bool ok = (hex.size() == 3 || hex.size() == 6) &&
                    std::all_of(digits, digits + hex.size(), [](int d) { return d >= 0; });
    if (!ok) throw Failure{"bad colour " + std::string(value)};
    if (hex.size() == 3) {
      p.red = digits[0] * 17, p.green = digits[1] * 17, p.blue = digits[2] * 17;
    } else {
      p.red = digits[0] * 16 + digits[1], p.green = digits[2] * 16 + digits[3], p.blue = digits[4] * 16 + digits[5];
    }
    return p;
  }
  if (value.starts_with("rgb(") && value.ends_with(")")) {
    const auto channels = numberList(value.substr(4, value.size() - 5));
    if (!channels || channels->size() != 3) throw Failure{"bad colour " + std::string(value)};
    p.red = static_cast<int>(std::clamp((*channels)[0], 0.0, 255.0));
    p.green = static_cast<int>(std::clamp((*channels)[1], 0.0, 255.0));
    p.blue = static_cast<int>(std::clamp((*channels)[2], 0.0, 255.0));
    return p;
  }
  static constexpr std::array<std::pair<std::string_view, std::array<int, 3>>, 8> kNames = {{
      {"black", {0, 0, 0}}, {"white", {255, 255, 255}}, {"red", {255, 0, 0}}, {"green", {0, 128, 0}},
      {"blue", {0, 0, 255}}, {"gray", {128, 128, 128}}, {"grey", {128, 128, 128}}, {"yellow", {255, 255, 0}},
  }};
  for (const auto& [name, rgb] : kNames) {
    if (value == name) {
      p.red = rgb[0], p.green = rgb[1], p.blue = rgb[2];
      return p;
    }
  }
  throw Failure{"unsupported paint " + std::string(value)};
}

float unitInterval(std::string_view value, const char* what) {
  return static_cast<float>(std::clamp(number(value, what), 0.0, 1.0));
}

Matrix transformList(std::string_view s) {
  Matrix m;
  s = trim(s);
  while (!s.empty()) {
    const size_t open = s.find('(');
    const size_t close = s.find(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
      throw Failure{"bad transform"};
    const std::string_view name = trim(s.substr(0, open));
    const auto args = numberList(s.substr(open + 1, close - open - 1));
    if (!args) throw Failure{"bad transform arguments"};
    const std::vector<double>& v = *args;
    const size_t n = v.size();
    Matrix t;
    if (name == "matrix" && n == 6) {
      t = {v[0], v[1], v[2], v[3], v[4], v[5]};
    } else if (name == "translate" && (n == 1 || n == 2)) {
      t.e = v[0];
      t.f = n == 2 ? v[1] : 0.0;
    } else if (name == "scale" && (n == 1 || n == 2)) {
      t.a = v[0];
      t.d = n == 2 ? v[1] : v[0];
    } else if (name == "rotate" && (n == 1 || n == 3)) {
      const double r = v[0] * std::numbers::pi / 180.0;
      const Matrix rotation{std::cos(r), std::sin(r), -std::sin(r), std::cos(r), 0, 0};
      if (n == 3) {
        t = Matrix{1, 0, 0, 1, -v[1], -v[2]}.then(rotation).then(Matrix{1, 0, 0, 1, v[1], v[2]});
      } else {
        t = rotation;
      }
    } else if (name == "skewX" && n == 1) {
      t.c = std::tan(v[0] * std::numbers::pi / 180.0);
    } else if (name == "skewY" && n == 1) {
      t.b = std::tan(v[0] * std::numbers::pi / 180.0);
    } else {
      throw Failure{"unsupported transform " + std::string(name)};
    }
    // The list applies right to left: the last transform acts on the points first.
    m = t.then(m);
    s.remove_prefix(close + 1);
    skipSeparators(s);
  }
  return m;
}

// Builds one shape's subpaths from user-space commands, transforming every point.
class PathBuilder {
 public:
  PathBuilder(const Matrix& m, size_t& budget) : m_(m), budget_(budget) {}

  void moveTo(double x, double y) {
    finishOpen();
    current_ = SvgSubpath{};
    current_.start = point(x, y);
    open_ = true;
    x0_ = cx_ = x, y0_ = cy_ = y;
  }
  void lineTo(double x, double y) {
    // A straight cubic: control points at thirds keep the parameterisation even.
    cubicTo(cx_ + (x - cx_) / 3, cy_ + (y - cy_) / 3, x - (x - cx_) / 3, y - (y - cy_) / 3, x, y);
  }
  void cubicTo(double x1, double y1, double x2, double y2, double x, double y) {
    if (!open_) moveTo(cx_, cy_);
    current_.cubics.push_back(point(x1, y1));
    current_.cubics.push_back(point(x2, y2));
    current_.cubics.push_back(point(x, y));
    cx_ = x, cy_ = y;
  }
  void close() {
    if (!open_) return;
    current_.closed = true;
    finishOpen();
    cx_ = x0_, cy_ = y0_;
  }
  double x() const { return cx_; }
  double y() const { return cy_; }
  std::vector<SvgSubpath> take() {
    finishOpen();
    return std::move(subpaths_);
  }

 private:
  SvgPoint point(double x, double y) {
    if (budget_ == 0) throw Failure{"too many points"};
    --budget_;
    const SvgPoint p = m_.apply(x, y);
    // Huge numbers or near-degenerate skews can overflow; such a picture cannot be drawn.
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) throw Failure{"coordinates out of range"};
    return p;
  }
  void finishOpen() {
    if (open_) subpaths_.push_back(std::move(current_));
    open_ = false;
  }

  Matrix m_;
  size_t& budget_;
  std::vector<SvgSubpath> subpaths_;
  SvgSubpath current_;
  bool open_ = false;
  double cx_ = 0, cy_ = 0, x0_ = 0, y0_ = 0;
};

// The elliptical arc from the current point, as cubics of at most a quarter turn each
// (the centre parameterisation of the SVG implementation notes, appendix F.6).
void arcTo(PathBuilder& p, double rx, double ry, double angleDeg, bool large, bool sweep, double x, double y) {
  const double x1 = p.x(), y1 = p.y();
  if (x1 == x && y1 == y) return;
  rx = std::fabs(rx), ry = std::fabs(ry);
  if (rx == 0 || ry == 0) return p.lineTo(x, y);
  const double phi = angleDeg * std::numbers::pi / 180.0;
  const double cosPhi = std::cos(phi), sinPhi = std::sin(phi);
  const double dx = (x1 - x) / 2, dy = (y1 - y) / 2;
  const double xp = cosPhi * dx + sinPhi * dy, yp = -sinPhi * dx + cosPhi * dy;
  const double lambda = (xp * xp) / (rx * rx) + (yp * yp) / (ry * ry);
  if (lambda > 1) rx *= std::sqrt(lambda), ry *= std::sqrt(lambda);
  const double num = rx * rx * ry * ry - rx * rx * yp * yp - ry * ry * xp * xp;
  const double den = rx * rx * yp * yp + ry * ry * xp * xp;
  double k = den > 0 ? std::sqrt(std::max(0.0, num / den)) : 0.0;
  if (large == sweep) k = -k;
  const double cxp = k * rx * yp / ry, cyp = -k * ry * xp / rx;
  const double cx = cosPhi * cxp - sinPhi * cyp + (x1 + x) / 2;
  const double cy = sinPhi * cxp + cosPhi * cyp + (y1 + y) / 2;
  const auto angle = [](double ux, double uy, double vx, double vy) {
    return std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
  };
  const double theta1 = angle(1, 0, (xp - cxp) / rx, (yp - cyp) / ry);
  double delta = angle((xp - cxp) / rx, (yp - cyp) / ry, (-xp - cxp) / rx, (-yp - cyp) / ry);
  if (!sweep && delta > 0) delta -= 2 * std::numbers::pi;
  if (sweep && delta < 0) delta += 2 * std::numbers::pi;
  const int segments = std::max(1, static_cast<int>(std::ceil(std::fabs(delta) / (std::numbers::pi / 2) - 1e-9)));
  const double step = delta / segments;
  const double t = 4.0 / 3.0 * std::tan(step / 4);
  const auto onEllipse = [&](double a, double& px, double& py, double& tx, double& ty) {
    const double ca = std::cos(a), sa = std::sin(a);
    px = cx + rx * ca * cosPhi - ry * sa * sinPhi;
    py = cy + rx * ca * sinPhi + ry * sa * cosPhi;
    tx = -rx * sa * cosPhi - ry * ca * sinPhi;
    ty = -rx * sa * sinPhi + ry * ca * cosPhi;
  };
  double a = theta1;
  for (int i = 0; i < segments; ++i) {
    double px0, py0, tx0, ty0, px1, py1, tx1, ty1;
    onEllipse(a, px0, py0, tx0, ty0);
    onEllipse(a + step, px1, py1, tx1, ty1);
    if (i == segments - 1) px1 = x, py1 = y;
    p.cubicTo(px0 + t * tx0, py0 + t * ty0, px1 - t * tx1, py1 - t * ty1, px1, py1);
    a += step;
  }
}

void pathData(PathBuilder& p, std::string_view d) {
  d = trim(d);
  char command = 0;
  double lastCx = 0, lastCy = 0;  // last control point, for S and T
  char lastKind = 0;              // 'C' after a cubic, 'Q' after a quadratic
  bool moved = false;
  const auto need = [&](int count) {
    std::array<double, 7> v{};
    for (int i = 0; i < count; ++i) {
      skipSeparators(d);
      const auto n = takeNumber(d);
      if (!n) throw Failure{std::string("bad path data after ") + command};
      v[static_cast<size_t>(i)] = *n;
    }
    return v;
  };
  const auto flag = [&]() {
    skipSeparators(d);
    if (d.empty() || (d.front() != '0' && d.front() != '1')) throw Failure{"bad arc flag"};
    const bool set = d.front() == '1';
    d.remove_prefix(1);
    return set;
  };
  while (true) {
    skipSeparators(d);
    if (d.empty()) break;
    const char c = d.front();
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
      command = c;
      d.remove_prefix(1);
      if (command == 'Z' || command == 'z') {
        p.close();
        lastKind = 0;
        continue;
      }
    } else if (command == 0 || command == 'Z' || command == 'z') {
      throw Failure{"path data must start with a command"};
    }
    if (!moved && command != 'M' && command != 'm') throw Failure{"path data must start with a moveto"};
    moved = true;
    const bool rel = command >= 'a';
    const double ox = rel ? p.x() : 0, oy = rel ? p.y() : 0;
    char kind = 0;
    switch (command) {
      case 'M': case 'm': {
        const auto v = need(2);
        p.moveTo(ox + v[0], oy + v[1]);
        command = rel ? 'l' : 'L';  // further pairs are lines
        break;
      }
      case 'L': case 'l': { const auto v = need(2); p.lineTo(ox + v[0], oy + v[1]); break; }
      case 'H': case 'h': { const auto v = need(1); p.lineTo(ox + v[0], p.y()); break; }
      case 'V': case 'v': { const auto v = need(1); p.lineTo(p.x(), oy + v[0]); break; }
      case 'C': case 'c': {
        const auto v = need(6);
        p.cubicTo(ox + v[0], oy + v[1], ox + v[2], oy + v[3], ox + v[4], oy + v[5]);
        lastCx = ox + v[2], lastCy = oy + v[3], kind = 'C';
        break;
      }
      case 'S': case 's': {
        const auto v = need(4);
        const double x1 = lastKind == 'C' ? 2 * p.x() - lastCx : p.x();
        const double y1 = lastKind == 'C' ? 2 * p.y() - lastCy : p.y();
        p.cubicTo(x1, y1, ox + v[0], oy + v[1], ox + v[2], oy + v[3]);
        lastCx = ox + v[0], lastCy = oy + v[1], kind = 'C';
        break;
      }
      case 'Q': case 'q': case 'T': case 't': {
        const bool smooth = command == 'T' || command == 't';
        const auto v = need(smooth ? 2 : 4);
        const double qx = smooth ? (lastKind == 'Q' ? 2 * p.x() - lastCx : p.x()) : ox + v[0];
        const double qy = smooth ? (lastKind == 'Q' ? 2 * p.y() - lastCy : p.y()) : oy + v[1];
        const double x = ox + v[smooth ? 0 : 2], y = oy + v[smooth ? 1 : 3];
        const double x0 = p.x(), y0 = p.y();
        p.cubicTo(x0 + 2.0 / 3 * (qx - x0), y0 + 2.0 / 3 * (qy - y0), x + 2.0 / 3 * (qx - x),
                  y + 2.0 / 3 * (qy - y), x, y);
        lastCx = qx, lastCy = qy, kind = 'Q';
        break;
      }
      case 'A': case 'a': {
        const auto v = need(3);
        const bool large = flag();
        const bool sweep = flag();
        const auto end = need(2);
        arcTo(p, v[0], v[1], v[2], large, sweep, ox + end[0], oy + end[1]);
        break;
      }
      default:
        throw Failure{std::string("unknown path command ") + command};
    }
    lastKind = kind;
  }
}

struct Attribute {
  std::string_view name;
  std::string value;
};

// The element scanner: start tags with attributes, end tags, comments and declarations.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : s_(text) {}

  enum class Token { kEnd, kStart, kClose };

  Token next(std::string_view& name, std::vector<Attribute>& attributes, bool& selfClosing) {
    for (;;) {
      const size_t lt = s_.find('<');
      if (!trim(s_.substr(0, lt)).empty()) throw Failure{"text content is not supported"};
      if (lt == std::string_view::npos) return Token::kEnd;
      s_.remove_prefix(lt);
      if (s_.starts_with("<!--")) {
        skipPast("-->");
      } else if (s_.starts_with("<?")) {
        skipPast("?>");
      } else if (s_.starts_with("<!DOCTYPE")) {
        if (s_.substr(0, s_.find('>')).find('[') != std::string_view::npos) throw Failure{"internal DTD subsets are not supported"};
        skipPast(">");
      } else if (s_.starts_with("</")) {
        s_.remove_prefix(2);
        name = takeName();
        skipSpaces();
        expect('>');
        return Token::kClose;
      } else {
        s_.remove_prefix(1);
        name = takeName();
        attributes.clear();
        for (;;) {
          skipSpaces();
          if (s_.starts_with("/>")) {
            s_.remove_prefix(2);
            selfClosing = true;
            return Token::kStart;
          }
          if (s_.starts_with(">")) {
            s_.remove_prefix(1);
            selfClosing = false;
            return Token::kStart;
          }
          Attribute a;
          a.name = takeName();
          skipSpaces();
          expect('=');
          skipSpaces();
          if (s_.empty() || (s_.front() != '"' && s_.front() != '\'')) throw Failure{"unquoted attribute"};
          const char quote = s_.front();
          s_.remove_prefix(1);
          const size_t end = s_.find(quote);
          if (end == std::string_view::npos) throw Failure{"unterminated attribute"};
          a.value = unescape(s_.substr(0, end));
          s_.remove_prefix(end + 1);
          attributes.push_back(std::move(a));
        }
      }
    }
  }

 private:
  void skipPast(std::string_view end) {
    const size_t at = s_.find(end);
    if (at == std::string_view::npos) throw Failure{"unterminated markup"};
    s_.remove_prefix(at + end.size());
  }
  void skipSpaces() {
    while (!s_.empty() && isSpace(s_.front())) s_.remove_prefix(1);
  }
  void expect(char c) {
    if (s_.empty() || s_.front() != c) throw Failure{std::string("expected '") + c + "'"};
    s_.remove_prefix(1);
  }
  std::string_view takeName() {
    size_t i = 0;
    while (i < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i])) || s_[i] == '-' || s_[i] == '_' ||
                             s_[i] == ':' || s_[i] == '.'))
      ++i;
    if (i == 0) throw Failure{"expected a name"};
    const std::string_view name = s_.substr(0, i);
    s_.remove_prefix(i);
    return name;
  }
  static std::string unescape(std::string_view v) {
    std::string out;
    while (!v.empty()) {
      const size_t amp = v.find('&');
      out.append(v.substr(0, amp));
      if (amp == std::string_view::npos) break;
      v.remove_prefix(amp);
      static constexpr std::array<std::pair<std::string_view, char>, 5> kEntities = {
          {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}}};
      bool known = false;
      for (const auto& [entity, c] : kEntities) {
        if (v.starts_with(entity)) {
          out += c;
          v.remove_prefix(entity.size());
          known = true;
          break;
        }
      }
      if (!known) throw Failure{"unsupported character reference"};
    }
    return out;
  }

  std::string_view s_;
};

// Applies one presentation property (attribute or style declaration); false when it is not one.
bool applyProperty(Style& style, std::string_view name, std::string_view value) {
  if (name == "fill") style.fill = paint(value);
  else if (name == "stroke") style.stroke = paint(value);
  else if (name == "stroke-width") style.strokeWidth = static_cast<float>(std::max(0.0, length(value, "stroke-width")));
  else if (name == "opacity") style.opacity *= unitInterval(value, "opacity");
  else if (name == "fill-opacity") style.fillOpacity = unitInterval(value, "fill-opacity");
  else if (name == "stroke-opacity") style.strokeOpacity = unitInterval(value, "stroke-opacity");
  else if (name == "fill-rule" || name == "stroke-linecap" || name == "stroke-linejoin") {
    // Drawn with the non-zero rule, butt caps and miter joins; other values refuse.
    value = trim(value);
    if (value != "nonzero" && value != "butt" && value != "miter") throw Failure{"unsupported " + std::string(name)};
  } else {
    return false;
  }
  return true;
}

void applyStyleAttribute(Style& style, std::string_view declarations) {
  while (!trim(declarations).empty()) {
    const size_t semicolon = declarations.find(';');
    const std::string_view declaration = declarations.substr(0, semicolon);
    declarations.remove_prefix(semicolon == std::string_view::npos ? declarations.size() : semicolon + 1);
    if (trim(declaration).empty()) continue;
    const size_t colon = declaration.find(':');
    if (colon == std::string_view::npos) throw Failure{"bad style declaration"};
    const std::string_view name = trim(declaration.substr(0, colon));
    if (!applyProperty(style, name, declaration.substr(colon + 1)))
      throw Failure{"unsupported style property " + std::string(name)};
  }
}

class Reader {
 public:
  explicit Reader(SvgPicture& picture) : picture_(picture) {}

  void read(std::string_view text) {
    Scanner scanner(text);
    std::string_view name;
    std::vector<Attribute> attributes;
    bool selfClosing = false;
    std::vector<std::string_view> open;
    std::vector<Style> styles;
    bool sawRoot = false;
    for (;;) {
      const Scanner::Token token = scanner.next(name, attributes, selfClosing);
      if (token == Scanner::Token::kEnd) break;
      if (token == Scanner::Token::kClose) {
        if (open.empty() || open.back() != name) throw Failure{"mismatched </" + std::string(name) + ">"};
        open.pop_back();
        styles.pop_back();
        continue;
      }
      if (open.empty()) {
        if (sawRoot || name != "svg") throw Failure{"the document must be one svg element"};
        sawRoot = true;
        styles.push_back(root(attributes));
      } else {
        if (open.size() >= static_cast<size_t>(kMaxDepth)) throw Failure{"elements nested too deeply"};
        styles.push_back(element(name, attributes, styles.back()));
      }
      if (selfClosing) {
        styles.pop_back();
      } else {
        open.push_back(name);
      }
    }
    if (!sawRoot) throw Failure{"no svg element"};
    if (!open.empty()) throw Failure{"unclosed <" + std::string(open.back()) + ">"};
  }

 private:
  Style root(const std::vector<Attribute>& attributes) {
    std::optional<double> width, height;
    std::optional<std::vector<double>> viewBox;
    Style style;
    for (const Attribute& a : attributes) {
      if (a.name == "width") width = length(a.value, "width");
      else if (a.name == "height") height = length(a.value, "height");
      else if (a.name == "viewBox") {
        viewBox = numberList(a.value);
        if (!viewBox || viewBox->size() != 4 || (*viewBox)[2] <= 0 || (*viewBox)[3] <= 0)
          throw Failure{"bad viewBox"};
      } else if (!ignorable(a.name) && !applyProperty(style, a.name, a.value)) {
        throw Failure{"unsupported attribute " + std::string(a.name) + " on svg"};
      }
    }
    if (!width && viewBox) width = (*viewBox)[2];
    if (!height && viewBox) height = (*viewBox)[3];
    if (!width || !height || !(*width > 0) || !(*height > 0) || *width > 1e6 || *height > 1e6)
      throw Failure{"the picture needs a positive width and height"};
    picture_.width = static_cast<float>(*width);
    picture_.height = static_cast<float>(*height);
    if (viewBox) {
      // Uniform scale, centred (the default preserveAspectRatio, xMidYMid meet).
      const std::vector<double>& v = *viewBox;
      const double scale = std::min(*width / v[2], *height / v[3]);
      style.transform = {scale, 0, 0, scale, (*width - v[2] * scale) / 2 - v[0] * scale,
                         (*height - v[3] * scale) / 2 - v[1] * scale};
    }
    return style;
  }

  Style element(std::string_view name, const std::vector<Attribute>& attributes, const Style& parent) {
    Style style = parent;
    const auto value = [&](std::string_view key) -> const std::string* {
      for (const Attribute& a : attributes)
        if (a.name == key) return &a.value;
      return nullptr;
    };
    if (const std::string* t = value("transform")) style.transform = transformList(*t).then(parent.transform);
    for (const Attribute& a : attributes) {
      if (a.name == "transform" || a.name == "style" || ignorable(a.name) || geometric(name, a.name)) continue;
      if (!applyProperty(style, a.name, a.value))
        throw Failure{"unsupported attribute " + std::string(a.name) + " on " + std::string(name)};
    }
    if (const std::string* s = value("style")) applyStyleAttribute(style, *s);
    if (name == "g") return style;

    const auto get = [&](std::string_view key, double fallback) {
      const std::string* v = value(key);
      return v ? length(*v, std::string(key).c_str()) : fallback;
    };
    PathBuilder p(style.transform, budget_);
    if (name == "path") {
      if (const std::string* d = value("d")) pathData(p, *d);
    } else if (name == "rect") {
      const double x = get("x", 0), y = get("y", 0), w = get("width", 0), h = get("height", 0);
      double rx = get("rx", -1), ry = get("ry", -1);
      if (rx < 0) rx = ry;
      if (ry < 0) ry = rx;
      rx = std::clamp(rx, 0.0, w / 2), ry = std::clamp(ry, 0.0, h / 2);
      if (w > 0 && h > 0) {
        p.moveTo(x + rx, y);
        p.lineTo(x + w - rx, y);
        if (rx > 0) arcTo(p, rx, ry, 0, false, true, x + w, y + ry);
        p.lineTo(x + w, y + h - ry);
        if (rx > 0) arcTo(p, rx, ry, 0, false, true, x + w - rx, y + h);
        p.lineTo(x + rx, y + h);
        if (rx > 0) arcTo(p, rx, ry, 0, false, true, x, y + h - ry);
        p.lineTo(x, y + ry);
        if (rx > 0) arcTo(p, rx, ry, 0, false, true, x + rx, y);
        p.close();
      }
    } else if (name == "circle" || name == "ellipse") {
      const double cx = get("cx", 0), cy = get("cy", 0);
      const double rx = name == "circle" ? get("r", 0) : get("rx", 0);
      const double ry = name == "circle" ? rx : get("ry", 0);
      if (rx > 0 && ry > 0) {
        p.moveTo(cx + rx, cy);
        arcTo(p, rx, ry, 0, false, true, cx - rx, cy);
        arcTo(p, rx, ry, 0, false, true, cx + rx, cy);
        p.close();
      }
    } else if (name == "line") {
      p.moveTo(get("x1", 0), get("y1", 0));
      p.lineTo(get("x2", 0), get("y2", 0));
    } else if (name == "polyline" || name == "polygon") {
      const std::string* points = value("points");
      const auto v = points ? numberList(*points) : std::optional<std::vector<double>>(std::vector<double>{});
      if (!v || v->size() % 2 != 0) throw Failure{"bad points"};
      for (size_t i = 0; i + 1 < v->size(); i += 2) {
        if (i == 0) p.moveTo((*v)[0], (*v)[1]);
        else p.lineTo((*v)[i], (*v)[i + 1]);
      }
      if (name == "polygon" && !v->empty()) p.close();
    } else {
      throw Failure{"unsupported element <" + std::string(name) + ">"};
    }

    SvgShape shape;
    shape.subpaths = p.take();
    shape.fill = style.fill;
    shape.fill.opacity = style.opacity * style.fillOpacity;
    // Lines and polylines are never filled.
    if (name == "line" || name == "polyline") shape.fill.enabled = false;
    shape.stroke = style.stroke;
    shape.stroke.opacity = style.opacity * style.strokeOpacity;
    shape.strokeWidth = static_cast<float>(style.strokeWidth * style.transform.scale());
    if (!std::isfinite(shape.strokeWidth)) throw Failure{"stroke width out of range"};
    if (!shape.subpaths.empty() && (shape.fill.enabled || shape.stroke.enabled))
      picture_.shapes.push_back(std::move(shape));
    return style;
  }

  // Attributes that change nothing in the drawing.
  static bool ignorable(std::string_view name) {
    return name == "id" || name == "class" || name == "version" || name == "xmlns" ||
           name.starts_with("xmlns:") || name == "xml:space";
  }

  static bool geometric(std::string_view element, std::string_view attribute) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kGeometry = {{
        {"path", " d "},
        {"rect", " x y width height rx ry "},
        {"circle", " cx cy r "},
        {"ellipse", " cx cy rx ry "},
        {"line", " x1 y1 x2 y2 "},
        {"poly", " points "},
    }};
    for (const auto& [prefix, names] : kGeometry) {
      if (!element.starts_with(prefix)) continue;
      const std::string key = " " + std::string(attribute) + " ";
      return names.find(key) != std::string_view::npos;
    }
    return false;
  }

  SvgPicture& picture_;
  size_t budget_ = kMaxPoints;
};

}  // namespace

bool parseSvg(std::string_view text, SvgPicture& picture, std::string& error) {
  picture = SvgPicture{};
  error.clear();
  try {
    if (text.size() > kMaxDocumentBytes) throw Failure{"the document is larger than 1 MiB"};
    Reader(picture).read(text);
    return true;
  } catch (const Failure& failure) {
    picture = SvgPicture{};
    error = failure.what;
    return false;
  } catch (const std::exception&) {
    picture = SvgPicture{};
    error = "out of memory";
    return false;
  }
}

}  // namespace plugkit::gfx
