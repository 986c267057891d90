// The canvas: the picture with the world and view rectangles, the current colour and every
// drawing primitive.  It knows nothing of windows or threads; the graphics object (gfx/
// graphics.h) owns one and takes its lock around each call.
//
// Raster rules.  Every pixel a primitive writes lies inside the clip rectangle, the view
// rectangle cut to the picture; a primitive only walks the rows and columns of the clip
// rectangle, so huge coordinates cost no more than small ones.  Pens are 1 pixel, nothing is
// anti-aliased.
// - A line runs from its first end to its second with both ends drawn: as many pixels as its
//   longer axis has plus one (a single pixel for equal ends); the other coordinate of step i
//   is the nearest one to the exact line, halves rounded away from the first end.
// - Ellipses are inscribed in the pixel rectangle [left, right) x [top, bottom), the right
//   and bottom edges excluded: a row's pixels are those whose centres lie within the ellipse
//   of half-axes (right - left) / 2 and (bottom - top) / 2 about the rectangle's centre, and
//   at least the pixel or two nearest the centre line.  The outline is the filled shape's
//   boundary: its pixels with a 4-neighbour outside it.  Rounded rectangles include both
//   corners, like box and fill, and cut each corner by a quarter of the corner ellipse.
// - An arc keeps the outline pixels whose direction from the centre, as seen on the screen,
//   lies counter-clockwise from the start radial to the end radial.
// - paint recolours the 4-connected area of the start pixel's colour inside the clip
//   rectangle, with a stack of its own instead of recursion.
#pragma once

#include "gfx/picture.h"

namespace ruvo::gfx {

// A pixel rectangle with both corners included; x1 <= x2 and y1 <= y2 unless empty.
struct PixelRect {
    int x1 = 0, y1 = 0, x2 = -1, y2 = -1;

    bool empty() const { return x1 > x2 || y1 > y2; }
    bool contains(int x, int y) const { return x >= x1 && x <= x2 && y >= y1 && y <= y2; }
    PixelRect cut(const PixelRect& o) const;
    void add(const PixelRect& o); // the smallest rectangle holding both
};

// The world coordinates that map onto the view rectangle's corners.
struct WorldRect {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool degenerate() const { return x1 == x2 && y1 == y2; }
};

class Canvas {
public:
    Picture picture;
    WorldRect world;
    PixelRect view{0, 0, 0, 0};
    Colour colour = 0xFFFFFF;

    // A new w x h black picture whose view is all of it; the world becomes
    // (0, 0)-(w - 1, h - 1) when it is degenerate in both axes.  Throws std::bad_alloc.
    void reset(int w, int h);

    // Mapping between world coordinates and pixels (truncation toward zero; a degenerate
    // world or view gives pixel 0 or a non-finite world coordinate, never a fault).
    int map_x(double x) const;
    int map_y(double y) const;
    double map_x_exact(double x) const;
    double map_y_exact(double y) const;
    double world_x(double px) const;
    double world_y(double py) const;

    PixelRect clip() const; // the view cut to the picture

    // The area the primitives drew into since the last take_dirty(), clipped.
    PixelRect take_dirty();

    void cls(Colour c);
    void pset(double x, double y, Colour c);
    Colour point(double x, double y) const; // 0 outside the picture
    void line(double x1, double y1, double x2, double y2);
    void box(double x1, double y1, double x2, double y2);
    void fill(double x1, double y1, double x2, double y2);
    // Rounded rectangles; rx, ry are the corner ellipse's width and height in world units, a
    // negative ry standing for rx.
    void round_box(double x1, double y1, double x2, double y2, double rx, double ry, bool solid);
    void circle(double x, double y, double r, double a1, double a2, double aspect);
    void paint(double x, double y);

    // Pixel-level drawing for the text renderer: one pixel in the current colour, clipped.
    void plot(int x, int y) {
        if (clip_.contains(x, y)) picture.set(x, y, colour);
    }
    // Brackets pixel-level drawing: fixes the clip rectangle and marks `area` dirty.
    void begin(const PixelRect& area);

private:
    void line_px(int x1, int y1, int x2, int y2);
    void span(int y, int xl, int xr); // one row, clipped

    PixelRect clip_;  // fixed by begin() for the primitive under way
    PixelRect dirty_; // empty: nothing drawn
};

} // namespace ruvo::gfx
