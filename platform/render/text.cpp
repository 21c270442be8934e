// Text with pango on cairo. One font map for the process, at 72 dpi so a point size is a
// size in user-space units (points), with metrics unhinted so a layout measures the same
// at every scale. Pango's font maps are not thread-safe: every use is under one lock.
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/render/internal.hpp"

// Defined only in builds with LeakSanitizer.
extern "C" [[gnu::weak]] void __lsan_do_leak_check();

namespace hv::render::detail {

namespace {

// A system-like sans for Latin text, then a CJK face for Chinese.
constexpr const char* kSystemFamilies = "Noto Sans, Noto Sans CJK SC, sans-serif";
constexpr const char* kFallbackFamilies = "Noto Sans CJK SC, sans-serif";

std::mutex& pango_lock() {
  static std::mutex m;
  return m;
}

PangoContext* context_instance = nullptr;

// Pango matches font patterns and sorts fallback fonts on short-lived threads of its own,
// started inside a layout and left to finish by themselves: one can still be running at
// exit, when fontconfig is torn down (FcFini then aborts the process: a cache is in use).
// In builds with a leak check, the threads that appear while pango works are noted, and
// the teardown waits for them to end.
std::vector<long> tasks() {
  std::vector<long> ids;
  if (DIR* folder = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(folder)) {
      if (entry->d_name[0] != '.') ids.push_back(std::strtol(entry->d_name, nullptr, 10));
    }
    closedir(folder);
  }
  return ids;
}

std::vector<long>& pango_threads() {  // under pango_lock()
  static auto* ids = new std::vector<long>;
  return *ids;
}

class PangoThreadWatch {
public:
  PangoThreadWatch() {
    if (__lsan_do_leak_check) before_ = tasks();
  }
  ~PangoThreadWatch() {
    if (!__lsan_do_leak_check) return;
    for (long id : tasks()) {
      if (std::find(before_.begin(), before_.end(), id) == before_.end())
        pango_threads().push_back(id);
    }
  }
  PangoThreadWatch(const PangoThreadWatch&) = delete;
  PangoThreadWatch& operator=(const PangoThreadWatch&) = delete;

private:
  std::vector<long> before_;
};

// Waits (at most two seconds) until every thread noted is gone.
void wait_for_pango_threads() {
  for (int attempt = 0; attempt < 2000 && !pango_threads().empty(); ++attempt) {
    const std::vector<long> now = tasks();
    std::erase_if(pango_threads(),
                  [&](long id) { return std::find(now.begin(), now.end(), id) == now.end(); });
    if (!pango_threads().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// At exit the font map and cairo's font caches are released, so a leak check that runs
// after it sees only what was really lost. (Fontconfig keeps
// the parts of its patterns by offset, not by pointer: a checker cannot follow them and
// would take every cached pattern for a leak.)
void release_fonts() {
  std::lock_guard lock(pango_lock());
  if (!context_instance) return;
  wait_for_pango_threads();
  PangoFontMap* map = pango_context_get_font_map(context_instance);
  g_object_ref(map);
  g_object_unref(context_instance);
  context_instance = nullptr;
  pango_fc_font_map_cache_clear(PANGO_FC_FONT_MAP(map));
  g_object_unref(map);
  cairo_debug_reset_static_data();
  // Fontconfig's configuration and caches are released only where a leak check follows:
  // its functions are stripped, so no suppression can name what it keeps. FcFini() asserts
  // (and aborts the process) when a cache is still referenced at exit, which a thread of
  // pango's still running did (waited for above); a plain build leaves them to the
  // process's end all the same.
  if (__lsan_do_leak_check) FcFini();
}

// One context for the process, made on first use.
PangoContext* shared_context() {
  static PangoContext* context = [] {
    // Fontconfig read here, on the calling thread: left to itself, pango reads it on a
    // thread of its own and hands it over with glib's futex-based waits, which thread
    // checkers cannot see.
    FcInit();
    PangoFontMap* map = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
    if (!map) map = pango_cairo_font_map_new();
    pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(map), 72);
    PangoContext* c = pango_font_map_create_context(map);
    pango_cairo_context_set_resolution(c, 72);
    cairo_font_options_t* fo = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(fo, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(c, fo);
    cairo_font_options_destroy(fo);
    g_object_unref(map);  // the context holds it
    context_instance = c;
    std::atexit(release_fonts);
    return c;
  }();
  return context_instance ? context : nullptr;
}

// Empty names and Apple's private system names (".SFUI-Regular", "system") mean the
// system font; any other family is tried first, the CJK face after it.
std::string families(const std::string& family) {
  if (family.empty() || family[0] == '.' || family == "system" || family == "System")
    return kSystemFamilies;
  return family + ", " + kFallbackFamilies;
}

struct Layout {
  PangoLayout* layout = nullptr;
  ~Layout() {
    if (layout) g_object_unref(layout);
  }
};

void configure(PangoLayout* layout, const Text& t) {
  PangoFontDescription* font = pango_font_description_from_string(families(t.family).c_str());
  pango_font_description_set_absolute_size(font, std::max(t.point_size, 0.0) * PANGO_SCALE);
  pango_font_description_set_weight(font,
                                    static_cast<PangoWeight>(std::clamp(t.weight, 100, 1000)));
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);
  pango_layout_set_text(layout, t.utf8.c_str(), static_cast<int>(t.utf8.size()));
  const bool has_width = t.frame.width > 0;
  if (has_width)
    pango_layout_set_width(layout, static_cast<int>(std::lround(t.frame.width * PANGO_SCALE)));
  pango_layout_set_alignment(layout, t.alignment == align_center  ? PANGO_ALIGN_CENTER
                                     : t.alignment == align_right ? PANGO_ALIGN_RIGHT
                                                                  : PANGO_ALIGN_LEFT);
  if (t.max_lines == 1) {
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    if (has_width) pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
  } else {
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    if (t.max_lines > 1 && has_width) {
      pango_layout_set_height(layout, -t.max_lines);
      pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    }
  }
}

// Glyphs standing for characters no font had: pango's unknown glyphs, and empty glyphs
// for characters that should show ink (not spaces, controls or invisible format marks).
int count_unknown(PangoLayout* layout) {
  const char* text = pango_layout_get_text(layout);
  int unknown = 0;
  PangoLayoutIter* it = pango_layout_get_iter(layout);
  do {
    PangoLayoutRun* run = pango_layout_iter_get_run_readonly(it);
    if (!run) continue;
    const PangoGlyphString* glyphs = run->glyphs;
    for (int i = 0; i < glyphs->num_glyphs; ++i) {
      const PangoGlyph g = glyphs->glyphs[i].glyph;
      const bool missing = (g & PANGO_GLYPH_UNKNOWN_FLAG) != 0;
      if (!missing && g != PANGO_GLYPH_EMPTY) continue;
      const gunichar ch = g_utf8_get_char(text + run->item->offset + glyphs->log_clusters[i]);
      const GUnicodeType type = g_unichar_type(ch);
      if (g_unichar_isspace(ch) || type == G_UNICODE_CONTROL || type == G_UNICODE_FORMAT ||
          ch == 0x2026 /* the ellipsis pango adds */)
        continue;
      if (missing || g == PANGO_GLYPH_EMPTY) ++unknown;
    }
  } while (pango_layout_iter_next_run(it));
  pango_layout_iter_free(it);
  return unknown;
}

}  // namespace

// Sizes beyond any screen's text are not laid out (pango would rasterize them whole).
constexpr double kLargestPointSize = 2000;

bool drawable(const Text& t) {
  const Rect& f = t.frame;
  return !t.utf8.empty() && t.point_size > 0 && t.point_size <= kLargestPointSize &&
         std::isfinite(f.x) && std::isfinite(f.y) && std::isfinite(f.width) &&
         std::isfinite(f.height) && std::fabs(f.width) < 1e7;
}

void draw_text(cairo_t* cr, const Text& t, Stats* stats) {
  if (!drawable(t)) return;
  std::lock_guard lock(pango_lock());
  PangoThreadWatch watch;
  PangoContext* context = shared_context();
  if (!context) return;  // the process is exiting
  pango_cairo_update_context(cr, context);
  Layout l{pango_layout_new(context)};
  configure(l.layout, t);
  PangoRectangle logical;
  pango_layout_get_extents(l.layout, nullptr, &logical);
  const double height = static_cast<double>(logical.height) / PANGO_SCALE;
  // Centred vertically in the frame, as UILabel draws.
  const double y = t.frame.y + (t.frame.height - height) / 2;
  cairo_save(cr);
  cairo_move_to(cr, t.frame.x, y);
  set_source(cr, t.color);
  pango_cairo_show_layout(cr, l.layout);
  cairo_restore(cr);
  if (stats) {
    stats->unknown_glyphs += count_unknown(l.layout);
    ++stats->texts;
  }
}

Size measure_text(const Text& t, Stats* stats) {
  if (!drawable(t)) return {};
  std::lock_guard lock(pango_lock());
  PangoThreadWatch watch;
  PangoContext* context = shared_context();
  if (!context) return {};                     // the process is exiting
  pango_context_set_matrix(context, nullptr);  // no drawing's transform
  Layout l{pango_layout_new(context)};
  Text unbounded = t;
  if (t.max_lines == 1) unbounded.frame.width = 0;  // the natural width of the line
  configure(l.layout, unbounded);
  PangoRectangle logical;
  pango_layout_get_extents(l.layout, nullptr, &logical);
  if (stats) {
    stats->unknown_glyphs += count_unknown(l.layout);
    ++stats->texts;
  }
  return {static_cast<double>(logical.width) / PANGO_SCALE,
          static_cast<double>(logical.height) / PANGO_SCALE};
}

}  // namespace hv::render::detail
