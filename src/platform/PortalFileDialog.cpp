// The XDG desktop portal's FileChooser over GDBus. The connection is a
// private one with a main context of its own, made for each dialog and
// iterated only from run(), so nothing of GLib runs on any other thread and
// the tray's connection is never touched.

#include "platform/FileDialog.h"
#include "platform/ThreadSanitizerSuppressions.h"

#include <gio/gio.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace qv {

namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr int kCallTimeoutMs = 25000;
constexpr int kWaitSliceMs = 20;
constexpr int kQuitReplyWaitMs = 1000;

struct PortalCall {
    bool callDone = false;
    bool callFailed = false;
    std::string callError;
    std::string handle;
    bool responded = false;
    uint32_t response = 2;
    std::string uri;
};

void onCallDone(GObject* source, GAsyncResult* result, gpointer user) {
    auto& call = *static_cast<PortalCall*>(user);
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    call.callDone = true;
    if (!reply) {
        call.callFailed = true;
        call.callError = error ? error->message : "no reply";
        g_clear_error(&error);
        return;
    }
    const char* handle = nullptr;
    g_variant_get(reply, "(&o)", &handle);
    call.handle = handle ? handle : "";
    g_variant_unref(reply);
}

void onResponse(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters,
                gpointer user) {
    auto& call = *static_cast<PortalCall*>(user);
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})")))
        return;
    GVariant* results = nullptr;
    g_variant_get(parameters, "(u@a{sv})", &call.response, &results);
    GVariant* uris = g_variant_lookup_value(results, "uris", G_VARIANT_TYPE("as"));
    if (uris) {
        if (g_variant_n_children(uris) > 0) {
            const char* first = nullptr;
            g_variant_get_child(uris, 0, "&s", &first);
            call.uri = first ? first : "";
        }
        g_variant_unref(uris);
    }
    g_variant_unref(results);
    call.responded = true;
}

std::string senderPart(const char* uniqueName) {
    std::string sender = uniqueName ? uniqueName : "";
    if (!sender.empty() && sender[0] == ':')
        sender.erase(0, 1);
    for (char& c : sender)
        if (c == '.')
            c = '_';
    return sender;
}

GVariant* filterVariant(const FileDialogRequest& request) {
    GVariantBuilder patterns;
    g_variant_builder_init(&patterns, G_VARIANT_TYPE("a(us)"));
    g_variant_builder_add(&patterns, "(us)", 0u, request.filterPattern.c_str());
    return g_variant_new("(sa(us))", request.filterName.c_str(), &patterns);
}

GVariant* buildParameters(const FileDialogRequest& request, const std::string& token) {
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    g_variant_builder_add(&options, "{sv}", "modal", g_variant_new_boolean(TRUE));
    if (!request.filterPattern.empty()) {
        GVariantBuilder filters;
        g_variant_builder_init(&filters, G_VARIANT_TYPE("a(sa(us))"));
        g_variant_builder_add_value(&filters, filterVariant(request));
        g_variant_builder_add(&options, "{sv}", "filters", g_variant_builder_end(&filters));
        g_variant_builder_add(&options, "{sv}", "current_filter", filterVariant(request));
    }
    if (request.mode == FileDialogMode::kSave && !request.proposedName.empty())
        g_variant_builder_add(&options, "{sv}", "current_name", g_variant_new_string(request.proposedName.c_str()));
    if (!request.folder.empty())
        g_variant_builder_add(&options, "{sv}", "current_folder", g_variant_new_bytestring(request.folder.c_str()));
    return g_variant_new("(ssa{sv})", request.parentWindow.c_str(), request.title.c_str(), &options);
}

class PortalFileDialog final : public IFileDialog {
public:
    FileDialogResult run(const FileDialogRequest& request, const FileDialogWait& wait) override {
        FileDialogResult result;
        const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (!address || !*address) {
            result.error = "no session bus (DBUS_SESSION_BUS_ADDRESS is not set)";
            return result;
        }
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        GError* error = nullptr;
        GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
            address,
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        if (!connection) {
            result.error = std::string("session bus: ") + (error ? error->message : "cannot connect");
            g_clear_error(&error);
            g_main_context_pop_thread_default(context);
            g_main_context_unref(context);
            return result;
        }
        result = converse(connection, context, request, wait);
        g_dbus_connection_close_sync(connection, nullptr, nullptr);
        g_object_unref(connection);
        while (g_main_context_iteration(context, FALSE)) {
        }
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
        return result;
    }

private:
    static FileDialogResult converse(GDBusConnection* connection, GMainContext* context,
                                     const FileDialogRequest& request, const FileDialogWait& wait) {
        static std::atomic<unsigned> counter{0};
        const std::string token = "qv" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
        const std::string expected = std::string(kPortalPath) + "/request/" +
                                     senderPart(g_dbus_connection_get_unique_name(connection)) + "/" + token;
        PortalCall call;
        // Subscribed before the call, so a quick answer is not missed.
        guint subscription = g_dbus_connection_signal_subscribe(
            connection, nullptr, "org.freedesktop.portal.Request", "Response", expected.c_str(), nullptr,
            G_DBUS_SIGNAL_FLAGS_NONE, onResponse, &call, nullptr);
        GCancellable* cancellable = g_cancellable_new();
        g_dbus_connection_call(connection, kPortalName, kPortalPath, "org.freedesktop.portal.FileChooser",
                               request.mode == FileDialogMode::kSave ? "SaveFile" : "OpenFile",
                               buildParameters(request, token), G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE,
                               kCallTimeoutMs, cancellable, onCallDone, &call);
        guint otherSubscription = 0;
        bool quit = false;
        while (true) {
            while (g_main_context_iteration(context, FALSE)) {
            }
            if (call.callDone && !call.callFailed && call.handle != expected && !otherSubscription) {
                // Older portals choose the handle themselves.
                otherSubscription = g_dbus_connection_signal_subscribe(
                    connection, nullptr, "org.freedesktop.portal.Request", "Response", call.handle.c_str(), nullptr,
                    G_DBUS_SIGNAL_FLAGS_NONE, onResponse, &call, nullptr);
            }
            if (call.responded || (call.callDone && call.callFailed))
                break;
            if (!wait(kWaitSliceMs)) {
                quit = true;
                break;
            }
        }
        if (quit) {
            // The portal may be showing the dialog already: give its reply a
            // moment, so the request can be closed, then stop waiting.
            for (int i = 0; i < kQuitReplyWaitMs / 5 && !call.callDone; ++i) {
                while (g_main_context_iteration(context, FALSE)) {
                }
                if (!call.callDone)
                    g_usleep(5000);
            }
            g_cancellable_cancel(cancellable);
            while (!call.callDone)
                g_main_context_iteration(context, TRUE);
            if (!call.callFailed && !call.handle.empty()) {
                GVariant* closed = g_dbus_connection_call_sync(connection, kPortalName, call.handle.c_str(),
                                                               "org.freedesktop.portal.Request", "Close", nullptr,
                                                               nullptr, G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr);
                if (closed)
                    g_variant_unref(closed);
            }
        }
        g_dbus_connection_signal_unsubscribe(connection, subscription);
        if (otherSubscription)
            g_dbus_connection_signal_unsubscribe(connection, otherSubscription);
        g_object_unref(cancellable);

        FileDialogResult result;
        if (quit) {
            result.status = FileDialogStatus::kQuit;
            return result;
        }
        if (call.callFailed) {
            result.status = FileDialogStatus::kUnavailable;
            result.error = "desktop portal: " + call.callError;
            return result;
        }
        if (call.response != 0) {
            result.status = FileDialogStatus::kCancelled;
            return result;
        }
        gchar* path = g_filename_from_uri(call.uri.c_str(), nullptr, nullptr);
        if (!path || path[0] != '/') {
            result.status = FileDialogStatus::kFailed;
            result.error = "the file dialog chose something that is not a local file: " + call.uri;
            g_free(path);
            return result;
        }
        result.status = FileDialogStatus::kChosen;
        result.path = path;
        result.overwriteConfirmed = request.mode == FileDialogMode::kSave;
        g_free(path);
        return result;
    }
};

}  // namespace

std::unique_ptr<IFileDialog> createPortalFileDialog() { return std::make_unique<PortalFileDialog>(); }

std::string documentsFolder() {
    const char* documents = g_get_user_special_dir(G_USER_DIRECTORY_DOCUMENTS);
    if (documents && *documents)
        return documents;
    const char* home = g_get_home_dir();
    return home ? home : "/";
}

}  // namespace qv
