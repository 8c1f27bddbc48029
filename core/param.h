// One host-automatable parameter: range, shape, value in real units, display and parse.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace plugkit {

class Param {
 public:
  enum EType : int32_t { kTypeNone = 0, kTypeBool = 1, kTypeInt = 2, kTypeEnum = 3, kTypeDouble = 4 };

  enum EParamUnit : int32_t {
    kUnitPercentage = 0, kUnitSeconds, kUnitMilliseconds, kUnitSamples, kUnitDB,
    kUnitLinearGain, kUnitPan, kUnitPhase, kUnitDegrees, kUnitMeters, kUnitRate,
    kUnitRatio, kUnitFrequency, kUnitOctaves, kUnitCents, kUnitAbsCents, kUnitSemitones,
    kUnitMIDINote, kUnitMIDICtrlNum, kUnitBPM, kUnitBeats, kUnitCustom
  };

  enum EFlags : int32_t {
    kFlagsNone = 0,
    kFlagCannotAutomate = 1,
    kFlagStepped = 2,
    kFlagNegateDisplay = 4,
    kFlagSignDisplay = 8,
    kFlagMeta = 16,
  };

  enum EDisplayType : int32_t {
    kDisplayLinear = 0, kDisplayLog, kDisplayExp, kDisplaySquared,
    kDisplaySquareRoot, kDisplayCubed, kDisplayCubeRoot
  };

  /// Maps the host's normalised 0..1 travel to real units and back.
  class Shape {
   public:
    virtual ~Shape() = default;
    virtual Shape* Clone() const = 0;
    virtual void Init(const Param&) {}
    virtual EDisplayType GetDisplayType() const { return kDisplayLinear; }
    virtual double NormalizedToValue(double normalised, const Param& param) const = 0;
    virtual double ValueToNormalized(double value, const Param& param) const = 0;
  };

  class ShapeLinear : public Shape {
   public:
    Shape* Clone() const override { return new ShapeLinear(*this); }
    double NormalizedToValue(double normalised, const Param& param) const override;
    double ValueToNormalized(double value, const Param& param) const override;
  };

  class ShapePowCurve : public Shape {
   public:
    explicit ShapePowCurve(double exponent) : exponent_(exponent) {}
    Shape* Clone() const override { return new ShapePowCurve(*this); }
    EDisplayType GetDisplayType() const override;
    double NormalizedToValue(double normalised, const Param& param) const override;
    double ValueToNormalized(double value, const Param& param) const override;

   private:
    double exponent_;
  };

  class ShapeExp : public Shape {
   public:
    Shape* Clone() const override { return new ShapeExp(*this); }
    void Init(const Param& param) override;
    EDisplayType GetDisplayType() const override { return kDisplayLog; }
    double NormalizedToValue(double normalised, const Param& param) const override;
    double ValueToNormalized(double value, const Param& param) const override;

   private:
    double add_ = 0.0;
    double mul_ = 1.0;
  };

  /// Writes the display text of a value in real units.
  using DisplayFunc = std::function<void(double value, std::string& out)>;

  static constexpr int kTextLength = 32;  // bytes including the terminator

  Param();
  Param(const Param&) = delete;
  Param& operator=(const Param&) = delete;

  // Initialisers: each is called once, before the host sees the plug-in.
  void InitBool(const char* name, bool defaultValue, const char* label = "", int flags = 0,
                const char* group = "", const char* offText = "off", const char* onText = "on");
  void InitInt(const char* name, int defaultValue, int minValue, int maxValue,
               const char* label = "", int flags = 0, const char* group = "");
  void InitEnum(const char* name, int defaultValue, const std::vector<std::string>& texts,
                int flags = 0, const char* group = "");
  void InitDouble(const char* name, double defaultValue, double minValue, double maxValue,
                  double step, const char* label = "", int flags = 0, const char* group = "",
                  const Shape& shape = ShapeLinear(), EParamUnit unit = kUnitCustom,
                  DisplayFunc displayFunc = nullptr);
  void InitGain(const char* name, double defaultValue = 0.0, double minValue = -70.0,
                double maxValue = 24.0, double step = 0.5, int flags = 0, const char* group = "");
  void InitPercentage(const char* name, double defaultValue = 0.0, double minValue = 0.0,
                      double maxValue = 100.0, int flags = 0, const char* group = "");
  void InitMilliseconds(const char* name, double defaultValue, double minValue, double maxValue,
                        int flags = 0, const char* group = "");
  void InitSeconds(const char* name, double defaultValue, double minValue, double maxValue,
                   double step, int flags = 0, const char* group = "");
  void InitFrequency(const char* name, double defaultValue, double minValue, double maxValue,
                     double step, int flags = 0, const char* group = "");
  void InitAngleDegrees(const char* name, double defaultValue = 0.0, double minValue = 0.0,
                        double maxValue = 360.0, int flags = 0, const char* group = "");

  /// Appends one fixed display text for an exact value.
  void SetDisplayText(double value, const char* text);

  // Value access; thread-safe (atomic), usable from the audio thread.
  double Value() const { return value_.load(std::memory_order_relaxed); }
  bool Bool() const { return Value() >= 0.5; }
  int Int() const { return static_cast<int>(Value()); }
  double Constrain(double value) const;
  void Set(double value) { value_.exchange(Constrain(value), std::memory_order_relaxed); }
  void SetNormalized(double normalised) { Set(FromNormalized(normalised)); }
  double GetNormalized() const { return ToNormalized(Value()); }
  double FromNormalized(double normalised) const;
  double ToNormalized(double value) const;
  void SetToDefault() { Set(default_); }

  // Description.
  EType Type() const { return type_; }
  EParamUnit Unit() const { return unit_; }
  int Flags() const { return flags_; }
  bool Stepped() const { return (flags_ & kFlagStepped) != 0; }
  double GetMin() const { return min_; }
  double GetMax() const { return max_; }
  double GetRange() const { return max_ - min_; }
  double GetStep() const { return step_; }
  double GetDefault(bool normalised = false) const {
    return normalised ? ToNormalized(default_) : default_;
  }
  int GetDisplayPrecision() const { return displayPrecision_; }
  void GetBounds(double& lo, double& hi) const { lo = min_; hi = max_; }
  const char* GetName() const { return name_; }
  const char* GetLabel() const;
  const char* GetGroup() const { return group_; }
  const Shape& GetShape() const { return *shape_; }
  EDisplayType DisplayType() const { return shape_->GetDisplayType(); }

  // Display texts.
  int DisplayTextCount() const { return static_cast<int>(displayTexts_.size()); }
  const char* DisplayTextAt(int index, double* value = nullptr) const;
  const char* GetDisplayText(double value) const;
  bool FindDisplayText(const char* text, double* value) const;

  /// The text shown for a value (real units, or normalised when asked).
  void GetDisplay(double value, bool normalised, std::string& out, bool withDisplayText = true) const;
  void GetDisplay(std::string& out, bool withDisplayText = true) const {
    GetDisplay(Value(), false, out, withDisplayText);
  }
  /// Parses typed text to a value in real units (display texts first, else a number).
  double StringToValue(const char* text) const;

 private:
  struct DisplayText {
    double value;
    char text[kTextLength];
  };

  double roundToStep(double value) const;

  EType type_ = kTypeNone;
  EParamUnit unit_ = kUnitCustom;
  std::atomic<double> value_{0.0};
  double min_ = 0.0;
  double max_ = 1.0;
  double step_ = 1.0;
  double default_ = 0.0;
  int displayPrecision_ = 0;
  int flags_ = 0;
  char name_[kTextLength] = {};
  char label_[kTextLength] = {};
  char group_[kTextLength] = {};
  std::unique_ptr<Shape> shape_;
  DisplayFunc displayFunc_;
  std::vector<DisplayText> displayTexts_;
};

}  // namespace plugkit
