#include "preview/preview.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "preview/layout.h"
#include "preview/posed_model.h"
#include "preview/raster.h"
#include "preview/view.h"

namespace kw::preview {
namespace {

const ViewKind kKinds[4] = {ViewKind::kFront, ViewKind::kSide, ViewKind::kTop,
                            ViewKind::kPerspective};
const char* const kKindNames[4] = {"front", "side", "top", "perspective"};
// Panels smaller than this are refused rather than drawn.
constexpr int kMinPanel = 24;

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

void Text(cairo_t* cr, double x, double y, const std::string& text, double size = 12,
          std::uint32_t rgb = 0x303030) {
  cairo_set_font_size(cr, size);
  SetColour(cr, rgb);
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, text.c_str());
}

double TextWidth(cairo_t* cr, const std::string& text, double size = 12) {
  cairo_set_font_size(cr, size);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  return extents.x_advance;
}

struct PanelContext {
  cairo_t* cr;
  cairo_surface_t* surface;
  const smd::File& reference;
  const PosedModel& posed;
  const Box& box;     // what every panel is fitted to, the same in every row
  const Box& rowBox;  // what this row's pose spans
};

void Line(cairo_t* cr, const View& view, const Rect& panel, const Point3& a, const Point3& b) {
  ScreenPoint p, q;
  if (!view.Project(a, &p) || !view.Project(b, &q)) return;
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
    if (x1 - x0 > 400 || y1 - y0 > 400) return step;
    const float floor = context.box.min.z;
    for (double i = x0; i <= x1; ++i) {
      const float x = static_cast<float>(i * step);
      Line(cr, view, panel, Point3(x, float(y0 * step), floor), Point3(x, float(y1 * step), floor));
    }
    for (double j = y0; j <= y1; ++j) {
      const float y = static_cast<float>(j * step);
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
    if (u1 - u0 > 400 || v1 - v0 > 400) return step;
    const auto at = [&](double a, double b) { return right * float(a) + up * float(b); };
    for (double i = u0; i <= u1; ++i)
      Line(cr, view, panel, at(i * step, v0 * step), at(i * step, v1 * step));
    for (double j = v0; j <= v1; ++j)
      Line(cr, view, panel, at(u0 * step, j * step), at(u1 * step, j * step));
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

void DrawSkeleton(const PanelContext& context, const View& view, const Rect& panel) {
  cairo_t* cr = context.cr;
  const std::vector<Point3>& joints = context.posed.Joints();
  const std::vector<int>& parents = context.posed.Parents();
  for (std::size_t i = 0; i < joints.size(); ++i) {
    if (parents[i] >= 0)
      Line(cr, view, panel, joints[static_cast<std::size_t>(parents[i])], joints[i]);
  }
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  SetColour(cr, 0xffffff, 0.85);
  cairo_set_line_width(cr, 3.5);
  cairo_stroke_preserve(cr);
  SetColour(cr, 0x1a1a1a);
  cairo_set_line_width(cr, 1.5);
  cairo_stroke(cr);
  for (const Point3& joint : joints) {
    ScreenPoint p;
    if (!view.Project(joint, &p)) continue;
    cairo_new_sub_path(cr);
    cairo_arc(cr, panel.x + p.x, panel.y + p.y, 3, 0, 2 * M_PI);
  }
  SetColour(cr, 0xffd400);
  cairo_fill_preserve(cr);
  SetColour(cr, 0x1a1a1a);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
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
  DrawSkeleton(context, view, panel);

  Text(cr, panel.x + 8, panel.y + 17, label, 12.5, 0x202020);
  Text(cr, panel.x + 8, panel.y + panel.height - 8, "grid " + Number(step), 11, 0x606060);
  // A sequence has no triangles to show (the caption says so); a reference
  // without any is worth a word in every view.
  if (context.reference.triangles.empty() && context.reference.hasTriangles) {
    const std::string none = "no triangles";
    Text(cr, panel.x + (panel.width - TextWidth(cr, none, 14)) / 2,
         panel.y + panel.height / 2.0 + 24, none, 14, 0xb01818);
  }
  if (withSize) {
    const Point3 size = context.rowBox.Size();
    const std::string text =
        "size " + Number(size.x) + " x " + Number(size.y) + " x " + Number(size.z);
    Text(cr, panel.x + panel.width - 8 - TextWidth(cr, text, 11), panel.y + panel.height - 8, text,
         11, 0x606060);
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
    while (name.size() > 4 && TextWidth(cr, name, 11.5) > 178)
      name = name.substr(0, name.size() - 4) + "...";
    Text(cr, x + 17, y + 12.5, name, 11.5);
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

bool ChooseFrames(const smd::File& sequence, const std::vector<int>& asked,
                  std::vector<int>* frames, std::string* error) {
  const int count = static_cast<int>(sequence.frames.size());
  frames->clear();
  if (asked.empty()) {
    if (count == 0) {
      *error = "the sequence has no frames";
      return false;
    }
    for (int frame : {0, (count - 1) / 2, count - 1}) {
      if (frames->empty() || frames->back() != frame) frames->push_back(frame);
    }
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

namespace {

// The frames, grid and size a picture of the subject takes, or false with
// *error when they do not make one.
bool Plan(const Subject& subject, const Options& options, std::vector<int>* frames, int* rows,
          int* columns, int* width, int* height, std::string* error) {
  frames->clear();
  if (subject.sequence && !ChooseFrames(*subject.sequence, options.frames, frames, error))
    return false;
  *rows = subject.sequence ? static_cast<int>(frames->size()) : 2;
  *columns = subject.sequence ? 4 : 2;
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
  const int poseCount = subject.sequence ? static_cast<int>(frames.size()) : 1;
  const auto pose = [&](int row) {
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
    const PanelContext context{cr,    surface, reference,
                               posed, box,     rowBoxes[static_cast<std::size_t>(row)]};
    for (int panel = 0; panel < 4; ++panel) {
      const std::size_t place = static_cast<std::size_t>(row * 4 + panel);
      std::string label = kKindNames[panel];
      if (subject.sequence && panel == 0)
        label = "frame " + std::to_string(frames[static_cast<std::size_t>(row)]) + "   " + label;
      DrawPanel(context, panel, layout.panels[place], label, panel == 3);
    }
  }
  Text(cr, 8, 18, Caption(subject, frames), 13, 0x101010);
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
