// The tile's fallback glyph, drawn when the system symbol cannot be loaded: an open pulse
// line in white on a clear 42 by 42 point image at the screen's scale.
#include <array>

#include "ccmodule/classes.hpp"
#include "common/ui/uikit.hpp"

namespace halvernic::ccmodule {

namespace {
constexpr CGFloat kGlyphSide = 42.0;
constexpr CGFloat kLineWidth = 3.0;
constexpr std::array<CGPoint, 6> kPulse = {
    {{4, 23}, {14, 23}, {19, 10}, {25, 34}, {30, 20}, {38, 20}}};
}  // namespace

id drawFallbackGlyph() {
  UIGraphicsBeginImageContextWithOptions(CGSize{kGlyphSide, kGlyphSide}, NO, 0.0);
  id path = ui::UIBezierPath::bezierPath.send(ui::kUIBezierPath);
  ui::UIBezierPath::moveToPoint.send(path, kPulse[0]);
  for (std::size_t i = 1; i < kPulse.size(); ++i)
    ui::UIBezierPath::addLineToPoint.send(path, kPulse[i]);
  ui::UIColor::setStroke.send(ui::UIColor::whiteColor.send(ui::kUIColor));
  ui::UIBezierPath::setLineWidth.send(path, kLineWidth);
  ui::UIBezierPath::stroke.send(path);
  id image = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  return image;
}

}  // namespace halvernic::ccmodule
