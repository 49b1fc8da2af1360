#include "preview/preview.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "preview/layout.h"
#include "preview/pixel_plot.h"
#include "preview/posed_model.h"
#include "preview/raster.h"
#include "preview/view.h"
#include "smd/printable_text.h"
#include "smd/skinning.h"
#include "smd/vta_check.h"

namespace kw::preview {
namespace {

const ViewKind kKinds[4] = {ViewKind::kFront, ViewKind::kSide, ViewKind::kTop,
                            ViewKind::kPerspective};
const char* const kKindNames[4] = {"front", "side", "top", "perspective"};
// Panels smaller than this are refused rather than drawn.
constexpr int kMinPanel = 24;
// Text is made smaller down to this many points, then cut, then left out.
constexpr double kSmallestText = 7;
// Grid lines a view draws at most in each direction.
constexpr double kGridLines = 400;
// Bones and joints go to cairo this many at a time: its cost to stroke one
// path grows faster than the path.
constexpr std::size_t kStrokeBatch = 512;
// A skeleton of more joints is plotted pixel by pixel (PixelPlot), each pass
// at most this many pixels per pixel of the panel.
constexpr std::size_t kPathJoints = 4096;
constexpr long long kPlotBudgetPerPixel = 32;

// Materials in order of first use take these colours; past the tenth they
// come round again, darker, then lighter.
const std::uint32_t kPalette[10] = {0x4e79a7, 0xf28e2b, 0x59a14f, 0xe15759, 0x76b7b2,
                                    0xedc948, 0xb07aa1, 0xff9da7, 0x9c755f, 0xbab0ac};

std::uint32_t MaterialColour(std::size_t material) {
  const std::uint32_t base = kPalette[material % 10];
  const double tone[3] = {1.0, 0.7, 1.25};
  const double factor = tone[(material / 10) % 3];
  std::uint32_t out = 0;
  for (int shift = 16; shift >= 0; shift -= 8) {
    const double channel = std::min(255.0, ((base >> shift) & 255) * factor);
    out |= static_cast<std::uint32_t>(channel) << shift;
  }
  return out;
}

std::uint32_t Shaded(std::uint32_t rgb, double light) {
  std::uint32_t out = 0;
  for (int shift = 16; shift >= 0; shift -= 8) {
    out |= static_cast<std::uint32_t>(((rgb >> shift) & 255) * light + 0.5) << shift;
  }
  return out;
}

void SetColour(cairo_t* cr, std::uint32_t rgb, double alpha = 1) {
  cairo_set_source_rgba(cr, ((rgb >> 16) & 255) / 255.0, ((rgb >> 8) & 255) / 255.0,
                        (rgb & 255) / 255.0, alpha);
}

// 1, 2 or 5 times a power of ten, at least raw.
double NiceStep(double raw) {
  if (!(raw > 0) || !std::isfinite(raw)) return 1;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  const double mantissa = raw / power;
  return (mantissa <= 1 ? 1 : mantissa <= 2 ? 2 : mantissa <= 5 ? 5 : 10) * power;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", value);
  return text;
}

std::string Plural(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Text is shown as it is only when it is valid UTF-8 (cairo refuses the
// whole picture otherwise) with nothing a terminal would act on; texts are
// taken only this far, which is past what any label can show.
constexpr std::size_t kShownBytes = 4096;

double TextWidth(cairo_t* cr, const std::string& text, double size = 12) {
  cairo_set_font_size(cr, size);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  return extents.x_advance;
}

struct Fitted {
  std::string text;  // empty: nothing fits
  double size = 0;
};

// Text at most maxWidth wide: at its size, or smaller down to minSize, or at
// minSize cut after a whole character with "...", or nothing. A handful of
// measurements whatever the length.
Fitted Fit(cairo_t* cr, const std::string& raw, double size, double minSize, double maxWidth) {
  // No character is narrower than a quarter of a pixel at these sizes, bar
  // those that draw nothing.
  const double most = std::min<double>(kShownBytes, 16 + 4 * std::max(0.0, maxWidth));
  Fitted fitted{smd::PrintableText(raw, static_cast<std::size_t>(most)), size};
  if (maxWidth <= 0 || fitted.text.empty()) return Fitted();
  double width = TextWidth(cr, fitted.text, size);
  if (width <= maxWidth) return fitted;
  // Widths grow about in proportion to the size; hinting may round up.
  for (double smaller = size * maxWidth / width; smaller >= minSize; smaller *= 0.95) {
    if (TextWidth(cr, fitted.text, smaller) <= maxWidth) {
      fitted.size = smaller;
      return fitted;
    }
  }
  fitted.size = minSize;
  const std::string& text = fitted.text;
  std::size_t good = 0, bad = text.size();  // prefixes that fit, and that do not
  while (bad - good > 1) {
    const std::size_t middle = smd::Utf8Prefix(text, good + (bad - good) / 2);
    if (middle <= good) break;
    if (TextWidth(cr, text.substr(0, middle) + "...", minSize) <= maxWidth)
      good = middle;
    else
      bad = middle;
  }
  if (good == 0) return Fitted();  // "..." alone says nothing
  fitted.text = text.substr(0, good) + "...";
  return fitted;
}

void Text(cairo_t* cr, double x, double y, const Fitted& fitted, std::uint32_t rgb = 0x303030) {
  if (fitted.text.empty()) return;
  cairo_set_font_size(cr, fitted.size);
  SetColour(cr, rgb);
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, fitted.text.c_str());
}

struct PanelContext {
  cairo_t* cr;
  cairo_surface_t* surface;
  const smd::File& reference;
  const PosedModel& posed;
  const Box& box;              // what every panel is fitted to, the same in every row
  const Box& rowBox;           // what this row's pose spans
  const smd::File* collision;  // wireframes over this row, or null
};

// A segment cut to a margin round the panel (Liang-Barsky): a point far off
// in the scene can project millions of pixels away, beyond the range of
// cairo's fixed-point coordinates. False when nothing of it is near.
bool ClipToPanel(const Rect& panel, double* x0, double* y0, double* x1, double* y1) {
  constexpr double kMargin = 16;
  const double dx = *x1 - *x0, dy = *y1 - *y0;
  double enter = 0, leave = 1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {*x0 + kMargin, panel.width + kMargin - *x0, *y0 + kMargin,
                       panel.height + kMargin - *y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0)
      enter = std::max(enter, t);
    else
      leave = std::min(leave, t);
  }
  if (!(enter <= leave)) return false;
  const double ax = *x0, ay = *y0;
  *x0 = ax + enter * dx, *y0 = ay + enter * dy;
  *x1 = ax + leave * dx, *y1 = ay + leave * dy;
  return true;
}

void Line(cairo_t* cr, const View& view, const Rect& panel, const Point3& a, const Point3& b) {
  ScreenPoint p, q;
  if (!view.Project(a, &p) || !view.Project(b, &q)) return;
  // Cut only what is far off, so that what a model draws keeps its pixels
  // (the sums below are a float's, as they always were).
  constexpr float kFar = 1e5f;
  if (std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(q.x), std::fabs(q.y)}) > kFar) {
    double x0 = p.x, y0 = p.y, x1 = q.x, y1 = q.y;
    if (!ClipToPanel(panel, &x0, &y0, &x1, &y1)) return;
    p.x = static_cast<float>(x0), p.y = static_cast<float>(y0);
    q.x = static_cast<float>(x1), q.y = static_cast<float>(y1);
  }
  cairo_move_to(cr, panel.x + p.x, panel.y + p.y);
  cairo_line_to(cr, panel.x + q.x, panel.y + q.y);
}

// Lines every step units across the panel (orthographic views), or over the
// floor under the box (perspective).
double DrawGrid(const PanelContext& context, const View& view, const Rect& panel) {
  cairo_t* cr = context.cr;
  const Point3 center = context.box.Center();
  double step;
  if (view.Kind() == ViewKind::kPerspective) {
    const Point3 size = context.box.Size();
    double extent = std::max(size.x, size.y);
    if (!(extent > 0)) extent = size.z;
    step = extent > 0 ? NiceStep(extent / 6) : 1;
    const double x0 = std::floor(context.box.min.x / step) - 1,
                 x1 = std::ceil(context.box.max.x / step) + 1;
    const double y0 = std::floor(context.box.min.y / step) - 1,
                 y1 = std::ceil(context.box.max.y / step) + 1;
    if (!(x1 - x0 <= kGridLines && y1 - y0 <= kGridLines)) return step;
    const float floor = context.box.min.z;
    // Counted in integers: far from the origin, i + 1 == i in a double.
    for (int k = 0; k <= static_cast<int>(x1 - x0); ++k) {
      const float x = static_cast<float>((x0 + k) * step);
      Line(cr, view, panel, Point3(x, float(y0 * step), floor), Point3(x, float(y1 * step), floor));
    }
    for (int k = 0; k <= static_cast<int>(y1 - y0); ++k) {
      const float y = static_cast<float>((y0 + k) * step);
      Line(cr, view, panel, Point3(float(x0 * step), y, floor), Point3(float(x1 * step), y, floor));
    }
  } else {
    step = NiceStep(48 / view.PixelsPerUnit());
    const Point3& right = view.Right();
    const Point3& up = view.Up();
    const double halfAcross = panel.width / 2.0 / view.PixelsPerUnit();
    const double halfUp = panel.height / 2.0 / view.PixelsPerUnit();
    const double u = DotProd(center, right), v = DotProd(center, up);
    const double u0 = std::floor((u - halfAcross) / step), u1 = std::ceil((u + halfAcross) / step);
    const double v0 = std::floor((v - halfUp) / step), v1 = std::ceil((v + halfUp) / step);
    if (!(u1 - u0 <= kGridLines && v1 - v0 <= kGridLines)) return step;
    const auto at = [&](double a, double b) { return right * float(a) + up * float(b); };
    for (int k = 0; k <= static_cast<int>(u1 - u0); ++k)
      Line(cr, view, panel, at((u0 + k) * step, v0 * step), at((u0 + k) * step, v1 * step));
    for (int k = 0; k <= static_cast<int>(v1 - v0); ++k)
      Line(cr, view, panel, at(u0 * step, (v0 + k) * step), at(u1 * step, (v0 + k) * step));
  }
  SetColour(cr, 0xd4d8de);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  return step;
}

// In double precision: the cross product of two edges of a huge triangle
// would overflow a float.
Point3 FaceNormal(const Point3* corner) {
  double a[3], b[3];
  for (int i = 0; i < 3; ++i) {
    a[i] = double(corner[1][i]) - corner[0][i];
    b[i] = double(corner[2][i]) - corner[0][i];
  }
  const double n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                       a[0] * b[1] - a[1] * b[0]};
  const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (!(length > 0) || !std::isfinite(length)) return Point3();
  return Point3(float(n[0] / length), float(n[1] / length), float(n[2] / length));
}

void DrawTriangles(const PanelContext& context, const View& view, const Rect& panel) {
  const std::vector<smd::Triangle>& triangles = context.reference.triangles;
  if (triangles.empty()) return;
  // The light comes from above, left and in front of the viewer.
  const Point3 light = Point3(-0.35f, 0.5f, 0.8f).Normalize();
  Raster raster(panel.width, panel.height, SampleFactor(panel.width, panel.height));
  for (std::size_t t = 0; t < triangles.size(); ++t) {
    Point3 corner[3];
    ScreenPoint screen[3];
    bool seen = true;
    for (int k = 0; k < 3 && seen; ++k) {
      corner[k] = context.posed.Corner(t, k);
      seen = view.Project(corner[k], &screen[k]);
    }
    if (!seen) continue;
    const Point3 normal = view.ToEye(FaceNormal(corner));
    // Both sides lit alike: a flipped triangle shows, it does not go black.
    const double facing = std::fabs(DotProd(normal, light));
    const double brightness = 0.4 + 0.6 * (std::isfinite(facing) ? facing : 0);
    raster.Fill(screen, Shaded(MaterialColour(triangles[t].material), brightness));
  }
  cairo_surface_flush(context.surface);
  raster.Resolve(cairo_image_surface_get_data(context.surface),
                 cairo_image_surface_get_stride(context.surface), panel.x, panel.y);
  cairo_surface_mark_dirty(context.surface);
}

// A skeleton too big for cairo's paths, plotted pixel by pixel in the same
// order: halos, bones, dots.
void PlotSkeleton(const PanelContext& context, const View& view, const Rect& panel) {
  const std::vector<Point3>& joints = context.posed.Joints();
  const std::vector<int>& parents = context.posed.Parents();
  cairo_surface_flush(context.surface);
  PixelPlot plot(cairo_image_surface_get_data(context.surface),
                 cairo_image_surface_get_stride(context.surface), panel,
                 kPlotBudgetPerPixel * panel.width * static_cast<long long>(panel.height));
  for (const bool halo : {true, false}) {
    plot.NextPass();
    for (std::size_t i = 0; i < joints.size() && !plot.Spent(); ++i) {
      ScreenPoint p, q;
      if (parents[i] < 0 || !view.Project(joints[static_cast<std::size_t>(parents[i])], &p) ||
          !view.Project(joints[i], &q)) {
        continue;
      }
      double x0 = p.x, y0 = p.y, x1 = q.x, y1 = q.y;
      if (!ClipToPanel(panel, &x0, &y0, &x1, &y1)) continue;
      if (halo)
        plot.Line(x0, y0, x1, y1, 3, 0xffffff, 0.85);
      else
        plot.Line(x0, y0, x1, y1, 1, 0x1a1a1a, 1);
    }
  }
  plot.NextPass();
  for (std::size_t i = 0; i < joints.size() && !plot.Spent(); ++i) {
    ScreenPoint p;
    if (view.Project(joints[i], &p)) plot.Dot(p.x, p.y, 0xffd400, 0x1a1a1a);
  }
  cairo_surface_mark_dirty(context.surface);
}

// Every bone's halo, then every bone, then every joint's dot, then every
// dot's ring, each in batches: the order of one path per view, at a bounded
// cost per batch.
void DrawSkeleton(const PanelContext& context, const View& view, const Rect& panel) {
  cairo_t* cr = context.cr;
  const std::vector<Point3>& joints = context.posed.Joints();
  const std::vector<int>& parents = context.posed.Parents();
  if (joints.size() > kPathJoints) return PlotSkeleton(context, view, panel);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  for (const bool halo : {true, false}) {
    SetColour(cr, halo ? 0xffffff : 0x1a1a1a, halo ? 0.85 : 1);
    cairo_set_line_width(cr, halo ? 3.5 : 1.5);
    for (std::size_t i = 0; i < joints.size();) {
      for (std::size_t end = std::min(joints.size(), i + kStrokeBatch); i < end; ++i) {
        if (parents[i] >= 0)
          Line(cr, view, panel, joints[static_cast<std::size_t>(parents[i])], joints[i]);
      }
      cairo_stroke(cr);
    }
  }
  for (const bool fill : {true, false}) {
    SetColour(cr, fill ? 0xffd400 : 0x1a1a1a);
    cairo_set_line_width(cr, 1);
    for (std::size_t i = 0; i < joints.size();) {
      for (std::size_t end = std::min(joints.size(), i + kStrokeBatch); i < end; ++i) {
        ScreenPoint p;
        if (!view.Project(joints[i], &p)) continue;
        cairo_new_sub_path(cr);
        cairo_arc(cr, panel.x + p.x, panel.y + p.y, 3, 0, 2 * M_PI);
      }
      if (fill)
        cairo_fill(cr);
      else
        cairo_stroke(cr);
    }
  }
}

// The collision model's triangles as red wireframes, in batches like the
// skeleton's, each edge once per triangle.
void DrawCollision(const PanelContext& context, const View& view, const Rect& panel) {
  if (!context.collision) return;
  cairo_t* cr = context.cr;
  SetColour(cr, 0xd02828, 0.8);
  cairo_set_line_width(cr, 1);
  const std::vector<smd::Triangle>& triangles = context.collision->triangles;
  for (std::size_t i = 0; i < triangles.size();) {
    for (std::size_t end = std::min(triangles.size(), i + kStrokeBatch); i < end; ++i) {
      const smd::Vertex* corners = triangles[i].corners;
      for (int c = 0; c < 3; ++c) {
        const float* a = corners[c].position;
        const float* b = corners[(c + 1) % 3].position;
        Line(cr, view, panel, Point3(a[0], a[1], a[2]), Point3(b[0], b[1], b[2]));
      }
    }
    cairo_stroke(cr);
  }
}

void DrawPanel(const PanelContext& context, int column, const Rect& panel, const std::string& label,
               bool withSize) {
  cairo_t* cr = context.cr;
  cairo_save(cr);
  cairo_rectangle(cr, panel.x, panel.y, panel.width, panel.height);
  cairo_clip(cr);
  SetColour(cr, 0xf6f7f9);
  cairo_paint(cr);

  // The orthographic views share one scale, so lengths compare across them.
  double scale = 0;
  if (kKinds[column] != ViewKind::kPerspective) {
    scale = HUGE_VAL;
    for (int k = 0; k < 3; ++k)
      scale = std::min(scale, View::FitScale(kKinds[k], context.box, panel.width, panel.height));
    if (!std::isfinite(scale)) scale = 0;  // a point: each view picks its own
  }
  const View view(kKinds[column], context.box, panel.width, panel.height, scale);
  const double step = DrawGrid(context, view, panel);
  DrawTriangles(context, view, panel);
  DrawCollision(context, view, panel);
  DrawSkeleton(context, view, panel);

  // Labels shrink with a small panel and give way rather than overlap: the
  // label at the top, the grid and the size at the bottom only when the
  // panel has room for both lines, the size only beside the grid.
  const double inner = panel.width - 16.0;
  const double labelSize = std::min(12.5, panel.height / 4.2);
  if (labelSize >= kSmallestText) {
    Text(cr, panel.x + 8, panel.y + 4.5 + labelSize,
         Fit(cr, label, labelSize, kSmallestText, inner), 0x202020);
  }
  const double bottomSize = std::min(11.0, panel.height / 4.8);
  if (bottomSize >= kSmallestText) {
    const double baseline = panel.y + panel.height - 8 * bottomSize / 11;
    const Fitted grid = Fit(cr, "grid " + Number(step), bottomSize, kSmallestText, inner);
    Text(cr, panel.x + 8, baseline, grid, 0x606060);
    if (withSize) {
      const Point3 size = context.rowBox.Size();
      const double room =
          inner - (grid.text.empty() ? 0 : TextWidth(cr, grid.text, grid.size) + 12);
      const Fitted text =
          Fit(cr, "size " + Number(size.x) + " x " + Number(size.y) + " x " + Number(size.z),
              bottomSize, kSmallestText, room);
      if (!text.text.empty()) {
        Text(cr, panel.x + panel.width - 8 - TextWidth(cr, text.text, text.size), baseline, text,
             0x606060);
      }
    }
  }
  // A sequence has no triangles to show (the caption says so); a reference
  // without any is worth a word in every view.
  if (context.reference.triangles.empty() && context.reference.hasTriangles) {
    const Fitted none =
        Fit(cr, "no triangles", std::min(14.0, panel.height / 4.0), kSmallestText, inner);
    if (!none.text.empty()) {
      Text(cr, panel.x + (panel.width - TextWidth(cr, none.text, none.size)) / 2,
           panel.y + panel.height / 2.0 + std::min(24.0, panel.height / 6.0), none, 0xb01818);
    }
  }
  // A hairline between panels.
  SetColour(cr, 0xb8bcc4);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, panel.x + 0.5, panel.y + 0.5, panel.width - 1, panel.height - 1);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void DrawLegend(cairo_t* cr, const Layout& layout, const std::vector<std::string>& materials) {
  for (int i = 0; i < layout.legendEntries; ++i) {
    const double x = 8 + (i % layout.legendColumns) * 200.0;
    const double y = layout.legend.y + 6 + (i / layout.legendColumns) * 20.0;
    const bool more =
        i == layout.legendEntries - 1 && materials.size() > static_cast<std::size_t>(i + 1);
    std::string name =
        more ? "+" + std::to_string(materials.size() - static_cast<std::size_t>(i)) + " more"
             : materials[static_cast<std::size_t>(i)];
    if (!more) {
      cairo_rectangle(cr, x, y + 2, 12, 12);
      SetColour(cr, MaterialColour(static_cast<std::size_t>(i)));
      cairo_fill_preserve(cr);
      SetColour(cr, 0x404040);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
    }
    const double room = std::min(178.0, layout.legend.width - (x + 17) - 4);
    Text(cr, x + 17, y + 12.5, Fit(cr, name, 11.5, kSmallestText, room));
  }
}

std::string Caption(const Subject& subject, const std::vector<int>& frames) {
  const smd::File& reference = *subject.reference;
  std::string text = subject.referenceName + ": " +
                     Plural(reference.nodes.size(), "node", "nodes") + ", " +
                     Plural(reference.triangles.size(), "triangle", "triangles") + ", " +
                     Plural(reference.materials.size(), "material", "materials");
  if (!reference.hasTriangles) text += " (skeleton only: no triangles section)";
  if (reference.problemCount > 0)
    text += ", " + Plural(reference.problemCount, "line", "lines") + " not read";
  if (subject.sequence) {
    text += "  |  " + subject.sequenceName + ": " +
            Plural(subject.sequence->frames.size(), "frame", "frames") + ", " +
            Plural(subject.sequence->nodes.size(), "node", "nodes") +
            (subject.sequence->problemCount > 0
                 ? ", " + Plural(subject.sequence->problemCount, "line", "lines") + " not read"
                 : "") +
            "; showing " + (frames.size() == 1 ? "frame" : "frames");
    for (std::size_t i = 0; i < frames.size(); ++i)
      text += (i ? ", " : " ") + std::to_string(frames[i]);
  }
  if (subject.collision) {
    text += "  |  in red, the collision model: " +
            Plural(subject.collision->triangles.size(), "triangle", "triangles");
  }
  if (subject.flex) {
    const smd::File& vta = *subject.flex;
    text += "  |  " + subject.flexName + ": " +
            Plural(vta.shapeFrames.empty() ? 0 : vta.shapeFrames.size() - 1, "shape", "shapes") +
            "; showing the reference and " + (frames.size() == 2 ? "shape" : "shapes");
    for (std::size_t i = 1; i < frames.size(); ++i)
      text += (i > 1 ? ", " : " ") +
              std::to_string(vta.shapeFrames[static_cast<std::size_t>(frames[i])].time);
  }
  return text;
}

Box BoxOf(const smd::File& reference, const PosedModel& posed) {
  Box box;
  for (std::size_t t = 0; t < reference.triangles.size(); ++t) {
    for (int k = 0; k < 3; ++k) box.Add(posed.Corner(t, k));
  }
  for (const Point3& joint : posed.Joints()) box.Add(joint);
  return box;
}

}  // namespace

Picture::Picture() = default;
Picture::~Picture() {
  if (surface_) cairo_surface_destroy(surface_);
}
Picture::Picture(Picture&& other) noexcept : surface_(std::exchange(other.surface_, nullptr)) {}
Picture& Picture::operator=(Picture&& other) noexcept {
  std::swap(surface_, other.surface_);
  return *this;
}

int Picture::Width() const { return surface_ ? cairo_image_surface_get_width(surface_) : 0; }
int Picture::Height() const { return surface_ ? cairo_image_surface_get_height(surface_) : 0; }

std::uint32_t Picture::Pixel(int x, int y) const {
  cairo_surface_flush(surface_);
  const unsigned char* data = cairo_image_surface_get_data(surface_);
  const int stride = cairo_image_surface_get_stride(surface_);
  return reinterpret_cast<const std::uint32_t*>(data + static_cast<std::size_t>(y) * stride)[x] &
         0xffffff;
}

bool Picture::EncodePng(std::string* bytes, std::string* error) const {
  bytes->clear();
  const auto append = [](void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
  };
  const cairo_status_t status = cairo_surface_write_to_png_stream(surface_, append, bytes);
  if (status != CAIRO_STATUS_SUCCESS) {
    *error = std::string("cannot encode the picture: ") + cairo_status_to_string(status);
    return false;
  }
  return true;
}

bool Picture::ReadPng(const std::string& path, Picture* picture, std::string* error) {
  cairo_surface_t* read = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(read) != CAIRO_STATUS_SUCCESS) {
    *error = path + ": " + cairo_status_to_string(cairo_surface_status(read));
    cairo_surface_destroy(read);
    return false;
  }
  Picture result;
  result.surface_ = read;
  *picture = std::move(result);
  return true;
}

namespace {

// Node-frames whose poses the default choice of frames looks at, at most:
// past it the candidates are spread evenly over the sequence.
constexpr std::size_t kPoseBudget = std::size_t{1} << 24;

// Where each node's frame sits at one frame: its origin and the ends of
// its axes at reach, so that a turn shows as well as a move.
void FramePoints(const smd::File& sequence, const smd::Frame& frame, float reach,
                 std::vector<Point3>* points) {
  const std::vector<Matrix3> worlds = smd::WorldTransforms(sequence, frame);
  points->clear();
  for (const Matrix3& world : worlds) {
    const Point3 origin = world.GetTrans();
    points->push_back(origin);
    for (int axis = 0; axis < 3; ++axis) points->push_back(origin + world.GetRow(axis) * reach);
  }
}

double Distance(const std::vector<Point3>& a, const std::vector<Point3>& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const double d = Length(a[i] - b[i]);
    if (std::isfinite(d)) sum += d;
  }
  return sum;
}

// The first frame, the frame whose pose lies farthest from it, and the frame
// farthest from both; fewer when the poses do not differ.
std::vector<int> MostDifferentFrames(const smd::File& sequence) {
  const std::size_t count = sequence.frames.size();
  const std::size_t nodes = std::max<std::size_t>(1, sequence.nodes.size());
  const std::size_t candidates = std::min(count, std::max<std::size_t>(2, kPoseBudget / nodes));
  const auto candidate = [&](std::size_t i) {
    return candidates >= count ? i : i * (count - 1) / (candidates - 1);
  };
  std::vector<Point3> first, points, far;
  FramePoints(sequence, sequence.frames[0], 0, &first);
  Box box;
  for (const Point3& p : first) box.Add(p);
  const float size = Length(box.Size());
  const float reach = size > 0 && std::isfinite(size) ? size / 4 : 1;
  FramePoints(sequence, sequence.frames[0], reach, &first);
  // Differences below this are rounding, not motion.
  const double still = 1e-5 * reach * static_cast<double>(first.size());

  std::vector<double> fromFirst(candidates, 0);
  std::size_t farthest = 0;
  for (std::size_t c = 1; c < candidates; ++c) {
    FramePoints(sequence, sequence.frames[candidate(c)], reach, &points);
    fromFirst[c] = Distance(points, first);
    if (fromFirst[c] > fromFirst[farthest]) farthest = c;
  }
  std::vector<int> frames = {0};
  if (!(fromFirst[farthest] > still)) return frames;
  frames.push_back(static_cast<int>(candidate(farthest)));
  FramePoints(sequence, sequence.frames[candidate(farthest)], reach, &far);
  std::size_t third = 0;
  double best = still;
  for (std::size_t c = 1; c < candidates; ++c) {
    if (c == farthest || !(fromFirst[c] > best)) continue;
    FramePoints(sequence, sequence.frames[candidate(c)], reach, &points);
    const double apart = std::min(fromFirst[c], Distance(points, far));
    if (apart > best) best = apart, third = c;
  }
  if (third != 0) frames.push_back(static_cast<int>(candidate(third)));
  std::sort(frames.begin(), frames.end());
  return frames;
}

}  // namespace

bool ChooseFrames(const smd::File& sequence, const std::vector<int>& asked,
                  std::vector<int>* frames, std::string* error) {
  const int count = static_cast<int>(sequence.frames.size());
  frames->clear();
  if (asked.empty()) {
    if (count == 0) {
      *error = "the sequence has no frames";
      return false;
    }
    *frames = MostDifferentFrames(sequence);
    return true;
  }
  for (int frame : asked) {
    if (frame < 0 || frame >= count) {
      *error = "frame " + std::to_string(frame) + " is not in the sequence (it has " +
               Plural(static_cast<std::size_t>(count), "frame", "frames") + ", 0 to " +
               std::to_string(count - 1) + ")";
      if (count == 0) *error = "the sequence has no frames";
      return false;
    }
    frames->push_back(frame);
  }
  return true;
}

bool ChooseShapes(const smd::File& vta, const std::vector<int>& asked, std::vector<int>* places,
                  std::string* error) {
  places->clear();
  std::unordered_map<int, int> placeOfTime;
  for (std::size_t i = 0; i < vta.shapeFrames.size(); ++i)
    placeOfTime.emplace(vta.shapeFrames[i].time, static_cast<int>(i));
  if (asked.empty()) {
    for (std::size_t i = 0; i < vta.shapeFrames.size() && places->size() < kDefaultShapes; ++i)
      if (vta.shapeFrames[i].time != 0) places->push_back(static_cast<int>(i));
    if (places->empty()) *error = "the VTA has no shape (no time after 0)";
    return !places->empty();
  }
  for (const int time : asked) {
    const auto found = placeOfTime.find(time);
    if (time < 1 || found == placeOfTime.end()) {
      *error = "shape " + std::to_string(time) + " is not in the VTA (it has " +
               Plural(vta.shapeFrames.empty() ? 0 : vta.shapeFrames.size() - 1, "shape", "shapes") +
               ", numbered from 1 by their time)";
      return false;
    }
    places->push_back(found->second);
  }
  return true;
}

bool SharesNodeNames(const smd::File& reference, const smd::File& sequence) {
  std::unordered_set<std::string> names;
  for (const smd::Node& node : reference.nodes) names.insert(node.name);
  for (const smd::Node& node : sequence.nodes) {
    if (names.count(node.name)) return true;
  }
  return false;
}

namespace {

// The frames, grid and size a picture of the subject takes, or false with
// *error when they do not make one.
bool Plan(const Subject& subject, const Options& options, std::vector<int>* frames, int* rows,
          int* columns, int* width, int* height, std::string* error) {
  frames->clear();
  if (subject.sequence && !ChooseFrames(*subject.sequence, options.frames, frames, error))
    return false;
  if (subject.flex) {
    // Row 0 is the reference itself, -1 among the shapes' places.
    if (!ChooseShapes(*subject.flex, options.shapes, frames, error)) return false;
    frames->insert(frames->begin(), -1);
  }
  const bool rowsOfViews = subject.sequence || subject.flex;
  *rows = rowsOfViews ? static_cast<int>(frames->size()) : 2;
  *columns = rowsOfViews ? 4 : 2;
  *width = options.width;
  *height = options.height;
  if (*width == 0 || *height == 0) {
    DefaultSize(*rows, *columns, width, height);
    *height = std::min(*height, kMaxSide);
  }
  if (*width < kMinSide || *height < kMinSide || *width > kMaxSide || *height > kMaxSide) {
    *error = "the picture must be " + std::to_string(kMinSide) + " to " + std::to_string(kMaxSide) +
             " pixels a side, not " + std::to_string(*width) + "x" + std::to_string(*height);
    return false;
  }
  const Layout layout = MakeLayout(*width, *height, *rows, *columns,
                                   static_cast<int>(subject.reference->materials.size()));
  const Rect& last = layout.panels.back();
  if (last.height < kMinPanel || last.y + last.height > *height) {
    *error = Plural(static_cast<std::size_t>(*rows), "row", "rows") +
             " of views do not fit a picture " + std::to_string(*height) +
             " pixels high; show fewer frames or ask for a taller --size";
    return false;
  }
  return true;
}

}  // namespace

bool CheckRequest(const Subject& subject, const Options& options, std::string* error) {
  std::vector<int> frames;
  int rows, columns, width, height;
  return Plan(subject, options, &frames, &rows, &columns, &width, &height, error);
}

bool Render(const Subject& subject, const Options& options, Picture* picture, std::string* error) {
  const smd::File& reference = *subject.reference;
  std::vector<int> frames;
  int rows, columns, width, height;
  if (!Plan(subject, options, &frames, &rows, &columns, &width, &height, error)) return false;

  // Each row is posed twice, once for the box every view is fitted to and once
  // to draw it, so that only one row's skinned corners are held at a time.
  const int poseCount = subject.sequence || subject.flex ? static_cast<int>(frames.size()) : 1;
  const auto pose = [&](int row) {
    const int place = frames.empty() ? -1 : frames[static_cast<std::size_t>(row)];
    if (subject.flex && place >= 0) {
      std::vector<Point3> corners;
      const std::vector<smd::CornerPosition> shaped =
          smd::ShapedCorners(reference, *subject.flex, static_cast<std::size_t>(place));
      corners.reserve(shaped.size());
      for (const smd::CornerPosition& c : shaped)
        corners.emplace_back(c.position[0], c.position[1], c.position[2]);
      return PosedModel(reference, std::move(corners));
    }
    return subject.sequence
               ? PosedModel(reference, *subject.sequence,
                            subject.sequence->frames[static_cast<std::size_t>(frames[row])])
               : PosedModel(reference);
  };
  Box box;
  std::vector<Box> rowBoxes;
  for (int row = 0; row < poseCount; ++row) {
    rowBoxes.push_back(BoxOf(reference, pose(row)));
    if (!rowBoxes.back().empty) {
      box.Add(rowBoxes.back().min);
      box.Add(rowBoxes.back().max);
    }
  }

  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    *error = std::string("cannot make a ") + std::to_string(width) + "x" + std::to_string(height) +
             " picture: " + cairo_status_to_string(cairo_surface_status(surface));
    cairo_surface_destroy(surface);
    return false;
  }
  Picture result;
  result.surface_ = surface;
  cairo_t* cr = cairo_create(surface);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  SetColour(cr, 0xffffff);
  cairo_paint(cr);

  const Layout layout =
      MakeLayout(width, height, rows, columns, static_cast<int>(reference.materials.size()));
  for (int row = 0; row < poseCount; ++row) {
    const PosedModel posed = pose(row);
    // Hulls stand where the reference stands: over its own row only.
    const bool referenceRow =
        !subject.sequence && (!subject.flex || frames[static_cast<std::size_t>(row)] < 0);
    const PanelContext context{cr,
                               surface,
                               reference,
                               posed,
                               box,
                               rowBoxes[static_cast<std::size_t>(row)],
                               referenceRow ? subject.collision : nullptr};
    for (int panel = 0; panel < 4; ++panel) {
      const std::size_t place = static_cast<std::size_t>(row * 4 + panel);
      std::string label = kKindNames[panel];
      if (subject.sequence && panel == 0)
        label = "frame " + std::to_string(frames[static_cast<std::size_t>(row)]) + "   " + label;
      if (subject.flex && panel == 0) {
        const int shape = frames[static_cast<std::size_t>(row)];
        label =
            (shape < 0 ? std::string("reference")
                       : "shape " +
                             std::to_string(
                                 subject.flex->shapeFrames[static_cast<std::size_t>(shape)].time)) +
            "   " + label;
      }
      DrawPanel(context, panel, layout.panels[place], label, panel == 3);
    }
  }
  const Fitted caption = Fit(cr, Caption(subject, frames), 13, kSmallestText, width - 16.0);
  Text(cr, 8, 5 + caption.size, caption, 0x101010);
  DrawLegend(cr, layout, reference.materials);

  const cairo_status_t status = cairo_status(cr);
  cairo_destroy(cr);
  // cairo and fontconfig would keep the fonts and their settings to the end
  // of the process, where a leak checker finds them; looking them up again
  // costs some 15 ms a picture. The picture itself holds no font.
  cairo_debug_reset_static_data();
  FcFini();
  if (status != CAIRO_STATUS_SUCCESS) {
    *error = std::string("cannot draw the picture: ") + cairo_status_to_string(status);
    return false;
  }
  *picture = std::move(result);
  return true;
}

}  // namespace kw::preview
