#pragma once
// The units measures are counted in, and reading a measure written with a unit.
#include <QStringView>

// Units a measure is counted in, per point.
inline constexpr int kTwipsPerPoint = 20;
inline constexpr int kHalfPointsPerPoint = 2;
// English Metric Units (drawing sizes) in a point, and in a pixel at 96 pixels per inch.
inline constexpr int kEmuPerPoint = 12700;
inline constexpr long long kEmuPerPixel = 9525;
// Twips in a pixel at 96 pixels per inch.
inline constexpr double kTwipsPerPixel = 15.0;
// The spacing "automatic" spacing before or after a paragraph stands for (14 points).
inline constexpr int kAutoSpacingTwips = 14 * kTwipsPerPoint;
// w:spacing w:line of single spacing (a line counts 240 when the rule is "auto").
inline constexpr int kSingleLineSpacing = 240;
// A measure: a whole number of units (`unitsPerPoint` to the point), or, as
// strict markup may give it, a decimal number with a unit ("12pt", "1in",
// "2.54cm", "25.4mm", "1pc", "1pi") rounded to whole units. False when it
// reads as neither or does not fit an int.
bool readMeasure(QStringView text, int unitsPerPoint, int *out);
