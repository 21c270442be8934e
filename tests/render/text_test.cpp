#include <gtest/gtest.h>

#include <thread>

#include "platform/render/display_list.hpp"
#include "tests/render/pixels.hpp"

namespace hv::render {
namespace {

using namespace testing;

Text title(const std::string& utf8, Rect frame, int alignment = align_left, int weight = 400) {
  Text t;
  t.utf8 = utf8;
  t.point_size = 17;
  t.weight = weight;
  t.color = {0, 0, 0, 1};
  t.alignment = alignment;
  t.frame = frame;
  t.max_lines = 1;
  return t;
}

// A transparent picture of 200 x 40 points holding one text.
Image draw(const Text& t, Stats* stats, double scale = 2) {
  Node root;
  root.bounds = {0, 0, 200, 40};
  root.texts.push_back(t);
  return render(root, picture(200, 40, scale), stats);
}

TEST(RenderText, ChineseTitlesFindEveryGlyphAndInkStaysInTheFrame) {
  for (const char* s : {"防止温控降频", "低功耗模式", "CPU 模式", "性能模式 Performance"}) {
    SCOPED_TRACE(s);
    Stats stats;
    const Rect frame{20, 8, 160, 24};
    const Image image = draw(title(s, frame), &stats);
    EXPECT_EQ(stats.unknown_glyphs, 0);
    EXPECT_EQ(stats.texts, 1);
    const Ink ink = ink_box(image);
    ASSERT_LT(ink.x0, ink.x1) << "no ink at all";
    EXPECT_GE(ink.x0, 2 * frame.x);
    EXPECT_LE(ink.x1, 2 * (frame.x + frame.width));
    EXPECT_GE(ink.y0, 2 * frame.y);
    EXPECT_LE(ink.y1, 2 * (frame.y + frame.height));
    EXPECT_GT(inked(image, 0, 0, image.width, image.height), 200);  // strokes, not a dot
  }
}

TEST(RenderText, GlyphsNoFontHasAreCounted) {
  // Private-use code points: no installed font covers them.
  Stats stats;
  draw(title("\xee\x80\x80\xee\x80\x81\xee\x80\x82", {0, 0, 200, 40}), &stats);
  EXPECT_EQ(stats.unknown_glyphs, 3);
  // Spaces, line breaks' neighbours and invisible marks are not counted.
  Stats plain;
  draw(title("A B\xe2\x80\x8b"
             "C",
             {0, 0, 200, 40}),
       &plain);
  EXPECT_EQ(plain.unknown_glyphs, 0);
  Stats measured;
  measure_text(title("\xee\x80\x80", {}), &measured);
  EXPECT_EQ(measured.unknown_glyphs, 1);
}

TEST(RenderText, AlignmentPlacesTheLineInTheFrame) {
  const Rect frame{0, 0, 200, 40};
  const Ink left = ink_box(draw(title("低功耗", frame, align_left), nullptr));
  const Ink centre = ink_box(draw(title("低功耗", frame, align_center), nullptr));
  const Ink right = ink_box(draw(title("低功耗", frame, align_right), nullptr));
  EXPECT_LT(left.x0, 10);
  EXPECT_NEAR((centre.x0 + centre.x1) / 2.0, 200, 6);
  EXPECT_GT(right.x1, 390);
  EXPECT_NEAR(left.x1 - left.x0, right.x1 - right.x0, 2);
  // Vertically centred, as a label draws.
  EXPECT_NEAR((left.y0 + left.y1) / 2.0, 40, 8);
}

TEST(RenderText, LongSingleLineIsTruncatedInsideItsFrame) {
  const std::string long_text = "防止温控降频防止温控降频防止温控降频防止温控降频防止温控降频";
  Stats stats;
  const Image image = draw(title(long_text, {10, 0, 100, 40}), &stats);
  const Ink ink = ink_box(image);
  EXPECT_LE(ink.x1, 2 * 110);
  EXPECT_GT(ink.x1, 2 * 80);
  EXPECT_EQ(stats.unknown_glyphs, 0);  // the ellipsis is found too
  // Its measured width is the whole line's.
  EXPECT_GT(measure_text(title(long_text, {10, 0, 100, 40})).width, 400);
}

TEST(RenderText, MeasureFollowsSizeWeightAndWrapping) {
  const Size regular = measure_text(title("CPU 模式", {}));
  EXPECT_GT(regular.width, 40);
  EXPECT_LT(regular.width, 120);
  EXPECT_GT(regular.height, 17);
  EXPECT_LT(regular.height, 34);
  Text big = title("CPU 模式", {});
  big.point_size = 34;
  EXPECT_NEAR(measure_text(big).width, 2 * regular.width, 2);
  // Text in points: the same at any scale, so a label measured once fits every picture.
  const Size bold = measure_text(title("CPU Mode", {}, align_left, 700));
  EXPECT_GT(bold.width, measure_text(title("CPU Mode", {})).width);
  Text wrapped = title("防止温控降频 防止温控降频 防止温控降频", {0, 0, 60, 0});
  wrapped.max_lines = 0;
  const Size w = measure_text(wrapped);
  EXPECT_LE(w.width, 60);
  EXPECT_GT(w.height, 3 * regular.height);
  EXPECT_EQ(measure_text(title("", {})).width, 0);
}

TEST(RenderText, BoldDrawsMoreInkThanRegular) {
  const Rect frame{0, 0, 200, 40};
  const Image regular = draw(title("低功耗模式", frame), nullptr);
  const Image bold = draw(title("低功耗模式", frame, align_left, 700), nullptr);
  EXPECT_GT(inked(bold, 0, 0, bold.width, bold.height),
            inked(regular, 0, 0, regular.width, regular.height) * 11 / 10);
}

TEST(RenderText, ThreadsDrawTextAtTheSameTime) {
  std::vector<std::thread> threads;
  std::vector<int> unknown(4, -1), texts(4, 0);
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&, i] {
      Stats stats;
      for (int n = 0; n < 3; ++n) {
        draw(title("防止温控降频", {0, 0, 200, 40}), &stats, 1);
        measure_text(title("CPU 模式", {}));
      }
      unknown[i] = stats.unknown_glyphs;
      texts[i] = stats.texts;
    });
  for (auto& t : threads) t.join();
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(unknown[i], 0);
    EXPECT_EQ(texts[i], 3);
  }
}

}  // namespace
}  // namespace hv::render
