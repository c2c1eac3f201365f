// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MailHandler.h"

#include <dlfcn.h>
#include <gio/gio.h>

const char* const NoMailHandler =
    "No mail program is set up for mailto: links on this desktop.\r"
    "Choose one in the desktop's default applications, or tick \"Run custom mail client\" in Configure.";

namespace {

// The few GIO calls needed, from the system's library.
struct Gio {
    decltype(&g_app_info_get_default_for_uri_scheme) defaultForScheme = nullptr;
    decltype(&g_app_info_launch) launch = nullptr;
    decltype(&g_app_info_get_display_name) displayName = nullptr;
    decltype(&g_object_unref) unref = nullptr;
    decltype(&g_error_free) errorFree = nullptr;

    bool complete() const { return defaultForScheme && launch && displayName && unref && errorFree; }
};

template <typename F>
void resolve(void* lib, F& f, const char* name)
{
    f = reinterpret_cast<F>(dlsym(lib, name));
}

const Gio* gio()
{
    // Loaded once for the run and never unloaded: GIO keeps threads and
    // caches of its own.
    static const Gio loaded = [] {
        Gio g;
        void* lib = dlopen("libgio-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!lib)
            return g;
        resolve(lib, g.defaultForScheme, "g_app_info_get_default_for_uri_scheme");
        resolve(lib, g.launch, "g_app_info_launch");
        resolve(lib, g.displayName, "g_app_info_get_display_name");
        resolve(lib, g.unref, "g_object_unref");
        resolve(lib, g.errorFree, "g_error_free");
        return g;
    }();
    return loaded.complete() ? &loaded : nullptr;
}

} // namespace

std::string LaunchMailHandler()
{
    const Gio* g = gio();
    if (!g)
        return "Cannot look up the desktop's mail program: the GIO library (libgio-2.0) is missing.";
    GAppInfo* app = g->defaultForScheme("mailto");
    if (!app)
        return NoMailHandler;
    std::string problem;
    GError* error = nullptr;
    // No address: the program starts as from its menu entry.
    if (!g->launch(app, nullptr, nullptr, &error)) {
        const char* name = g->displayName(app);
        problem = std::string("Could not start the mail program ") + (name ? name : "") + ":\r"
            + (error && error->message ? error->message : "unknown error");
    }
    if (error)
        g->errorFree(error);
    g->unref(app);
    return problem;
}
