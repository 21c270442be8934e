#include "tests/render/menu_scene.hpp"

#include <initializer_list>
#include <utility>

#include "common/objc/foundation.hpp"
#include "common/objc/ref.hpp"
#include "common/ui/quartzcore.hpp"
#include "common/ui/uikit.hpp"

namespace hv::render::demo {

namespace {

namespace ui = halvernic::ui;

CGRect cg(Rect r) { return CGRectMake(r.x, r.y, r.width, r.height); }

objc::Ref make_view(CGRect frame, const objc::ClassName& cls = ui::kUIView) {
  return objc::Ref::adopt(ui::UIView::initWithFrame.send(ui::NSObject::alloc.send(cls), frame));
}

id white(double w, double a) { return ui::UIColor::colorWithWhite_alpha.send(ui::kUIColor, w, a); }
id rgba(double r, double g, double b, double a) {
  return ui::UIColor::colorWithRed_green_blue_alpha.send(ui::kUIColor, r, g, b, a);
}

// A colour that is `dark` in the dark appearance and `light` otherwise.
objc::Ref dynamic(id dark, id light) {
  objc::Ref d = objc::Ref::retain(dark), l = objc::Ref::retain(light);
  id (^provider)(id) = ^id(id traits) {
    return ui::UITraitCollection::userInterfaceStyle.send(traits) == ui::UIUserInterfaceStyleDark
               ? d.get()
               : l.get();
  };
  return objc::Ref::adopt(
      ui::UIColor::initWithDynamicProvider.send(ui::NSObject::alloc.send(ui::kUIColor), provider));
}

objc::Ref label(const char* text, CGRect frame, CGFloat size, CGFloat weight, id color,
                ui::NSTextAlignment alignment = ui::NSTextAlignmentLeft) {
  objc::Ref l = make_view(frame, ui::kUILabel);
  ui::UILabel::setText.send(l.get(), objc::string(text));
  ui::UILabel::setFont.send(l.get(),
                            ui::UIFont::systemFontOfSize_weight.send(ui::kUIFont, size, weight));
  ui::UILabel::setTextColor.send(l.get(), color);
  ui::UILabel::setTextAlignment.send(l.get(), alignment);
  return l;
}

void round_corners(id view, CGFloat radius) {
  id layer = ui::UIView::layer.send(view);
  ui::CALayer::setCornerRadius.send(layer, radius);
  ui::CALayer::setCornerCurve.send(layer, kCACornerCurveContinuous);
}

// A group of cells, as a grouped table shows them: coloured icons, titles, separators.
objc::Ref cells(CGFloat y, std::initializer_list<std::pair<const char*, id>> rows) {
  const CGFloat width = kPicture.width - 32;
  objc::Ref group = make_view(CGRectMake(16, y, width, 44.0 * rows.size()));
  ui::UIView::setBackgroundColor.send(
      group.get(), ui::UIColor::secondarySystemGroupedBackgroundColor.send(ui::kUIColor));
  round_corners(group.get(), 10);
  ui::UIView::setClipsToBounds.send(group.get(), YES);
  int i = 0;
  for (auto [title, colour] : rows) {
    objc::Ref icon = make_view(CGRectMake(16, i * 44 + 7.0, 30, 30));
    ui::UIView::setBackgroundColor.send(icon.get(), colour);
    round_corners(icon.get(), 7);
    ui::UIView::addSubview.send(group.get(), icon.get());
    objc::Ref text = label(title, CGRectMake(60, i * 44.0, 220, 44), 17, UIFontWeightRegular,
                           ui::UIColor::labelColor.send(ui::kUIColor));
    ui::UIView::addSubview.send(group.get(), text.get());
    if (i + 1 < static_cast<int>(rows.size())) {
      objc::Ref line = make_view(CGRectMake(60, (i + 1) * 44 - 0.5, width - 60, 0.5));
      ui::UIView::setBackgroundColor.send(line.get(),
                                          ui::UIColor::separatorColor.send(ui::kUIColor));
      ui::UIView::addSubview.send(group.get(), line.get());
    }
    ++i;
  }
  return group;
}

// The Control Center tile: its glyph is the fallback pulse line, stroked into a 42-point
// image context and shown as a template in the selected orange.
objc::Ref tile() {
  objc::Ref t = make_view(cg(kTile));
  ui::UIView::setBackgroundColor.send(t.get(), dynamic(white(0.2, 0.9), white(0.3, 0.7)).get());
  round_corners(t.get(), 18);
  UIGraphicsBeginImageContextWithOptions(CGSizeMake(42, 42), NO, 0.0);
  id path = ui::UIBezierPath::bezierPath.send(ui::kUIBezierPath);
  ui::UIBezierPath::moveToPoint.send(path, CGPointMake(4, 23));
  for (CGPoint p : {CGPointMake(14, 23), CGPointMake(19, 10), CGPointMake(25, 34),
                    CGPointMake(30, 20), CGPointMake(38, 20)})
    ui::UIBezierPath::addLineToPoint.send(path, p);
  ui::UIColor::setStroke.send(ui::UIColor::whiteColor.send(ui::kUIColor));
  ui::UIBezierPath::setLineWidth.send(path, 3.0);
  ui::UIBezierPath::stroke.send(path);
  id glyph = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  id templ =
      ui::UIImage::imageWithRenderingMode.send(glyph, ui::UIImageRenderingModeAlwaysTemplate);
  objc::Ref image_view = objc::Ref::adopt(
      ui::UIImageView::initWithImage.send(ui::NSObject::alloc.send(ui::kUIImageView), templ));
  ui::UIView::setFrame.send(image_view.get(), CGRectMake(15, 15, 42, 42));
  ui::UIView::setTintColor.send(image_view.get(),
                                ui::UIColor::systemOrangeColor.send(ui::kUIColor));
  ui::UIView::addSubview.send(t.get(), image_view.get());
  return t;
}

// The CPU mode menu as the settings pane builds it.
objc::Ref menu() {
  const CGFloat w = kMenu.width, h = kMenu.height;
  objc::Ref container = make_view(cg(kMenu));
  ui::UIView::setBackgroundColor.send(container.get(), ui::UIColor::clearColor.send(ui::kUIColor));
  id layer = ui::UIView::layer.send(container.get());
  ui::CALayer::setShadowColor.send(
      layer, ui::UIColor::CGColor.send(ui::UIColor::blackColor.send(ui::kUIColor)));
  ui::CALayer::setShadowOpacity.send(layer, 0.25f);
  ui::CALayer::setShadowRadius.send(layer, 20.0);
  ui::CALayer::setShadowOffset.send(layer, CGSizeMake(0, 8));
  ui::CALayer::setShadowPath.send(
      layer,
      ui::UIBezierPath::CGPath.send(ui::UIBezierPath::bezierPathWithRoundedRect_cornerRadius.send(
          ui::kUIBezierPath, CGRectMake(0, 0, w, h), 14.0)));

  objc::Ref card = make_view(CGRectMake(0, 0, w, h));
  ui::UIView::setBackgroundColor.send(card.get(),
                                      dynamic(white(0.12, 0.95), white(0.98, 0.86)).get());
  id card_layer = ui::UIView::layer.send(card.get());
  ui::CALayer::setCornerRadius.send(card_layer, 14.0);
  ui::CALayer::setMasksToBounds.send(card_layer, YES);
  ui::CALayer::setCornerCurve.send(card_layer, kCACornerCurveContinuous);
  id effect = ui::UIBlurEffect::effectWithStyle.send(ui::kUIBlurEffect,
                                                     ui::UIBlurEffectStyleSystemThinMaterial);
  objc::Ref blur = objc::Ref::adopt(ui::UIVisualEffectView::initWithEffect.send(
      ui::NSObject::alloc.send(ui::kUIVisualEffectView), effect));
  ui::UIView::setFrame.send(blur.get(), CGRectMake(0, 0, w, h));
  ui::UIView::setAutoresizingMask.send(blur.get(), ui::UIViewAutoresizingFlexibleWidth |
                                                       ui::UIViewAutoresizingFlexibleHeight);
  ui::UIView::insertSubview_atIndex.send(card.get(), blur.get(), 0);
  ui::UIView::addSubview.send(container.get(), card.get());

  objc::Ref title = dynamic(ui::UIColor::whiteColor.send(ui::kUIColor),
                            ui::UIColor::blackColor.send(ui::kUIColor));
  objc::Ref separator = dynamic(white(1.0, 0.12), white(0.0, 0.1));
  objc::Ref check = dynamic(rgba(0.4, 0.7, 1.0, 1.0), rgba(0.0, 0.36, 1.0, 1.0));
  const char* titles[] = {"苹果原生温控", "模拟低电频率", "防止温控降频"};
  for (int i = 0; i < 3; ++i) {
    id button = ui::UIButton::buttonWithType.send(ui::kUIButton, ui::UIButtonTypeSystem);
    ui::UIView::setTag.send(button, i);
    ui::UIView::setFrame.send(button, CGRectMake(0, i * kRow, w, kRow));
    ui::UIControl::setContentHorizontalAlignment.send(button,
                                                      ui::UIControlContentHorizontalAlignmentLeft);
    if (id title_label = ui::UIButton::titleLabel.send(button))
      ui::UILabel::setFont.send(title_label, ui::UIFont::systemFontOfSize_weight.send(
                                                 ui::kUIFont, 16.0, UIFontWeightRegular));
    ui::UIButton::setTitle_forState.send(button, objc::string(titles[i]), ui::UIControlStateNormal);
    ui::UIButton::setTitleColor_forState.send(button, title.get(), ui::UIControlStateNormal);
    ui::UIButton::setTitleEdgeInsets.send(button, ui::UIEdgeInsetsMake(0, 18, 0, 48));
    ui::UIView::addSubview.send(card.get(), button);
    if (i == kCheckedRow) {
      objc::Ref mark = label("\u2713", CGRectMake(w - 39, i * kRow, 22, kRow), 19,
                             UIFontWeightSemibold, check.get(), ui::NSTextAlignmentCenter);
      ui::UIView::addSubview.send(card.get(), mark.get());
    }
    if (i < 2) {
      objc::Ref line = make_view(CGRectMake(0, (i + 1) * kRow - 0.5, w, 0.5));
      ui::UIView::setBackgroundColor.send(line.get(), separator.get());
      ui::UIView::addSubview.send(card.get(), line.get());
    }
  }
  return container;
}

}  // namespace

id build_menu_scene(hv::uikit::Host& host) {
  objc::AutoreleasePool pool;
  id root = host.root_view();
  ui::UIView::setBackgroundColor.send(root,
                                      ui::UIColor::systemGroupedBackgroundColor.send(ui::kUIColor));
  id secondary = ui::UIColor::secondaryLabelColor.send(ui::kUIColor);
  ui::UIView::addSubview.send(root, tile().get());
  ui::UIView::addSubview.send(
      root,
      label("HALVERNIC", CGRectMake(32, 140, 200, 20), 13, UIFontWeightRegular, secondary).get());
  objc::Ref first = cells(168, {{"防止温控降频", ui::UIColor::systemOrangeColor.send(ui::kUIColor)},
                                {"低功耗模式", ui::UIColor::systemGreenColor.send(ui::kUIColor)},
                                {"关闭温控警告", ui::UIColor::systemRedColor.send(ui::kUIColor)},
                                {"CPU 模式", ui::UIColor::systemBlueColor.send(ui::kUIColor)}});
  ui::UIView::addSubview.send(
      first.get(), label("苹果原生温控", CGRectMake(200, 3 * 44.0, kPicture.width - 32 - 216, 44),
                         17, UIFontWeightRegular, secondary, ui::NSTextAlignmentRight)
                       .get());
  ui::UIView::addSubview.send(root, first.get());
  ui::UIView::addSubview.send(root, cells(372, {{"屏幕调光", rgba(0.686, 0.322, 0.871, 1)},
                                                {"口袋模式", rgba(0.345, 0.337, 0.839, 1)},
                                                {"阳光模式", rgba(1, 0.8, 0, 1)}})
                                        .get());
  objc::Ref container = menu();
  ui::UIView::addSubview.send(root, container.get());
  return container.get();
}

}  // namespace hv::render::demo
