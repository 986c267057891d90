// The graphics object: one per process, holding the canvas (picture, world and view, colour),
// the text font, auto-update and whether a window is open, behind its one lock.
//
// The script thread takes the lock for each primitive; the window thread (in the window
// module, gfx/backend.h) takes it for each paint, copy and save, and to forget the window
// when it closes.  Neither holds it while waiting for the other: primitives draw under the
// lock, release it, and only then ask the window to repaint.
//
// The window module is loaded at the first screen(w, h) that finds a display.  It stays
// loaded until the process ends; an exit handler closes the window and ends the window
// thread before the static destructors run.  The toolkit's libraries register exit handlers
// of their own while the window thread uses them (the text shaper frees its language list
// in one), and exit handlers run latest first: so the handler is registered again when a run
// ends, to come before them, and the window thread never draws with what they freed.
#pragma once

#include <atomic>
#include <mutex>

#include "gfx/canvas.h"
#include "gfx/text.h"

namespace ruvo::gfx {

// The largest width and height screen(w, h) accepts.
constexpr int kMaxScreenSide = 8192;

struct Graphics {
    std::mutex lock;
    Canvas canvas;
    TextFont font;            // face null: no drawing context
    bool window_open = false; // written under the lock
    std::atomic<bool> auto_update = true; // set back by the window thread when it closes
};
extern Graphics graphics;

// screen(w, h): closes an open window, then opens a w x h one when the size is acceptable and
// a display is there.  True when a window is open afterwards.
bool open_screen(int w, int h);
bool screen_is_open();

void repaint(const PixelRect& area); // asks the window to paint area; the thread yields

// Runs a drawing step on the canvas under the lock when a window is open, then repaints what
// it drew when auto-update is on.
template <typename Step> void draw(Step&& step) {
    PixelRect dirty;
    {
        std::lock_guard guard(graphics.lock);
        if (!graphics.window_open) return;
        step(graphics.canvas);
        dirty = graphics.canvas.take_dirty();
    }
    if (graphics.auto_update) repaint(dirty);
}

// The end of a run: the window stays open, and ends first when the process ends.
void end_of_run();

// update(): paints the window now and waits for the paint.
void update_now();

// font(name, size, angle): the face name in Shift_JIS.  Without a window nothing changes.
void select_font(std::string_view name, int size, double angle);

} // namespace ruvo::gfx
