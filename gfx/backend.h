// The boundary between the interpreter and the window module (libruvo_window.so), which
// libruvo.so loads with dlopen at the first screen(w, h) so that a script that never draws
// loads no toolkit.  Plain C structures only: the two sides share no C++ runtime state.
//
// Threads.  The module runs one window thread per process, started by the first open and
// kept until shutdown; it alone calls the toolkit.  The script thread calls the backend's
// operations; the window thread calls the host's.  The host's lock is the graphics object's
// one lock: the window thread takes it for one paint, one copy or one save (through lock and
// unlock, or inside save and to_world), never while it waits for the script thread; the
// script thread never holds it while it waits for the window thread.  The window thread never
// touches script values.
#pragma once

extern "C" {

// The interpreter's side, called on the window thread.
struct gfx_host {
    void (*lock)(void);
    void (*unlock)(void);
    // With the lock held: the picture's bytes (bottom-up rows, blue green red) and geometry.
    const unsigned char* (*pixels)(int* width, int* height, int* stride);
    // Takes the lock: the world coordinates of pixel (px, py).
    void (*to_world)(int px, int py, double* x, double* y);
    // Takes the lock: writes the picture as a BMP file; 0 when the file cannot be written.
    int (*save)(const char* path);
    // Takes the lock: the window is gone; the graphics object forgets it.
    void (*window_closed)(void);
};

// A rendered glyph: 1-bit rows, most significant bit first.  (left, top) is the offset of the
// bitmap's top-left pixel from the pen's pixel, top counted upwards.
struct gfx_glyph {
    int left, top, width, rows, pitch;
    const unsigned char* bits;
};

// The module's side, called on the script thread.
struct gfx_backend {
    // Opens a window whose client area is width x height; waits until it is shown (or for a
    // bounded time).  0 when no window could be made.
    int (*open)(int width, int height);
    // Closes the open window and waits until it is gone (bounded).
    void (*close)(void);
    // Marks a pixel rectangle (both corners included, y from the top) to be painted at the
    // window's next frame; does not wait.
    void (*invalidate)(int x1, int y1, int x2, int y2);
    // Paints the whole picture and waits until the paint is done (bounded).
    void (*update)(void);
    // Process exit: closes every window and dialog and ends the window thread.
    void (*shutdown)(void);

    // Fonts (FreeType faces found through fontconfig); a font is used under the host's lock.
    // open: null when the face is not installed.  japanese_fallback: the name is the default
    // face, for which a Japanese monospace face stands in.
    void* (*font_open)(const char* family_utf8, int height, double angle, int japanese_fallback);
    void (*font_close)(void* font);
    void (*font_metrics)(void* font, int* height, int* ascent, int* average_width);
    // The pen's advance for the character (pixels along the baseline).
    int (*font_advance)(void* font, unsigned int code);
    // The glyph rotated by the font's angle with its origin at (x, y) (fractions kept); 0 when
    // there is nothing to draw.  The bits stay valid until the next call.
    int (*font_render)(void* font, unsigned int code, double x, double y, struct gfx_glyph* out);
};

// The module's one entry point.
typedef const struct gfx_backend* (*gfx_backend_entry)(const struct gfx_host* host);
#define RUVO_WINDOW_ENTRY "ruvo_window_backend"
#define RUVO_WINDOW_MODULE "libruvo_window.so"
}
