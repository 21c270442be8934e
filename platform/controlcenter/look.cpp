// The colours of Control Center's modules and the check mark of a selected menu row. The
// material follows the appearance: a dark translucent grey, lighter in light mode; glyphs
// and row titles stay white in both, as on the device.
#include "common/objc/foundation.hpp"
#include "common/objc/ref.hpp"
#include "common/ui/uikit.hpp"
#include "platform/controlcenter/internal.hpp"

namespace hv_controlcenter {

namespace {

id color(CGFloat white, CGFloat alpha) {
  return ui::UIColor::colorWithWhite_alpha.send(ui::kUIColor, white, alpha);
}

// A colour that resolves by the trait collection's appearance.
id dynamic_color(CGFloat light_white, CGFloat light_alpha, CGFloat dark_white, CGFloat dark_alpha) {
  return ui::UIColor::colorWithDynamicProvider.send(ui::kUIColor, ^id(id traits) {
    const bool dark =
        ui::UITraitCollection::userInterfaceStyle.send(traits) == ui::UIUserInterfaceStyleDark;
    return dark ? color(dark_white, dark_alpha) : color(light_white, light_alpha);
  });
}

}  // namespace

id material_color() { return dynamic_color(0.45, 0.55, 0.12, 0.72); }
id selected_platter_color() { return color(1.0, 1.0); }
id secondary_text_color() { return color(1.0, 0.6); }

// A check mark stroked in white: the platform's symbol when it has one, else drawn.
id make_checkmark_view() {
  objc::AutoreleasePool pool;
  id image = ui::UIImage::systemImageNamed.send(ui::kUIImage, objc::string("checkmark"));
  if (!image) {
    UIGraphicsBeginImageContextWithOptions(CGSize{kCheckmarkSide, kCheckmarkSide}, NO, 0.0);
    id path = ui::UIBezierPath::bezierPath.send(ui::kUIBezierPath);
    ui::UIBezierPath::moveToPoint.send(path, CGPoint{4, 11.5});
    ui::UIBezierPath::addLineToPoint.send(path, CGPoint{9, 16.5});
    ui::UIBezierPath::addLineToPoint.send(path, CGPoint{18, 5.5});
    ui::UIColor::setStroke.send(ui::UIColor::whiteColor.send(ui::kUIColor));
    ui::UIBezierPath::setLineWidth.send(path, 2.5);
    ui::UIBezierPath::stroke.send(path);
    image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
  }
  id view = ui::UIImageView::initWithImage.send(ui::NSObject::alloc.send(ui::kUIImageView), image);
  ui::UIView::setTintColor.send(view, ui::UIColor::whiteColor.send(ui::kUIColor));
  return view;
}

}  // namespace hv_controlcenter
