// The window module's window thread: one per process, started by the first open and kept
// until the process ends.  It alone calls GTK; every window, menu and dialog is made and
// destroyed on it.  The script thread reaches it only by queueing idle callbacks and waits,
// each wait bounded, on the module's own mutex and condition (never on the graphics lock).
//
// Painting.  invalidate() adds to a pending rectangle and queues one wake-up while none is
// pending; the wake-up asks GTK to redraw that rectangle at its next frame.  The draw handler
// copies the picture under the graphics lock into the window's own surface, releases the lock
// and paints the surface.  update() counts a request and waits until a draw that began after
// it has finished.
//
// Dialogs never run a loop of their own (no gtk_dialog_run): they answer through their
// response signal, so closing the window or ending the process while one is open only has to
// destroy it.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <gtk/gtk.h>
#include <mutex>
#include <pthread.h>
#include <string>
#include <vector>

#include "gfx/backend.h"
#include "window/font.h"

namespace ruvo::window {

namespace {

using namespace std::chrono_literals;

const gfx_host* host = nullptr;

// Shared between the two threads, under `mutex`.
struct Sync {
    std::mutex mutex;
    std::condition_variable changed;
    enum class Thread { none, starting, running, failed, ended } thread = Thread::none;
    pthread_t id{};
    bool shown = false;         // the current window has been painted once
    bool gone = true;           // no window exists
    bool stopping = false;      // shutdown() has asked the thread to end
    unsigned long requested = 0, painted = 0;
    bool wake_pending = false;
    int x1 = 0, y1 = 0, x2 = -1, y2 = -1; // pending area; empty when x1 > x2
};
Sync sync;

// The window thread's own.
struct Ui {
    GtkWidget* window = nullptr;
    GtkWidget* area = nullptr;
    GtkWidget* menu = nullptr;
    std::vector<GtkWidget*> dialogs; // open dialogs, destroyed with the window
    cairo_surface_t* surface = nullptr;
    int width = 0, height = 0;
};
Ui ui;

constexpr auto kStartWait = 10s;
constexpr auto kWindowWait = 5s;
constexpr auto kPaintWait = 1s;
constexpr int kStopWait = 10;    // seconds
constexpr int kDrainSteps = 1000;

// Runs fn(arg) on the window thread.
void post(GSourceFunc fn, gpointer arg = nullptr) {
    g_idle_add_full(G_PRIORITY_DEFAULT, fn, arg, nullptr);
}

// ---- painting ----

// Copies the rectangle of the picture into the surface; the caller holds the graphics lock.
void copy_picture(int x1, int y1, int x2, int y2) {
    int w, h, stride;
    const unsigned char* px = host->pixels(&w, &h, &stride);
    x2 = std::min({x2, w - 1, ui.width - 1});
    y2 = std::min({y2, h - 1, ui.height - 1});
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    unsigned char* data = cairo_image_surface_get_data(ui.surface);
    int sstride = cairo_image_surface_get_stride(ui.surface);
    for (int y = y1; y <= y2; ++y) {
        const unsigned char* src = px + static_cast<size_t>(h - 1 - y) * stride + 3 * x1;
        auto* dst = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * sstride) + x1;
        for (int x = x1; x <= x2; ++x, src += 3)
            *dst++ = static_cast<uint32_t>(src[2]) << 16 | static_cast<uint32_t>(src[1]) << 8 | src[0];
    }
}

gboolean on_draw(GtkWidget*, cairo_t* cr, gpointer) {
    unsigned long request;
    {
        std::lock_guard g(sync.mutex);
        request = sync.requested;
    }
    double cx1, cy1, cx2, cy2;
    cairo_clip_extents(cr, &cx1, &cy1, &cx2, &cy2);
    cairo_surface_flush(ui.surface);
    host->lock();
    copy_picture(static_cast<int>(cx1), static_cast<int>(cy1), static_cast<int>(cx2),
                 static_cast<int>(cy2));
    host->unlock();
    cairo_surface_mark_dirty(ui.surface);
    cairo_set_source_surface(cr, ui.surface, 0, 0);
    cairo_paint(cr);
    {
        std::lock_guard g(sync.mutex);
        sync.painted = std::max(sync.painted, request);
        sync.shown = true;
    }
    sync.changed.notify_all();
    return TRUE;
}

gboolean on_wake(gpointer) {
    int x1, y1, x2, y2;
    {
        std::lock_guard g(sync.mutex);
        sync.wake_pending = false;
        x1 = sync.x1, y1 = sync.y1, x2 = sync.x2, y2 = sync.y2;
        sync.x1 = sync.y1 = 0;
        sync.x2 = sync.y2 = -1;
    }
    x2 = std::min(x2, ui.width - 1);
    y2 = std::min(y2, ui.height - 1);
    if (ui.area && x1 <= x2 && y1 <= y2)
        gtk_widget_queue_draw_area(ui.area, x1, y1, x2 - x1 + 1, y2 - y1 + 1);
    return G_SOURCE_REMOVE;
}

// ---- the popup menu: copy and save ----

void on_copy(GtkMenuItem*, gpointer) {
    GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, ui.width, ui.height);
    if (!pb) return; // a failed copy is silent
    unsigned char* out = gdk_pixbuf_get_pixels(pb);
    int ostride = gdk_pixbuf_get_rowstride(pb);
    host->lock();
    int w, h, stride;
    const unsigned char* px = host->pixels(&w, &h, &stride);
    for (int y = 0; y < std::min(h, ui.height); ++y) {
        const unsigned char* src = px + static_cast<size_t>(h - 1 - y) * stride;
        unsigned char* dst = out + static_cast<size_t>(y) * ostride;
        for (int x = 0; x < std::min(w, ui.width); ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    }
    host->unlock();
    gtk_clipboard_set_image(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), pb);
    g_object_unref(pb);
}

void forget_dialog(GtkWidget* w, gpointer) {
    std::erase(ui.dialogs, w);
}

// A dialog of the window: transient for it, destroyed with it.
GtkWidget* own_dialog(GtkWidget* d) {
    gtk_window_set_transient_for(GTK_WINDOW(d), GTK_WINDOW(ui.window));
    gtk_window_set_modal(GTK_WINDOW(d), TRUE);
    gtk_window_set_destroy_with_parent(GTK_WINDOW(d), TRUE);
    ui.dialogs.push_back(d);
    g_signal_connect(d, "destroy", G_CALLBACK(forget_dialog), nullptr);
    return d;
}

void on_error_response(GtkDialog* d, gint, gpointer) {
    gtk_widget_destroy(GTK_WIDGET(d));
}

void write_file(const std::string& path) {
    if (host->save(path.c_str())) return;
    GtkWidget* d = own_dialog(gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                                     GTK_BUTTONS_OK, "Save image failed."));
    gtk_window_set_title(GTK_WINDOW(d), "Error");
    g_signal_connect(d, "response", G_CALLBACK(on_error_response), nullptr);
    gtk_widget_show(d);
}

void on_replace_response(GtkDialog* d, gint response, gpointer data) {
    auto* path = static_cast<std::string*>(data);
    gtk_widget_destroy(GTK_WIDGET(d));
    if (response == GTK_RESPONSE_YES) write_file(*path);
}

void free_path(gpointer data, GClosure*) {
    delete static_cast<std::string*>(data);
}

void on_save_response(GtkDialog* d, gint response, gpointer) {
    char* name = response == GTK_RESPONSE_ACCEPT ? gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(d))
                                                 : nullptr;
    gtk_widget_destroy(GTK_WIDGET(d));
    if (!name) return;
    std::string path = name;
    g_free(name);
    // A name without an extension gets ".bmp", before the question about replacing a file.
    size_t base = path.rfind('/') + 1;
    if (path.find('.', base) == std::string::npos) path += ".bmp";
    if (!g_file_test(path.c_str(), G_FILE_TEST_EXISTS)) {
        write_file(path);
        return;
    }
    std::string shown = path.substr(base);
    GtkWidget* q = own_dialog(gtk_message_dialog_new(
        nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING, GTK_BUTTONS_YES_NO,
        "%s already exists.\nDo you want to replace it?", shown.c_str()));
    gtk_window_set_title(GTK_WINDOW(q), "Save image as");
    g_signal_connect_data(q, "response", G_CALLBACK(on_replace_response), new std::string(path),
                          free_path, GConnectFlags(0));
    gtk_widget_show(q);
}

void on_save(GtkMenuItem*, gpointer) {
    GtkWidget* d = own_dialog(gtk_file_chooser_dialog_new(
        "Save image as", nullptr, GTK_FILE_CHOOSER_ACTION_SAVE, "_Cancel", GTK_RESPONSE_CANCEL,
        "_Save", GTK_RESPONSE_ACCEPT, nullptr));
    GtkFileChooser* fc = GTK_FILE_CHOOSER(d);
    GtkFileFilter* all = gtk_file_filter_new();
    gtk_file_filter_set_name(all, "All files(*.*)");
    gtk_file_filter_add_pattern(all, "*"); // Linux names need no dot
    GtkFileFilter* bmp = gtk_file_filter_new();
    gtk_file_filter_set_name(bmp, "Bitmap files(*.bmp)");
    gtk_file_filter_add_pattern(bmp, "*.bmp");
    gtk_file_filter_add_pattern(bmp, "*.BMP");
    gtk_file_chooser_add_filter(fc, all);
    gtk_file_chooser_add_filter(fc, bmp);
    gtk_file_chooser_set_filter(fc, bmp);
    gtk_dialog_set_default_response(GTK_DIALOG(d), GTK_RESPONSE_ACCEPT);
    g_signal_connect(d, "response", G_CALLBACK(on_save_response), nullptr);
    gtk_widget_show(d);
}

GtkWidget* popup_menu() {
    if (ui.menu) return ui.menu;
    ui.menu = gtk_menu_new();
    g_object_add_weak_pointer(G_OBJECT(ui.menu), reinterpret_cast<gpointer*>(&ui.menu));
    GtkWidget* copy = gtk_menu_item_new_with_mnemonic("Copy to clipboard(_C)");
    GtkWidget* save = gtk_menu_item_new_with_mnemonic("Save image as(_S)");
    g_signal_connect(copy, "activate", G_CALLBACK(on_copy), nullptr);
    g_signal_connect(save, "activate", G_CALLBACK(on_save), nullptr);
    gtk_menu_shell_append(GTK_MENU_SHELL(ui.menu), copy);
    gtk_menu_shell_append(GTK_MENU_SHELL(ui.menu), save);
    gtk_menu_attach_to_widget(GTK_MENU(ui.menu), ui.window, nullptr);
    gtk_widget_show_all(ui.menu);
    return ui.menu;
}

// ---- the window ----

gboolean on_motion(GtkWidget*, GdkEventMotion* e, gpointer) {
    double x, y;
    host->to_world(static_cast<int>(e->x), static_cast<int>(e->y), &x, &y);
    char title[128];
    std::snprintf(title, sizeof title, "Graphic : ( %.4g, %.4g )", x, y);
    gtk_window_set_title(GTK_WINDOW(ui.window), title);
    return FALSE;
}

gboolean on_button_release(GtkWidget*, GdkEventButton* e, gpointer) {
    if (e->button != GDK_BUTTON_SECONDARY) return FALSE;
    gtk_menu_popup_at_pointer(GTK_MENU(popup_menu()), reinterpret_cast<GdkEvent*>(e));
    return TRUE;
}

void on_destroy(GtkWidget*, gpointer) {
    while (!ui.dialogs.empty()) gtk_widget_destroy(ui.dialogs.back());
    if (ui.menu) gtk_widget_destroy(ui.menu);
    host->window_closed();
    cairo_surface_destroy(ui.surface);
    ui = Ui{};
    {
        std::lock_guard g(sync.mutex);
        sync.gone = true;
    }
    sync.changed.notify_all();
}

struct Size {
    int width, height;
};

gboolean create_window(gpointer data) {
    auto* size = static_cast<Size*>(data);
    ui.width = size->width;
    ui.height = size->height;
    delete size;
    ui.surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, ui.width, ui.height);
    ui.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(ui.window), "Graphics");
    gtk_window_set_resizable(GTK_WINDOW(ui.window), FALSE);
    ui.area = gtk_drawing_area_new();
    gtk_widget_set_size_request(ui.area, ui.width, ui.height);
    gtk_widget_add_events(ui.area, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK |
                                       GDK_BUTTON_RELEASE_MASK);
    g_signal_connect(ui.area, "draw", G_CALLBACK(on_draw), nullptr);
    g_signal_connect(ui.area, "motion-notify-event", G_CALLBACK(on_motion), nullptr);
    g_signal_connect(ui.area, "button-release-event", G_CALLBACK(on_button_release), nullptr);
    g_signal_connect(ui.window, "destroy", G_CALLBACK(on_destroy), nullptr);
    gtk_container_add(GTK_CONTAINER(ui.window), ui.area);
    gtk_widget_show_all(ui.window);
    gtk_window_present(GTK_WINDOW(ui.window));
    return G_SOURCE_REMOVE;
}

gboolean destroy_window(gpointer) {
    if (ui.window) gtk_widget_destroy(ui.window);
    return G_SOURCE_REMOVE;
}

// The end of the process: the window and then every other toplevel GTK made (dialogs, the
// popup, whatever a dialog opened of its own) are destroyed before the loop ends.
gboolean quit_loop(gpointer) {
    destroy_window(nullptr);
    GList* rest = gtk_window_list_toplevels();
    for (GList* w = rest; w; w = w->next) g_object_ref(w->data); // destroying one may end another
    for (GList* w = rest; w; w = w->next) gtk_widget_destroy(GTK_WIDGET(w->data));
    g_list_free_full(rest, g_object_unref);
    gtk_main_quit();
    return G_SOURCE_REMOVE;
}

void* thread_main(void*) {
    gtk_disable_setlocale(); // the interpreter's locale is not GTK's to change
    bool ok = gtk_init_check(nullptr, nullptr);
    {
        std::lock_guard g(sync.mutex);
        sync.thread = ok ? Sync::Thread::running : Sync::Thread::failed;
    }
    sync.changed.notify_all();
    if (ok) {
        gtk_main();
        // What the destroyed windows left queued (their cancelled reads reporting back) runs
        // before the thread ends, so that nothing of GTK is left half done; bounded, since an
        // idle source may queue itself again.
        for (int i = 0; i < kDrainSteps && g_main_context_iteration(nullptr, FALSE); ++i) {
        }
    }
    std::lock_guard g(sync.mutex);
    if (ok) sync.thread = Sync::Thread::ended;
    sync.gone = true;
    sync.changed.notify_all();
    return nullptr;
}

// Starts the window thread once; true while it runs.
bool thread_running(std::unique_lock<std::mutex>& lock) {
    if (sync.thread == Sync::Thread::none) {
        sync.thread = Sync::Thread::starting;
        if (pthread_create(&sync.id, nullptr, thread_main, nullptr) != 0) {
            sync.thread = Sync::Thread::failed;
            return false;
        }
    }
    sync.changed.wait_for(lock, kStartWait, [] { return sync.thread != Sync::Thread::starting; });
    return sync.thread == Sync::Thread::running;
}

// ---- the backend's operations, on the script thread ----

int open_window(int width, int height) {
    std::unique_lock lock(sync.mutex);
    if (!thread_running(lock)) return 0;
    sync.shown = false;
    sync.gone = false;
    post(create_window, new Size{width, height});
    sync.changed.wait_for(lock, kWindowWait, [] { return sync.shown || sync.gone; });
    return !sync.gone;
}

void close_window() {
    std::unique_lock lock(sync.mutex);
    if (sync.thread != Sync::Thread::running || sync.gone) return;
    post(destroy_window);
    sync.changed.wait_for(lock, kWindowWait, [] { return sync.gone; });
}

void invalidate(int x1, int y1, int x2, int y2) {
    std::lock_guard g(sync.mutex);
    if (sync.gone) return;
    if (sync.x1 > sync.x2) {
        sync.x1 = x1, sync.y1 = y1, sync.x2 = x2, sync.y2 = y2;
    } else {
        sync.x1 = std::min(sync.x1, x1), sync.y1 = std::min(sync.y1, y1);
        sync.x2 = std::max(sync.x2, x2), sync.y2 = std::max(sync.y2, y2);
    }
    if (!sync.wake_pending) {
        sync.wake_pending = true;
        post(on_wake);
    }
}

void update() {
    unsigned long request;
    {
        std::lock_guard g(sync.mutex);
        request = ++sync.requested; // before the wake-up, so that its draw counts
    }
    invalidate(0, 0, 1 << 30, 1 << 30);
    std::unique_lock lock(sync.mutex);
    sync.changed.wait_for(lock, kPaintWait,
                          [request] { return sync.painted >= request || sync.gone; });
}

void shutdown() {
    {
        std::unique_lock lock(sync.mutex);
        if (sync.thread != Sync::Thread::running || sync.stopping) return;
        // GTK ends the process from its own thread when the display goes away.
        if (pthread_equal(sync.id, pthread_self())) return;
        sync.stopping = true;
        post(quit_loop);
    }
    // The process goes on ending only once the thread has: the exit handlers and destructors
    // after this one free what GTK uses.  A thread that does not end in time (a server that
    // stopped answering) is left behind rather than waited for forever.
    timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += kStopWait;
    if (pthread_timedjoin_np(sync.id, nullptr, &until) != 0) pthread_detach(sync.id);
}

const gfx_backend kBackend = {open_window, close_window, invalidate,   update,
                              shutdown,    font_open,    font_close,   font_metrics,
                              font_advance, font_render};

} // namespace

} // namespace ruvo::window

extern "C" __attribute__((visibility("default"))) const gfx_backend*
ruvo_window_backend(const gfx_host* host) {
    ruvo::window::host = host;
    return &ruvo::window::kBackend;
}
