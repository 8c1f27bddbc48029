// Parameter initialisers, shapes, constraint, display and parsing.
#include "core/param.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plugkit {
namespace {

void copyText(char (&dest)[Param::kTextLength], const char* source) {
  std::snprintf(dest, sizeof dest, "%s", source ? source : "");
}

// Round half away from zero to a whole number of steps.
double roundHalfAway(double x) { return std::trunc(x + (x >= 0 ? 0.49999999999999994 : -0.49999999999999994)); }

}  // namespace

double Param::ShapeLinear::NormalizedToValue(double n, const Param& p) const {
  return n * (p.GetMax() - p.GetMin()) + p.GetMin();
}

double Param::ShapeLinear::ValueToNormalized(double v, const Param& p) const {
  return (v - p.GetMin()) / (p.GetMax() - p.GetMin());
}

Param::EDisplayType Param::ShapePowCurve::GetDisplayType() const {
  if (exponent_ > 2.5) return kDisplayCubeRoot;
  if (exponent_ > 1.5) return kDisplaySquareRoot;
  if (exponent_ < 0.4) return kDisplayCubed;
  if (exponent_ < 2.0 / 3.0) return kDisplaySquared;
  return kDisplayLinear;
}

double Param::ShapePowCurve::NormalizedToValue(double n, const Param& p) const {
  return p.GetMin() + (p.GetMax() - p.GetMin()) * std::pow(n, exponent_);
}

double Param::ShapePowCurve::ValueToNormalized(double v, const Param& p) const {
  return std::pow((v - p.GetMin()) / (p.GetMax() - p.GetMin()), 1.0 / exponent_);
}

void Param::ShapeExp::Init(const Param& p) {
  const double lo = p.GetMin() > 0.0 ? p.GetMin() : 1e-8;
  add_ = std::log(lo);
  mul_ = std::log(p.GetMax() / lo);
}

double Param::ShapeExp::NormalizedToValue(double n, const Param&) const {
  return std::exp(n * mul_ + add_);
}

double Param::ShapeExp::ValueToNormalized(double v, const Param&) const {
  return (std::log(v) - add_) / mul_;
}

Param::Param() : shape_(std::make_unique<ShapeLinear>()) {}

void Param::InitBool(const char* name, bool defaultValue, const char* label, int flags,
                     const char* group, const char* offText, const char* onText) {
  if (type_ == kTypeNone) type_ = kTypeBool;
  InitDouble(name, defaultValue ? 1.0 : 0.0, 0.0, 1.0, 1.0, label, flags | kFlagStepped, group,
             ShapeLinear(), kUnitCustom);
  SetDisplayText(0.0, offText);
  SetDisplayText(1.0, onText);
}

void Param::InitInt(const char* name, int defaultValue, int minValue, int maxValue,
                    const char* label, int flags, const char* group) {
  if (type_ == kTypeNone) type_ = kTypeInt;
  InitDouble(name, defaultValue, minValue, maxValue, 1.0, label, flags | kFlagStepped, group,
             ShapeLinear(), kUnitCustom);
}

void Param::InitEnum(const char* name, int defaultValue, const std::vector<std::string>& texts,
                     int flags, const char* group) {
  if (type_ == kTypeNone) type_ = kTypeEnum;
  const int entries = static_cast<int>(texts.size());
  InitDouble(name, defaultValue, 0.0, entries - 1, 1.0, "", flags | kFlagStepped, group,
             ShapeLinear(), kUnitCustom);
  for (int i = 0; i < entries; ++i) SetDisplayText(i, texts[static_cast<size_t>(i)].c_str());
}

void Param::InitDouble(const char* name, double defaultValue, double minValue, double maxValue,
                       double step, const char* label, int flags, const char* group,
                       const Shape& shape, EParamUnit unit, DisplayFunc displayFunc) {
  if (type_ == kTypeNone) type_ = kTypeDouble;
  copyText(name_, name);
  copyText(label_, label);
  copyText(group_, group);
  min_ = minValue;
  max_ = std::max(maxValue, minValue + step);
  step_ = step;
  default_ = defaultValue;
  unit_ = unit;
  flags_ = flags;
  displayFunc_ = std::move(displayFunc);
  Set(default_);

  displayPrecision_ = 0;
  double scaled = step_;
  while (displayPrecision_ < 6 && std::fabs(scaled - std::round(scaled)) > 1e-9 * std::fabs(scaled)) {
    scaled *= 10.0;
    ++displayPrecision_;
  }

  shape_.reset(shape.Clone());
  shape_->Init(*this);
}

void Param::InitGain(const char* name, double defaultValue, double minValue, double maxValue,
                     double step, int flags, const char* group) {
  InitDouble(name, defaultValue, minValue, maxValue, step, "dB", flags, group, ShapeLinear(), kUnitDB);
}

void Param::InitPercentage(const char* name, double defaultValue, double minValue, double maxValue,
                           int flags, const char* group) {
  InitDouble(name, defaultValue, minValue, maxValue, 1.0, "%", flags, group, ShapeLinear(),
             kUnitPercentage);
}

void Param::InitMilliseconds(const char* name, double defaultValue, double minValue,
                             double maxValue, int flags, const char* group) {
  InitDouble(name, defaultValue, minValue, maxValue, 1.0, "ms", flags, group, ShapeLinear(),
             kUnitMilliseconds);
}

void Param::InitSeconds(const char* name, double defaultValue, double minValue, double maxValue,
                        double step, int flags, const char* group) {
  InitDouble(name, defaultValue, minValue, maxValue, step, "Seconds", flags, group, ShapeLinear(),
             kUnitSeconds);
}

void Param::InitFrequency(const char* name, double defaultValue, double minValue, double maxValue,
                          double step, int flags, const char* group) {
  InitDouble(name, defaultValue, minValue, maxValue, step, "Hz", flags, group, ShapeExp(),
             kUnitFrequency);
}

void Param::InitAngleDegrees(const char* name, double defaultValue, double minValue,
                             double maxValue, int flags, const char* group) {
  InitDouble(name, defaultValue, minValue, maxValue, 1.0, "degrees", flags, group, ShapeLinear(),
             kUnitDegrees);
}

void Param::SetDisplayText(double value, const char* text) {
  DisplayText entry{value, {}};
  copyText(entry.text, text);
  displayTexts_.push_back(entry);
}

double Param::roundToStep(double value) const {
  return Stepped() ? roundHalfAway(value / step_) * step_ : value;
}

double Param::Constrain(double value) const {
  // A NaN from a host, a damaged state or typed text must never reach the audio thread.
  if (std::isnan(value)) value = default_;
  return std::clamp(roundToStep(value), min_, max_);
}

double Param::FromNormalized(double normalised) const {
  return Constrain(shape_->NormalizedToValue(normalised, *this));
}

double Param::ToNormalized(double value) const {
  return std::clamp(shape_->ValueToNormalized(Constrain(value), *this), 0.0, 1.0);
}

const char* Param::GetLabel() const {
  const char* text = GetDisplayText(static_cast<int>(Value()));
  return (text[0] != '\0') ? "" : label_;
}

const char* Param::DisplayTextAt(int index, double* value) const {
  if (index < 0 || index >= DisplayTextCount()) return "";
  const DisplayText& entry = displayTexts_[static_cast<size_t>(index)];
  if (value) *value = entry.value;
  return entry.text;
}

const char* Param::GetDisplayText(double value) const {
  for (const DisplayText& entry : displayTexts_)
    if (entry.value == value) return entry.text;
  return "";
}

bool Param::FindDisplayText(const char* text, double* value) const {
  for (const DisplayText& entry : displayTexts_) {
    if (std::strcmp(entry.text, text) == 0) {
      if (value) *value = entry.value;
      return true;
    }
  }
  return false;
}

void Param::GetDisplay(double value, bool normalised, std::string& out, bool withDisplayText) const {
  if (normalised) value = std::clamp(roundToStep(shape_->NormalizedToValue(value, *this)), min_, max_);

  if (displayFunc_) {
    displayFunc_(value, out);
    return;
  }

  if (withDisplayText) {
    for (const DisplayText& entry : displayTexts_) {
      if (entry.value == value && entry.text[0] != '\0') {
        out.assign(entry.text, std::min<size_t>(std::strlen(entry.text), kTextLength));
        return;
      }
    }
  }

  if (flags_ & kFlagNegateDisplay) value = -value;
  if (value == 0.0) value = 0.0;  // prints -0 as 0

  char buffer[kTextLength + 1];
  if (displayPrecision_ == 0) {
    std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(roundHalfAway(value)));
  } else if ((flags_ & kFlagSignDisplay) && value != 0.0) {
    std::snprintf(buffer, sizeof buffer, "%+.*f", displayPrecision_, value);
  } else {
    std::snprintf(buffer, sizeof buffer, "%.*f", displayPrecision_, value);
  }
  out = buffer;
}

double Param::StringToValue(const char* text) const {
  double value = 0.0;
  if (FindDisplayText(text, &value)) return value;
  if (type_ == kTypeBool || type_ == kTypeEnum) return 0.0;
  value = std::atof(text);
  if (flags_ & kFlagNegateDisplay) value = -value;
  return Constrain(value);
}

}  // namespace plugkit
