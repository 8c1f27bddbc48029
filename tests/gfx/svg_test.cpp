// The SVG subset reader: the bundle's lockup, every path command, shapes, transforms, paints,
// and documents it must refuse.
#include "gfx/svg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

using plugkit::gfx::parseSvg;
using plugkit::gfx::SvgPicture;
using plugkit::gfx::SvgPoint;
using plugkit::gfx::SvgSubpath;

namespace {

SvgPicture parsed(const std::string& text) {
  SvgPicture picture;
  std::string error;
  EXPECT_TRUE(parseSvg(text, picture, error)) << error << "\n" << text;
  return picture;
}

std::string document(const std::string& body, const std::string& root = R"(width="100" height="100")") {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" " + root + ">" + body + "</svg>";
}

// Every segment end point of a subpath, starting with its start.
std::vector<SvgPoint> ends(const SvgSubpath& s) {
  std::vector<SvgPoint> points{s.start};
  for (size_t i = 2; i < s.cubics.size(); i += 3) points.push_back(s.cubics[i]);
  return points;
}

void expectNear(SvgPoint a, SvgPoint b, const char* what) {
  EXPECT_NEAR(a.x, b.x, 1e-3) << what;
  EXPECT_NEAR(a.y, b.y, 1e-3) << what;
}

}  // namespace

TEST(svg_reader, reads_the_bundle_lockup) {
  std::ifstream file(std::string(PLUMBROOK_SOURCE_DIR) + "/editor/resources/plumbrook-lockup.svg");
  std::stringstream text;
  text << file.rdbuf();
  const SvgPicture picture = parsed(text.str());
  ASSERT_TRUE(picture.valid());
  EXPECT_FLOAT_EQ(picture.height, 40.0f);
  EXPECT_GT(picture.width / picture.height, 5.0f);  // a wide lockup: mark and name
  EXPECT_EQ(picture.shapes.size(), 12u);            // two rings, the drop, nine letters
  for (const auto& shape : picture.shapes)
    for (const auto& subpath : shape.subpaths)
      for (const SvgPoint p : ends(subpath)) {
        EXPECT_GE(p.x, 0.0f);
        EXPECT_LE(p.x, picture.width);
        EXPECT_GE(p.y, 0.0f);
        EXPECT_LE(p.y, picture.height);
      }
}

TEST(svg_reader, relative_path_commands_draw_what_absolute_ones_do) {
  const SvgPicture a = parsed(document(
      R"(<path d="M10,10 L20,10 H30 V20 C30,30 40,30 40,20 S50,10 50,20 Q60,30 70,20 T90,20 A10,5 30 1 0 80,40 Z"/>)"));
  const SvgPicture r = parsed(document(
      R"(<path d="m10 10l10 0h10v10c0 10 10 10 10 0s10-10 10 0q10 10 20 0t20 0a10 5 30 1 0-10 20z"/>)"));
  ASSERT_EQ(a.shapes.size(), 1u);
  ASSERT_EQ(r.shapes.size(), 1u);
  const SvgSubpath& pa = a.shapes[0].subpaths.at(0);
  const SvgSubpath& pr = r.shapes[0].subpaths.at(0);
  ASSERT_EQ(pa.cubics.size(), pr.cubics.size());
  for (size_t i = 0; i < pa.cubics.size(); ++i) expectNear(pa.cubics[i], pr.cubics[i], "control or end point");
  EXPECT_TRUE(pa.closed);
  // The smooth curves mirror the previous control point: S starts with (50, 10) mirrored from (40, 30).
  expectNear(pa.cubics[12], {40.0f, 10.0f}, "reflected cubic control");
  expectNear(ends(pa).back(), {80.0f, 40.0f}, "arc end");
  // Repeated pairs after M are lines.
  const SvgPicture poly = parsed(document(R"(<path d="M0 0 10 0 10 10"/>)"));
  EXPECT_EQ(ends(poly.shapes[0].subpaths[0]).size(), 3u);
}

TEST(svg_reader, basic_shapes_become_paths) {
  const SvgPicture p = parsed(document(R"(
      <rect x="10" y="20" width="30" height="40"/>
      <rect x="0" y="0" width="20" height="10" rx="4"/>
      <circle cx="50" cy="50" r="10"/>
      <ellipse cx="50" cy="50" rx="20" ry="5"/>
      <line x1="0" y1="0" x2="10" y2="10" stroke="black"/>
      <polyline points="0,0 10,0 10,10" stroke="black"/>
      <polygon points="0,0 10,0 10,10"/>)"));
  ASSERT_EQ(p.shapes.size(), 7u);
  const auto rect = ends(p.shapes[0].subpaths[0]);
  expectNear(rect[0], {10, 20}, "rect start");
  expectNear(rect[2], {40, 60}, "rect far corner");
  EXPECT_TRUE(p.shapes[0].subpaths[0].closed);
  EXPECT_GT(p.shapes[1].subpaths[0].cubics.size(), 4u * 3u);  // rounded corners add arcs
  const auto circle = ends(p.shapes[2].subpaths[0]);
  expectNear(circle.front(), {60, 50}, "circle start");
  expectNear(circle[circle.size() / 2], {40, 50}, "circle half way");
  // The middle of the first quarter lies on the circle.
  const auto& c = p.shapes[2].subpaths[0].cubics;
  const float mx = 0.125f * 60 + 0.375f * c[0].x + 0.375f * c[1].x + 0.125f * c[2].x;
  const float my = 0.125f * 50 + 0.375f * c[0].y + 0.375f * c[1].y + 0.125f * c[2].y;
  EXPECT_NEAR(std::hypot(mx - 50, my - 50), 10.0, 0.01);
  EXPECT_FALSE(p.shapes[4].fill.enabled);  // lines are never filled
  EXPECT_FALSE(p.shapes[5].subpaths[0].closed);
  EXPECT_TRUE(p.shapes[6].subpaths[0].closed);
  EXPECT_TRUE(p.shapes[6].fill.enabled);  // black fill by default
}

TEST(svg_reader, transforms_nest_and_the_view_box_scales_and_centres) {
  const SvgPicture p = parsed(document(
      R"svg(<g transform="translate(10 20)"><rect transform="rotate(90 5 5) scale(2)" width="1" height="1" stroke="red" stroke-width="3"/></g>
         <rect transform="matrix(1 0 0 1 7 8) skewX(45)" y="10" width="1" height="1"/>)svg",
      R"(width="200" height="100" viewBox="0 0 100 100")"));
  ASSERT_EQ(p.shapes.size(), 2u);
  // View box: scale 1, centred horizontally by 50. (1, 0) scaled to (2, 0), turned about (5, 5)
  // to (10, 2), moved by (10, 20).
  const auto r = ends(p.shapes[0].subpaths[0]);
  expectNear(r[0], {50 + 20, 20}, "rotated origin");
  expectNear(r[1], {50 + 20, 22}, "rotated corner");
  EXPECT_NEAR(p.shapes[0].strokeWidth, 6.0f, 1e-4);  // stroke scales with the element
  expectNear(ends(p.shapes[1].subpaths[0])[0], {50 + 7 + 10, 8 + 10}, "skewed and moved");
  EXPECT_FLOAT_EQ(p.width, 200.0f);
}

TEST(svg_reader, paints_and_opacity) {
  const SvgPicture p = parsed(document(R"svg(
      <g opacity="0.5" fill="#abc"><rect width="1" height="1" fill-opacity="0.5" stroke="rgb(1, 2, 300)"/></g>
      <rect width="1" height="1" fill="#102030" style="fill: white; stroke:none ; opacity:0.25"/>
      <rect width="1" height="1" fill="none"/>)svg"));
  ASSERT_EQ(p.shapes.size(), 2u);  // the unpainted rectangle draws nothing
  EXPECT_EQ(p.shapes[0].fill.red, 0xaa);
  EXPECT_EQ(p.shapes[0].fill.blue, 0xcc);
  EXPECT_FLOAT_EQ(p.shapes[0].fill.opacity, 0.25f);
  EXPECT_EQ(p.shapes[0].stroke.blue, 255);
  EXPECT_FLOAT_EQ(p.shapes[0].stroke.opacity, 0.5f);
  EXPECT_EQ(p.shapes[1].fill.green, 255);  // style wins over the attribute
  EXPECT_FALSE(p.shapes[1].stroke.enabled);
  EXPECT_FLOAT_EQ(p.shapes[1].fill.opacity, 0.25f);
}

std::string deeplyNested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<g>";
  for (int i = 0; i < depth; ++i) text += "</g>";
  return text;
}

TEST(svg_reader, refuses_what_it_cannot_draw_or_read) {
  const std::string bad[] = {
      "",
      "<svg width=\"10\" height=\"10\">",
      "<svg width=\"10\" height=\"10\"></g>",
      "<svg width=\"50%\" height=\"10\"/>",
      "<svg height=\"10\"/>",
      "<svg width=\"1.2.3\" height=\"10\"/>",
      "<svg width=\"10\" height=\"10\" viewBox=\"0 0 -1 5\"/>",
      document("<text>hello</text>"),
      document("hello"),
      document("<linearGradient id=\"g\"/>"),
      document("<rect width=\"1\" height=\"1\" fill=\"url(#g)\"/>"),
      document("<use href=\"#a\"/>"),
      document("<rect width=\"1\" height=\"1\" filter=\"blur\"/>"),
      document("<rect width=\"1\" height=\"1\" style=\"fill\"/>"),
      document("<rect width=\"1\" height=\"1\" fill=\"#12\"/>"),
      document("<path d=\"L10 10\"/>"),
      document("<path d=\"M0 0 A5 5 0 2 0 10 10\"/>"),
      document("<path d=\"M0 0 X\"/>"),
      document("<rect width=\"1\" height=\"1\" transform=\"shear(2)\"/>"),
      document("<rect width=\"1em\" height=\"1\"/>"),
      document("<rect transform=\"skewY(90) scale(1e300)\" width=\"1e300\" height=\"1\"/>"),
      document("<rect id=\"&nbsp;\"/>"),
      "<svg width=\"10\" height=\"10\"/><svg width=\"10\" height=\"10\"/>",
      "<!DOCTYPE svg [<!ENTITY a \"b\">]><svg width=\"10\" height=\"10\"/>",
      document(deeplyNested(40)),
  };
  for (const std::string& text : bad) {
    SvgPicture picture;
    picture.width = 1;
    std::string error;
    EXPECT_FALSE(parseSvg(text, picture, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
    EXPECT_FALSE(picture.valid()) << text;
    EXPECT_TRUE(picture.shapes.empty()) << text;
  }
}
