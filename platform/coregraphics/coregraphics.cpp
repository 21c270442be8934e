// CoreGraphics' geometry, affine transforms, colours and paths for Linux.
#include <CoreGraphics/CoreGraphics.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

struct CGColor {
  std::atomic<int> references{1};
  CGFloat components[4];
};

struct CGPath {
  std::atomic<int> references{1};
  struct Element {
    CGPathElementType type;
    CGPoint points[3];
  };
  std::vector<Element> elements;
};

extern "C" {

const CGPoint CGPointZero = {0, 0};
const CGSize CGSizeZero = {0, 0};
const CGRect CGRectZero = {{0, 0}, {0, 0}};
const CGAffineTransform CGAffineTransformIdentity = {1, 0, 0, 1, 0, 0};

CGRect CGRectStandardize(CGRect r) {
  if (r.size.width < 0) {
    r.origin.x += r.size.width;
    r.size.width = -r.size.width;
  }
  if (r.size.height < 0) {
    r.origin.y += r.size.height;
    r.size.height = -r.size.height;
  }
  return r;
}
CGFloat CGRectGetMinX(CGRect r) { return CGRectStandardize(r).origin.x; }
CGFloat CGRectGetMinY(CGRect r) { return CGRectStandardize(r).origin.y; }
CGFloat CGRectGetWidth(CGRect r) { return std::fabs(r.size.width); }
CGFloat CGRectGetHeight(CGRect r) { return std::fabs(r.size.height); }
CGFloat CGRectGetMidX(CGRect r) { return CGRectGetMinX(r) + CGRectGetWidth(r) / 2; }
CGFloat CGRectGetMidY(CGRect r) { return CGRectGetMinY(r) + CGRectGetHeight(r) / 2; }
CGFloat CGRectGetMaxX(CGRect r) { return CGRectGetMinX(r) + CGRectGetWidth(r); }
CGFloat CGRectGetMaxY(CGRect r) { return CGRectGetMinY(r) + CGRectGetHeight(r); }
bool CGRectEqualToRect(CGRect a, CGRect b) {
  a = CGRectStandardize(a);
  b = CGRectStandardize(b);
  return a.origin.x == b.origin.x && a.origin.y == b.origin.y && a.size.width == b.size.width &&
         a.size.height == b.size.height;
}
bool CGRectIsEmpty(CGRect r) { return r.size.width == 0 || r.size.height == 0; }
bool CGRectContainsPoint(CGRect r, CGPoint p) {
  return p.x >= CGRectGetMinX(r) && p.x < CGRectGetMaxX(r) && p.y >= CGRectGetMinY(r) &&
         p.y < CGRectGetMaxY(r);
}
CGRect CGRectInset(CGRect r, CGFloat dx, CGFloat dy) {
  r = CGRectStandardize(r);
  return CGRectMake(r.origin.x + dx, r.origin.y + dy, r.size.width - 2 * dx,
                    r.size.height - 2 * dy);
}
CGRect CGRectOffset(CGRect r, CGFloat dx, CGFloat dy) {
  r = CGRectStandardize(r);
  r.origin.x += dx;
  r.origin.y += dy;
  return r;
}
CGRect CGRectUnion(CGRect a, CGRect b) {
  const CGFloat x0 = std::min(CGRectGetMinX(a), CGRectGetMinX(b));
  const CGFloat y0 = std::min(CGRectGetMinY(a), CGRectGetMinY(b));
  const CGFloat x1 = std::max(CGRectGetMaxX(a), CGRectGetMaxX(b));
  const CGFloat y1 = std::max(CGRectGetMaxY(a), CGRectGetMaxY(b));
  return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}
bool CGPointEqualToPoint(CGPoint a, CGPoint b) { return a.x == b.x && a.y == b.y; }
bool CGSizeEqualToSize(CGSize a, CGSize b) { return a.width == b.width && a.height == b.height; }

CGAffineTransform CGAffineTransformMake(CGFloat a, CGFloat b, CGFloat c, CGFloat d, CGFloat tx,
                                        CGFloat ty) {
  return {a, b, c, d, tx, ty};
}
CGAffineTransform CGAffineTransformMakeScale(CGFloat sx, CGFloat sy) {
  return {sx, 0, 0, sy, 0, 0};
}
CGAffineTransform CGAffineTransformMakeTranslation(CGFloat tx, CGFloat ty) {
  return {1, 0, 0, 1, tx, ty};
}
CGAffineTransform CGAffineTransformMakeRotation(CGFloat angle) {
  const CGFloat c = std::cos(angle), s = std::sin(angle);
  return {c, s, -s, c, 0, 0};
}
// t1 then t2.
CGAffineTransform CGAffineTransformConcat(CGAffineTransform t1, CGAffineTransform t2) {
  return {t1.a * t2.a + t1.b * t2.c,           t1.a * t2.b + t1.b * t2.d,
          t1.c * t2.a + t1.d * t2.c,           t1.c * t2.b + t1.d * t2.d,
          t1.tx * t2.a + t1.ty * t2.c + t2.tx, t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}
CGAffineTransform CGAffineTransformInvert(CGAffineTransform t) {
  const CGFloat det = t.a * t.d - t.b * t.c;
  if (det == 0) return t;  // Apple returns the transform unchanged when it cannot invert
  return {t.d / det,
          -t.b / det,
          -t.c / det,
          t.a / det,
          (t.c * t.ty - t.d * t.tx) / det,
          (t.b * t.tx - t.a * t.ty) / det};
}
CGAffineTransform CGAffineTransformScale(CGAffineTransform t, CGFloat sx, CGFloat sy) {
  return CGAffineTransformConcat(CGAffineTransformMakeScale(sx, sy), t);
}
CGAffineTransform CGAffineTransformTranslate(CGAffineTransform t, CGFloat tx, CGFloat ty) {
  return CGAffineTransformConcat(CGAffineTransformMakeTranslation(tx, ty), t);
}
bool CGAffineTransformEqualToTransform(CGAffineTransform x, CGAffineTransform y) {
  return x.a == y.a && x.b == y.b && x.c == y.c && x.d == y.d && x.tx == y.tx && x.ty == y.ty;
}
bool CGAffineTransformIsIdentity(CGAffineTransform t) {
  return CGAffineTransformEqualToTransform(t, CGAffineTransformIdentity);
}
CGPoint CGPointApplyAffineTransform(CGPoint p, CGAffineTransform t) {
  return {t.a * p.x + t.c * p.y + t.tx, t.b * p.x + t.d * p.y + t.ty};
}
CGSize CGSizeApplyAffineTransform(CGSize s, CGAffineTransform t) {
  return {t.a * s.width + t.c * s.height, t.b * s.width + t.d * s.height};
}
CGRect CGRectApplyAffineTransform(CGRect r, CGAffineTransform t) {
  r = CGRectStandardize(r);
  const CGPoint corners[4] = {CGPointApplyAffineTransform({CGRectGetMinX(r), CGRectGetMinY(r)}, t),
                              CGPointApplyAffineTransform({CGRectGetMaxX(r), CGRectGetMinY(r)}, t),
                              CGPointApplyAffineTransform({CGRectGetMinX(r), CGRectGetMaxY(r)}, t),
                              CGPointApplyAffineTransform({CGRectGetMaxX(r), CGRectGetMaxY(r)}, t)};
  CGFloat x0 = corners[0].x, x1 = corners[0].x, y0 = corners[0].y, y1 = corners[0].y;
  for (const CGPoint& c : corners) {
    x0 = std::min(x0, c.x);
    x1 = std::max(x1, c.x);
    y0 = std::min(y0, c.y);
    y1 = std::max(y1, c.y);
  }
  return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

CGColorRef CGColorCreateSRGB(CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
  auto* c = new CGColor;
  c->components[0] = r;
  c->components[1] = g;
  c->components[2] = b;
  c->components[3] = a;
  return c;
}
CGColorRef CGColorCreateGenericGray(CGFloat gray, CGFloat alpha) {
  return CGColorCreateSRGB(gray, gray, gray, alpha);
}
CGColorRef CGColorRetain(CGColorRef c) {
  if (c) c->references.fetch_add(1, std::memory_order_relaxed);
  return c;
}
void CGColorRelease(CGColorRef c) {
  if (c && c->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete c;
}
size_t CGColorGetNumberOfComponents(CGColorRef c) { return c ? 4 : 0; }
const CGFloat* CGColorGetComponents(CGColorRef c) { return c ? c->components : nullptr; }
CGFloat CGColorGetAlpha(CGColorRef c) { return c ? c->components[3] : 0; }
bool CGColorEqualToColor(CGColorRef a, CGColorRef b) {
  if (a == b) return true;
  if (!a || !b) return false;
  return std::equal(a->components, a->components + 4, b->components);
}

CGMutablePathRef CGPathCreateMutable(void) { return new CGPath; }
CGMutablePathRef CGPathCreateMutableCopy(CGPathRef path) {
  auto* copy = new CGPath;
  if (path) copy->elements = path->elements;
  return copy;
}
CGPathRef CGPathCreateCopy(CGPathRef path) {
  return path ? CGPathCreateMutableCopy(path) : nullptr;
}
CGPathRef CGPathRetain(CGPathRef path) {
  if (path) const_cast<CGPath*>(path)->references.fetch_add(1, std::memory_order_relaxed);
  return path;
}
void CGPathRelease(CGPathRef path) {
  if (path && const_cast<CGPath*>(path)->references.fetch_sub(1, std::memory_order_acq_rel) == 1)
    delete path;
}

static CGPoint apply(const CGAffineTransform* m, CGFloat x, CGFloat y) {
  return m ? CGPointApplyAffineTransform({x, y}, *m) : CGPoint{x, y};
}
void CGPathMoveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y) {
  if (path) path->elements.push_back({kCGPathElementMoveToPoint, {apply(m, x, y)}});
}
void CGPathAddLineToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y) {
  if (path) path->elements.push_back({kCGPathElementAddLineToPoint, {apply(m, x, y)}});
}
void CGPathAddQuadCurveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat cpx,
                               CGFloat cpy, CGFloat x, CGFloat y) {
  if (path)
    path->elements.push_back(
        {kCGPathElementAddQuadCurveToPoint, {apply(m, cpx, cpy), apply(m, x, y)}});
}
void CGPathAddCurveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat cp1x,
                           CGFloat cp1y, CGFloat cp2x, CGFloat cp2y, CGFloat x, CGFloat y) {
  if (path) {
    path->elements.push_back({kCGPathElementAddCurveToPoint,
                              {apply(m, cp1x, cp1y), apply(m, cp2x, cp2y), apply(m, x, y)}});
  }
}
void CGPathCloseSubpath(CGMutablePathRef path) {
  if (path) path->elements.push_back({kCGPathElementCloseSubpath, {}});
}
void CGPathAddRect(CGMutablePathRef path, const CGAffineTransform* m, CGRect r) {
  CGPathMoveToPoint(path, m, CGRectGetMinX(r), CGRectGetMinY(r));
  CGPathAddLineToPoint(path, m, CGRectGetMaxX(r), CGRectGetMinY(r));
  CGPathAddLineToPoint(path, m, CGRectGetMaxX(r), CGRectGetMaxY(r));
  CGPathAddLineToPoint(path, m, CGRectGetMinX(r), CGRectGetMaxY(r));
  CGPathCloseSubpath(path);
}
// Quarter circles as cubic curves (kappa = 0.5523).
void CGPathAddRoundedRect(CGMutablePathRef path, const CGAffineTransform* m, CGRect r, CGFloat cw,
                          CGFloat ch) {
  r = CGRectStandardize(r);
  cw = std::min(cw, r.size.width / 2);
  ch = std::min(ch, r.size.height / 2);
  if (cw <= 0 || ch <= 0) return CGPathAddRect(path, m, r);
  const CGFloat k = 0.5522847498;
  const CGFloat x0 = CGRectGetMinX(r), y0 = CGRectGetMinY(r), x1 = CGRectGetMaxX(r),
                y1 = CGRectGetMaxY(r);
  CGPathMoveToPoint(path, m, x0 + cw, y0);
  CGPathAddLineToPoint(path, m, x1 - cw, y0);
  CGPathAddCurveToPoint(path, m, x1 - cw + cw * k, y0, x1, y0 + ch - ch * k, x1, y0 + ch);
  CGPathAddLineToPoint(path, m, x1, y1 - ch);
  CGPathAddCurveToPoint(path, m, x1, y1 - ch + ch * k, x1 - cw + cw * k, y1, x1 - cw, y1);
  CGPathAddLineToPoint(path, m, x0 + cw, y1);
  CGPathAddCurveToPoint(path, m, x0 + cw - cw * k, y1, x0, y1 - ch + ch * k, x0, y1 - ch);
  CGPathAddLineToPoint(path, m, x0, y0 + ch);
  CGPathAddCurveToPoint(path, m, x0, y0 + ch - ch * k, x0 + cw - cw * k, y0, x0 + cw, y0);
  CGPathCloseSubpath(path);
}
bool CGPathIsEmpty(CGPathRef path) { return !path || path->elements.empty(); }
CGRect CGPathGetBoundingBox(CGPathRef path) {
  if (CGPathIsEmpty(path)) return CGRectMake(INFINITY, INFINITY, 0, 0);  // CGRectNull
  bool first = true;
  CGFloat x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  for (const auto& e : path->elements) {
    const int n = e.type == kCGPathElementCloseSubpath          ? 0
                  : e.type == kCGPathElementAddCurveToPoint     ? 3
                  : e.type == kCGPathElementAddQuadCurveToPoint ? 2
                                                                : 1;
    for (int i = 0; i < n; ++i) {
      const CGPoint& p = e.points[i];
      if (first) {
        x0 = x1 = p.x;
        y0 = y1 = p.y;
        first = false;
      }
      x0 = std::min(x0, p.x);
      x1 = std::max(x1, p.x);
      y0 = std::min(y0, p.y);
      y1 = std::max(y1, p.y);
    }
  }
  return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}
void CGPathApply(CGPathRef path, void* info, CGPathApplierFunction function) {
  if (!path || !function) return;
  for (const auto& e : path->elements) {
    CGPoint points[3] = {e.points[0], e.points[1], e.points[2]};
    CGPathElement element{e.type, points};
    function(info, &element);
  }
}

}  // extern "C"
