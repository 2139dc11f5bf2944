#include "support/FakePortal.h"

#include <gio/gio.h>

#include <atomic>
#include <thread>

namespace qv::test {

namespace {

constexpr const char* kChooserXml =
    "<node><interface name='org.freedesktop.portal.FileChooser'>"
    "<method name='OpenFile'><arg type='s' direction='in'/><arg type='s' direction='in'/>"
    "<arg type='a{sv}' direction='in'/><arg type='o' direction='out'/></method>"
    "<method name='SaveFile'><arg type='s' direction='in'/><arg type='s' direction='in'/>"
    "<arg type='a{sv}' direction='in'/><arg type='o' direction='out'/></method>"
    "</interface></node>";
constexpr const char* kRequestXml =
    "<node><interface name='org.freedesktop.portal.Request'><method name='Close'/></interface></node>";

}  // namespace

struct FakePortal::Impl {
    std::string address;
    mutable std::mutex mutex;
    std::vector<Call> calls;  // under mutex
    std::string error;        // under mutex
    uint32_t response = 1;    // under mutex
    std::string uri;          // under mutex
    bool never = false;       // under mutex
    int closed = 0;           // under mutex
    std::vector<guint> requestObjects;  // portal thread only

    GMainContext* context = nullptr;
    GDBusConnection* connection = nullptr;
    GDBusNodeInfo* chooserInfo = nullptr;
    GDBusNodeInfo* requestInfo = nullptr;
    guint registration = 0;
    std::thread thread;
    std::atomic<bool> stop{false};

    static void onRequestMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                                GDBusMethodInvocation* invocation, gpointer data) {
        auto* self = static_cast<Impl*>(data);
        {
            std::lock_guard<std::mutex> lock(self->mutex);
            ++self->closed;
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }

    static void onMethod(GDBusConnection* connection, const gchar* sender, const gchar*, const gchar*,
                         const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
        auto* self = static_cast<Impl*>(data);
        const gchar* parent = nullptr;
        const gchar* title = nullptr;
        GVariant* options = nullptr;
        g_variant_get(parameters, "(&s&s@a{sv})", &parent, &title, &options);
        const gchar* token = "t";
        g_variant_lookup(options, "handle_token", "&s", &token);
        std::string senderPart = sender + 1;
        for (char& c : senderPart)
            if (c == '.')
                c = '_';
        const std::string handle = "/org/freedesktop/portal/desktop/request/" + senderPart + "/" + token;
        gchar* printed = g_variant_print(options, FALSE);
        uint32_t response;
        std::string uri;
        bool never;
        {
            std::lock_guard<std::mutex> lock(self->mutex);
            self->calls.push_back({method, parent, title, printed, handle});
            response = self->response;
            uri = self->uri;
            never = self->never;
        }
        g_free(printed);
        g_variant_unref(options);
        if (never) {
            static const GDBusInterfaceVTable table = {&Impl::onRequestMethod, nullptr, nullptr, {}};
            const guint id = g_dbus_connection_register_object(connection, handle.c_str(),
                                                               self->requestInfo->interfaces[0], &table, self,
                                                               nullptr, nullptr);
            if (id)
                self->requestObjects.push_back(id);
        }
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", handle.c_str()));
        if (never)
            return;
        GVariantBuilder results;
        g_variant_builder_init(&results, G_VARIANT_TYPE("a{sv}"));
        if (!uri.empty()) {
            const gchar* uris[] = {uri.c_str(), nullptr};
            g_variant_builder_add(&results, "{sv}", "uris", g_variant_new_strv(uris, -1));
        }
        g_dbus_connection_emit_signal(connection, sender, handle.c_str(), "org.freedesktop.portal.Request",
                                      "Response", g_variant_new("(ua{sv})", response, &results), nullptr);
    }
};

FakePortal::FakePortal(std::string busAddress) : m_impl(std::make_unique<Impl>()) {
    m_impl->address = std::move(busAddress);
}

FakePortal::~FakePortal() {
    Impl& d = *m_impl;
    if (d.thread.joinable()) {
        d.stop.store(true);
        g_main_context_wakeup(d.context);
        d.thread.join();
    }
    if (d.connection) {
        for (guint id : d.requestObjects)
            g_dbus_connection_unregister_object(d.connection, id);
        if (d.registration)
            g_dbus_connection_unregister_object(d.connection, d.registration);
        g_dbus_connection_close_sync(d.connection, nullptr, nullptr);
        g_object_unref(d.connection);
    }
    if (d.context) {
        while (g_main_context_iteration(d.context, FALSE)) {
        }
        g_main_context_unref(d.context);
    }
    if (d.chooserInfo)
        g_dbus_node_info_unref(d.chooserInfo);
    if (d.requestInfo)
        g_dbus_node_info_unref(d.requestInfo);
}

bool FakePortal::start() {
    Impl& d = *m_impl;
    GError* error = nullptr;
    d.context = g_main_context_new();
    g_main_context_push_thread_default(d.context);
    d.connection = g_dbus_connection_new_for_address_sync(
        d.address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (!d.connection) {
        g_main_context_pop_thread_default(d.context);
        std::lock_guard<std::mutex> lock(d.mutex);
        d.error = error->message;
        g_error_free(error);
        return false;
    }
    g_dbus_connection_set_exit_on_close(d.connection, FALSE);
    d.chooserInfo = g_dbus_node_info_new_for_xml(kChooserXml, nullptr);
    d.requestInfo = g_dbus_node_info_new_for_xml(kRequestXml, nullptr);
    static const GDBusInterfaceVTable table = {&Impl::onMethod, nullptr, nullptr, {}};
    d.registration = g_dbus_connection_register_object(d.connection, "/org/freedesktop/portal/desktop",
                                                       d.chooserInfo->interfaces[0], &table, &d, nullptr, &error);
    g_main_context_pop_thread_default(d.context);
    if (!d.registration) {
        std::lock_guard<std::mutex> lock(d.mutex);
        d.error = error->message;
        g_error_free(error);
        return false;
    }
    GVariant* reply = g_dbus_connection_call_sync(d.connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "RequestName",
                                                  g_variant_new("(su)", "org.freedesktop.portal.Desktop", 4u),
                                                  G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 10000, nullptr,
                                                  &error);
    guint32 answer = 0;
    if (reply) {
        g_variant_get(reply, "(u)", &answer);
        g_variant_unref(reply);
    } else {
        std::lock_guard<std::mutex> lock(d.mutex);
        d.error = error->message;
        g_error_free(error);
        return false;
    }
    d.thread = std::thread([&d] {
        g_main_context_push_thread_default(d.context);
        while (!d.stop.load())
            g_main_context_iteration(d.context, TRUE);
        g_main_context_pop_thread_default(d.context);
    });
    return answer == 1;
}

void FakePortal::answer(uint32_t response, std::string uri) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->response = response;
    m_impl->uri = std::move(uri);
    m_impl->never = false;
}

void FakePortal::answerNever() {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->never = true;
}

std::vector<FakePortal::Call> FakePortal::calls() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->calls;
}

int FakePortal::closedRequests() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->closed;
}

std::string FakePortal::error() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->error;
}

}  // namespace qv::test
