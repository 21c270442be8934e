// The main run loop's clock and timers, and UIView's block animations on it.
//
// The clock is advanced by the host: explicitly in tests (Host::advance), with real time
// in an interactive host (Host::run_for). Timers and animation completions run on the
// main thread when the clock passes their time, in time order, each once.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

#include "platform/uikit/internal.hpp"
#include <hvplatform/uikit_host.hpp>

namespace hv::uikit {
namespace {

struct Timer {
  double when;
  std::uint64_t order;
  std::function<void()> work;
};

struct Change {
  objc::Ref view;  // kept while the animation is recorded
  Property property;
  // from/to for every animatable value (only the property's own are meaningful)
  CGPoint center_from{}, center_to{};
  CGRect bounds_from{}, bounds_to{};
  double alpha_from = 0, alpha_to = 0;
  CGAffineTransform transform_from{}, transform_to{};
  objc::Ref color_from, color_to;
};

struct Running {
  AnimationRecord record;
  std::vector<Change> changes;
  double start = 0;
};

double g_now = 0;
std::uint64_t g_order = 0;
std::vector<Timer> g_timers;
std::vector<Running> g_animations;           // recorded, in start order
std::vector<Change>* g_capturing = nullptr;  // inside an animations block

double curve(unsigned long options, double t) {
  switch ((options >> 16) & 3) {
    case 1: return t * t;                  // ease in
    case 2: return 1 - (1 - t) * (1 - t);  // ease out
    case 3: return t;                      // linear
    default: return t * t * (3 - 2 * t);   // ease in-out
  }
}

// The latest running animation of a view's property, with its progress at the clock.
const Change* active(id view, Property p, double* progress) {
  for (auto it = g_animations.rbegin(); it != g_animations.rend(); ++it) {
    const double end = it->start + it->record.duration;
    if (g_now >= end) continue;
    for (const Change& c : it->changes) {
      if (c.view.get() == view && c.property == p) {
        const double t = g_now <= it->start ? 0 : (g_now - it->start) / it->record.duration;
        *progress = curve(it->record.options, std::clamp(t, 0.0, 1.0));
        return &c;
      }
    }
  }
  return nullptr;
}

double lerp(double a, double b, double t) { return a + (b - a) * t; }

const char* property_name(Property p) {
  switch (p) {
    case Property::frame_center: return "center";
    case Property::bounds: return "bounds";
    case Property::alpha: return "alpha";
    case Property::transform: return "transform";
    case Property::background: return "backgroundColor";
  }
  return "";
}

void capture_to(Change& c) {
  ViewState& s = view_state(c.view.get());
  c.center_to = s.center;
  c.bounds_to = s.bounds;
  c.alpha_to = s.alpha;
  c.transform_to = s.transform;
  c.color_to = s.background;
}

}  // namespace

void will_change(id view, Property p) {
  if (!g_capturing) return;
  for (const Change& c : *g_capturing) {
    if (c.view.get() == view && c.property == p) return;  // the first value is the "from"
  }
  Change c;
  c.view = objc::Ref::retain(view);
  c.property = p;
  // from: the value on screen now (mid-animation values included)
  c.center_from = presented_center(view);
  c.bounds_from = presented_bounds(view);
  c.alpha_from = presented_alpha(view);
  c.transform_from = presented_transform(view);
  c.color_from = view_state(view).background;
  g_capturing->push_back(std::move(c));
}

double presented_alpha(id view) {
  double t;
  if (const Change* c = active(view, Property::alpha, &t))
    return lerp(c->alpha_from, c->alpha_to, t);
  return view_state(view).alpha;
}
CGAffineTransform presented_transform(id view) {
  double t;
  if (const Change* c = active(view, Property::transform, &t)) {
    const CGAffineTransform& a = c->transform_from;
    const CGAffineTransform& b = c->transform_to;
    return {lerp(a.a, b.a, t), lerp(a.b, b.b, t),   lerp(a.c, b.c, t),
            lerp(a.d, b.d, t), lerp(a.tx, b.tx, t), lerp(a.ty, b.ty, t)};
  }
  return view_state(view).transform;
}
CGPoint presented_center(id view) {
  double t;
  if (const Change* c = active(view, Property::frame_center, &t)) {
    return {lerp(c->center_from.x, c->center_to.x, t), lerp(c->center_from.y, c->center_to.y, t)};
  }
  return view_state(view).center;
}
CGRect presented_bounds(id view) {
  double t;
  if (const Change* c = active(view, Property::bounds, &t)) {
    const CGRect& a = c->bounds_from;
    const CGRect& b = c->bounds_to;
    return CGRectMake(lerp(a.origin.x, b.origin.x, t), lerp(a.origin.y, b.origin.y, t),
                      lerp(a.size.width, b.size.width, t), lerp(a.size.height, b.size.height, t));
  }
  return view_state(view).bounds;
}

double clock_now() { return g_now; }

void run_after(double delay, objc::Block<void()> work) {
  after(delay, [work = std::move(work)] { work(); });
}

void after(double delay, std::function<void()> work) {
  g_timers.push_back({g_now + std::max(delay, 0.0), g_order++, std::move(work)});
}

// +[UIView animateWithDuration:delay:options:animations:completion:]
void view_animate_delay(id, SEL, double duration, double delay, unsigned long options,
                        void (^animations)(), void (^completion)(BOOL)) {
  std::vector<Change> changes;
  std::vector<Change>* outer = g_capturing;
  g_capturing = &changes;
  if (animations) animations();
  g_capturing = outer;
  for (Change& c : changes) capture_to(c);

  Running r;
  r.record.duration = duration;
  r.record.delay = delay;
  r.record.options = options;
  r.record.start = g_now + delay;
  for (const Change& c : changes) {
    PropertyChange pc;
    pc.view = c.view.get();
    pc.property = property_name(c.property);
    switch (c.property) {
      case Property::alpha:
        pc.from = {c.alpha_from};
        pc.to = {c.alpha_to};
        break;
      case Property::transform:
        pc.from = {c.transform_from.a, c.transform_from.b,  c.transform_from.c,
                   c.transform_from.d, c.transform_from.tx, c.transform_from.ty};
        pc.to = {c.transform_to.a, c.transform_to.b,  c.transform_to.c,
                 c.transform_to.d, c.transform_to.tx, c.transform_to.ty};
        break;
      case Property::frame_center:
        pc.from = {c.center_from.x, c.center_from.y};
        pc.to = {c.center_to.x, c.center_to.y};
        break;
      case Property::bounds:
        pc.from = {c.bounds_from.origin.x, c.bounds_from.origin.y, c.bounds_from.size.width,
                   c.bounds_from.size.height};
        pc.to = {c.bounds_to.origin.x, c.bounds_to.origin.y, c.bounds_to.size.width,
                 c.bounds_to.size.height};
        break;
      case Property::background: break;
    }
    r.record.changes.push_back(std::move(pc));
  }
  r.changes = std::move(changes);
  r.start = g_now + delay;
  const double end = r.start + std::max(duration, 0.0);
  g_animations.push_back(std::move(r));
  // The completion runs once the clock has passed the end (finished: YES).
  objc::Block<void(BOOL)> done(completion);
  run_after(end - g_now, objc::Block<void()>(^{
              if (done) done(YES);
            }));
}

std::vector<AnimationRecord> animations() {
  std::vector<AnimationRecord> out;
  for (const Running& r : g_animations) out.push_back(r.record);
  return out;
}

void forget_animations() {
  // Drop records that have ended; running ones stay (their values are still presented).
  std::vector<Running> keep;
  for (Running& r : g_animations) {
    if (g_now < r.start + r.record.duration) keep.push_back(std::move(r));
  }
  g_animations = std::move(keep);
}

double now() { return g_now; }

void advance(double seconds) {
  const double target = g_now + std::max(seconds, 0.0);
  for (;;) {
    // The earliest timer due by the target (ties in the order they were made).
    auto next =
        std::min_element(g_timers.begin(), g_timers.end(), [](const Timer& a, const Timer& b) {
          return a.when < b.when || (a.when == b.when && a.order < b.order);
        });
    if (next == g_timers.end() || next->when > target) break;
    Timer timer = std::move(*next);
    g_timers.erase(next);
    g_now = std::max(g_now, timer.when);
    objc::AutoreleasePool pool;
    timer.work();
  }
  g_now = target;
}

void run_for(double seconds) {
  const auto start = std::chrono::steady_clock::now();
  const double begin = g_now;
  for (;;) {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (elapsed >= seconds) {
      advance(begin + seconds - g_now);
      return;
    }
    advance(begin + elapsed - g_now);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace hv::uikit
