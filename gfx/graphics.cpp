#include "gfx/graphics.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <new>
#include <sched.h>
#include <string>

#include "io/codec.h"
#include "lib/args.h"

namespace ruvo::gfx {

Graphics graphics;

namespace {

// "ＭＳ ゴシック" in Shift_JIS: the default face, for which a Japanese monospace face stands in.
constexpr std::string_view kDefaultFace = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";
constexpr int kDefaultFontHeight = 12;

// ---- the host side of the window module, run on the window thread ----

void host_lock() {
    graphics.lock.lock();
}

void host_unlock() {
    graphics.lock.unlock();
}

const unsigned char* host_pixels(int* w, int* h, int* stride) {
    const Picture& p = graphics.canvas.picture;
    *w = p.width();
    *h = p.height();
    *stride = p.stride();
    return p.bytes();
}

void host_to_world(int px, int py, double* x, double* y) {
    std::lock_guard guard(graphics.lock);
    *x = graphics.canvas.world_x(px);
    *y = graphics.canvas.world_y(py);
}

int host_save(const char* path) {
    std::string bytes;
    {
        std::lock_guard guard(graphics.lock);
        bytes = picture_bmp(graphics.canvas.picture);
    }
    FILE* f = std::fopen(path, "wb");
    if (!f) return 0;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

void release_font() {
    if (graphics.font.face) graphics.font.ops->font_close(graphics.font.face);
    graphics.font.face = nullptr;
}

// The window is gone: the drawing context is released, the world and the settings return
// to their start; the picture stays.
void host_window_closed() {
    std::lock_guard guard(graphics.lock);
    release_font();
    graphics.canvas.world = {};
    graphics.canvas.colour = 0xFFFFFF;
    graphics.auto_update = true;
    graphics.window_open = false;
}

const gfx_host kHost = {host_lock,  host_unlock,  host_pixels, host_to_world,
                        host_save, host_window_closed};

// ---- loading the module ----

struct ModuleState {
    bool tried = false;
    const gfx_backend* backend = nullptr;
};
ModuleState module;

bool has_display() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* v = std::getenv(name);
        if (v && *v) return true;
    }
    return false;
}

void shut_down_window() {
    if (module.backend) module.backend->shutdown();
}

// The module lies next to the object holding this code (lib/ of the build or the install),
// or in ../lib/ beside a program linked with the interpreter statically.
const gfx_backend* load_backend() {
    if (module.tried) return module.backend;
    module.tried = true;
    Dl_info info;
    std::string dir;
    if (dladdr(reinterpret_cast<void*>(&load_backend), &info) && info.dli_fname) {
        dir = info.dli_fname;
        dir.erase(dir.rfind('/') + 1);
    }
    void* handle = nullptr;
    for (const char* sub : {"", "../lib/"}) {
        std::string path = dir + sub + RUVO_WINDOW_MODULE;
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle) break;
    }
    if (!handle) return nullptr;
    auto entry = reinterpret_cast<gfx_backend_entry>(dlsym(handle, RUVO_WINDOW_ENTRY));
    if (!entry) return nullptr;
    module.backend = entry(&kHost);
    if (module.backend) std::atexit(shut_down_window);
    return module.backend;
}

// A font's angle is kept in whole tenths of a degree, truncated toward zero: font(name, size,
// 0.001) draws level text, font(name, size, 1) turns it by 57.2 degrees.
double angle_in_tenths(double radians) {
    constexpr double kTenthsPerRadian = 572.9577951308232;
    return trunc_clamped<int32_t>(radians * kTenthsPerRadian) / kTenthsPerRadian;
}

TextFont open_font(const gfx_backend* ops, std::string_view name, int size, double angle) {
    TextFont f;
    f.ops = ops;
    f.angle = angle = angle_in_tenths(angle);
    std::string utf8 = sjis_to_utf8(name);
    f.face = ops->font_open(utf8.c_str(), size, angle, name == kDefaultFace);
    if (f.face) ops->font_metrics(f.face, &f.height, &f.ascent, &f.average_width);
    return f;
}

} // namespace

void end_of_run() {
    if (module.backend) std::atexit(shut_down_window);
}

bool screen_is_open() {
    std::lock_guard guard(graphics.lock);
    return graphics.window_open;
}

bool open_screen(int w, int h) {
    if (screen_is_open()) module.backend->close();
    if (w < 1 || h < 1 || w > kMaxScreenSide || h > kMaxScreenSide || !has_display()) return false;
    const gfx_backend* backend = load_backend();
    if (!backend) return false;
    {
        std::lock_guard guard(graphics.lock);
        try {
            graphics.canvas.reset(w, h);
        } catch (const std::bad_alloc&) {
            return false;
        }
        release_font();
        graphics.font = open_font(backend, kDefaultFace, kDefaultFontHeight, 0);
        graphics.window_open = true;
    }
    if (backend->open(w, h)) return true;
    std::lock_guard guard(graphics.lock);
    release_font();
    graphics.window_open = false;
    return false;
}

void repaint(const PixelRect& area) {
    if (area.empty()) return;
    module.backend->invalidate(area.x1, area.y1, area.x2, area.y2);
    sched_yield();
}

void update_now() {
    if (screen_is_open()) module.backend->update();
}

void select_font(std::string_view name, int size, double angle) {
    std::lock_guard guard(graphics.lock);
    if (!graphics.window_open) return;
    TextFont f = open_font(module.backend, name, size, angle);
    if (!f.face) return; // not installed: the font stays
    release_font();
    graphics.font = f;
}

} // namespace ruvo::gfx
