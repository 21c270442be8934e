// Block animations on the main loop's clock: the recorded values, the presented values
// mid-animation, and a completion that runs once, never before the end.
#include <gtest/gtest.h>

#include <hvplatform/uikit_host.hpp>

#include "common/objc/foundation.hpp"
#include "common/objc/weak.hpp"
#include "common/ui/uikit.hpp"

namespace ui = halvernic::ui;

namespace {

TEST(Animation, CompletionRunsOnceAfterTheEndNeverEarlier) {
  objc::AutoreleasePool pool;
  hv::uikit::Host host(CGSizeMake(300, 300));
  objc::Ref card = objc::Ref::adopt(ui::UIView::initWithFrame.send(
      ui::NSObject::alloc.send(ui::kUIView), CGRectMake(0, 0, 100, 100)));
  ui::UIView::addSubview.send(host.root_view(), card.get());
  ui::UIView::setAlpha.send(card.get(), 0.0);
  ui::UIView::setTransform.send(card.get(), CGAffineTransformMakeScale(0.96, 0.96));
  hv::uikit::forget_animations();
  const size_t before = hv::uikit::animations().size();

  __block int completions = 0;
  __block BOOL finished_flag = NO;
  objc::Ref captured = card;
  ui::UIView::animateWithDuration_delay_options_animations_completion.send(
      ui::kUIView, 0.16, 0.05, ui::UIViewAnimationOptionCurveEaseOut,
      ^{
        ui::UIView::setAlpha.send(captured.get(), 1.0);
        ui::UIView::setTransform.send(captured.get(), CGAffineTransformIdentity);
      },
      ^(BOOL finished) {
        ++completions;
        finished_flag = finished;
      });
  // The model values take effect at once; the record says what changed.
  EXPECT_EQ(ui::UIView::alpha.send(card.get()), 1.0);
  const auto records = hv::uikit::animations();
  ASSERT_EQ(records.size(), before + 1);
  const hv::uikit::AnimationRecord& r = records.back();
  EXPECT_EQ(r.duration, 0.16);
  EXPECT_EQ(r.delay, 0.05);
  EXPECT_EQ(r.options, ui::UIViewAnimationOptionCurveEaseOut);
  ASSERT_EQ(r.changes.size(), 2u);
  EXPECT_EQ(r.changes[0].property, "alpha");
  EXPECT_EQ(r.changes[0].from, std::vector<double>{0.0});
  EXPECT_EQ(r.changes[0].to, std::vector<double>{1.0});
  EXPECT_EQ(r.changes[1].property, "transform");
  EXPECT_EQ(r.changes[1].from[0], 0.96);
  EXPECT_EQ(r.changes[1].to[0], 1.0);

  // Mid-animation the picture shows the value between: the card is neither gone nor full.
  hv::uikit::advance(0.05 + 0.08);
  const hv::render::Node mid = host.display_list().children.back();
  EXPECT_GT(mid.opacity, 0.0);
  EXPECT_LT(mid.opacity, 1.0);
  EXPECT_EQ(completions, 0);
  hv::uikit::advance(0.079);  // 0.209 < 0.21: not yet
  EXPECT_EQ(completions, 0);
  hv::uikit::advance(0.002);
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(finished_flag, YES);
  hv::uikit::advance(5);
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(host.display_list().children.back().opacity, 1.0);
}

TEST(Animation, ACompletionRemovingItsViewRunsOnTheLoopAndTimersKeepTheirOrder) {
  objc::AutoreleasePool pool;
  hv::uikit::Host host(CGSizeMake(300, 300));
  objc::Ref overlay = objc::Ref::adopt(ui::UIView::initWithFrame.send(
      ui::NSObject::alloc.send(ui::kUIControl), CGRectMake(0, 0, 300, 300)));
  ui::UIView::addSubview.send(host.root_view(), overlay.get());
  objc::WeakRef weak(overlay.get());
  std::vector<int> order;
  std::vector<int>* order_ptr = &order;
  hv::uikit::after(0.12, [&] { order.push_back(1); });
  {  // the block literals (and the Refs they captured) end with this scope
    objc::Ref captured = overlay;
    ui::UIView::animateWithDuration_animations_completion.send(
        ui::kUIView, 0.12,
        ^{
          ui::UIView::setAlpha.send(captured.get(), 0.0);
        },
        ^(BOOL) {
          ui::UIView::removeFromSuperview.send(captured.get());
          order_ptr->push_back(2);
        });
  }
  overlay.reset();
  EXPECT_TRUE(weak.load());  // the tree holds it while it fades
  hv::uikit::advance(0.2);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  EXPECT_EQ(objc::count(ui::UIView::subviews.send(host.root_view())), 0u);
  hv::uikit::forget_animations();  // the record held the last reference
  EXPECT_FALSE(weak.load());
}

}  // namespace

namespace {
TEST(Animation, AnAnimationStartedMidwayStartsFromWhatIsShown) {
  objc::AutoreleasePool pool;
  hv::uikit::Host host(CGSizeMake(100, 100));
  objc::Ref overlay = objc::Ref::adopt(ui::UIView::initWithFrame.send(
      ui::NSObject::alloc.send(ui::kUIView), CGRectMake(0, 0, 100, 100)));
  ui::UIView::addSubview.send(host.root_view(), overlay.get());
  id v = overlay.get();
  ui::UIView::animateWithDuration_animations.send(ui::kUIView, 0.2, ^{
    ui::UIView::setAlpha.send(v, 0.0);
  });
  hv::uikit::advance(0.1);
  ui::UIView::animateWithDuration_delay_options_animations_completion.send(
      ui::kUIView, 0.12, 0.0, ui::UIViewAnimationOptionCurveLinear,
      ^{
        ui::UIView::setAlpha.send(v, 1.0);
      },
      nullptr);
  const hv::uikit::AnimationRecord r = hv::uikit::animations().back();
  ASSERT_EQ(r.changes.size(), 1u);
  EXPECT_GT(r.changes[0].from[0], 0.0);  // mid-fade, not the model's 0
  EXPECT_LT(r.changes[0].from[0], 1.0);
  hv::uikit::advance(0.06);  // linear: halfway between that and 1
  EXPECT_NEAR(host.display_list().children.back().opacity, (r.changes[0].from[0] + 1) / 2, 1e-9);
  hv::uikit::advance(1);
  EXPECT_EQ(host.display_list().children.back().opacity, 1.0);
}
}  // namespace
