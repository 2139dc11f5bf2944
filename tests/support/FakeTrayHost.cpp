#include "support/FakeTrayHost.h"

#include "support/Eventually.h"

#include <gio/gio.h>

#include <atomic>
#include <thread>

namespace qv::test {

namespace {

constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
constexpr int kCallTimeoutMs = 10000;

constexpr const char* kWatcherXml =
    "<node><interface name='org.kde.StatusNotifierWatcher'>"
    "<method name='RegisterStatusNotifierItem'><arg name='service' type='s' direction='in'/></method>"
    "<method name='RegisterStatusNotifierHost'><arg name='service' type='s' direction='in'/></method>"
    "<property name='RegisteredStatusNotifierItems' type='as' access='read'/>"
    "<property name='IsStatusNotifierHostRegistered' type='b' access='read'/>"
    "<property name='ProtocolVersion' type='i' access='read'/>"
    "<signal name='StatusNotifierItemRegistered'><arg type='s'/></signal>"
    "<signal name='StatusNotifierItemUnregistered'><arg type='s'/></signal>"
    "<signal name='StatusNotifierHostRegistered'/>"
    "</interface></node>";

GDBusConnection* connectTo(const std::string& address, std::string* error) {
    GError* failure = nullptr;
    GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &failure);
    if (!connection) {
        *error = failure->message;
        g_error_free(failure);
        return nullptr;
    }
    g_dbus_connection_set_exit_on_close(connection, FALSE);
    return connection;
}

void closeConnection(GDBusConnection*& connection) {
    if (!connection)
        return;
    g_dbus_connection_close_sync(connection, nullptr, nullptr);
    g_object_unref(connection);
    connection = nullptr;
}

}  // namespace

struct FakeTrayHost::Impl {
    std::string address;
    mutable std::mutex mutex;
    std::vector<std::string> registrations;  // under mutex
    std::string error;                       // under mutex

    // The watcher: its connection, object and thread.
    GMainContext* context = nullptr;
    GDBusConnection* watcherConnection = nullptr;
    GDBusNodeInfo* info = nullptr;
    guint registration = 0;
    std::thread thread;
    std::atomic<bool> stop{false};

    // The host's connection (caller's thread).
    GDBusConnection* hostConnection = nullptr;

    void setError(std::string text) {
        std::lock_guard<std::mutex> lock(mutex);
        error = std::move(text);
    }

    static void onMethod(GDBusConnection* connection, const gchar* sender, const gchar*, const gchar*,
                         const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
        auto* self = static_cast<Impl*>(data);
        const gchar* service = nullptr;
        g_variant_get(parameters, "(&s)", &service);
        if (g_strcmp0(method, "RegisterStatusNotifierItem") == 0) {
            // An item may name itself by bus name or by object path.
            std::string entry = service;
            if (!entry.empty() && entry[0] == '/')
                entry = std::string(sender) + entry;
            {
                std::lock_guard<std::mutex> lock(self->mutex);
                self->registrations.push_back(entry);
            }
            g_dbus_connection_emit_signal(connection, nullptr, "/StatusNotifierWatcher", kWatcherName,
                                          "StatusNotifierItemRegistered", g_variant_new("(s)", entry.c_str()),
                                          nullptr);
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }

    static GVariant* onProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* property,
                                GError**, gpointer data) {
        auto* self = static_cast<Impl*>(data);
        if (g_strcmp0(property, "RegisteredStatusNotifierItems") == 0) {
            std::lock_guard<std::mutex> lock(self->mutex);
            GVariantBuilder builder;
            g_variant_builder_init(&builder, G_VARIANT_TYPE("as"));
            for (const std::string& item : self->registrations)
                g_variant_builder_add(&builder, "s", item.c_str());
            return g_variant_builder_end(&builder);
        }
        if (g_strcmp0(property, "IsStatusNotifierHostRegistered") == 0)
            return g_variant_new_boolean(TRUE);
        return g_variant_new_int32(0);
    }

    // The bus name and path of the item a host talks to.
    bool target(std::string* name, std::string* path) {
        std::string service;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (registrations.empty()) {
                error = "no item has registered";
                return false;
            }
            service = registrations.back();
        }
        const size_t slash = service.find('/');
        *name = slash == std::string::npos ? service : service.substr(0, slash);
        *path = slash == std::string::npos ? "/StatusNotifierItem" : service.substr(slash);
        return true;
    }

    GVariant* call(const std::string& name, const std::string& path, const char* interface, const char* method,
                   GVariant* parameters, const GVariantType* replyType) {
        if (!hostConnection) {
            std::string failure;
            hostConnection = connectTo(address, &failure);
            if (!hostConnection) {
                if (parameters)
                    g_variant_unref(g_variant_ref_sink(parameters));
                setError("host cannot connect: " + failure);
                return nullptr;
            }
        }
        GError* failure = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(hostConnection, name.c_str(), path.c_str(), interface, method,
                                                      parameters, replyType, G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                                      kCallTimeoutMs, nullptr, &failure);
        if (!reply) {
            setError(std::string(method) + ": " + failure->message);
            g_error_free(failure);
        }
        return reply;
    }

    // An item property (the variant inside Get's reply), or null.
    GVariant* itemProperty(const std::string& property) {
        std::string name;
        std::string path;
        if (!target(&name, &path))
            return nullptr;
        GVariant* reply = call(name, path, "org.freedesktop.DBus.Properties", "Get",
                               g_variant_new("(ss)", "org.kde.StatusNotifierItem", property.c_str()),
                               G_VARIANT_TYPE("(v)"));
        if (!reply)
            return nullptr;
        GVariant* value = nullptr;
        g_variant_get(reply, "(v)", &value);
        g_variant_unref(reply);
        return value;
    }
};

FakeTrayHost::FakeTrayHost(std::string busAddress) : m_impl(std::make_unique<Impl>()) {
    m_impl->address = std::move(busAddress);
}

FakeTrayHost::~FakeTrayHost() {
    stopWatcher();
    closeConnection(m_impl->hostConnection);
}

bool FakeTrayHost::startWatcher() {
    Impl& d = *m_impl;
    if (d.thread.joinable())
        return true;
    std::string failure;
    d.watcherConnection = connectTo(d.address, &failure);
    if (!d.watcherConnection) {
        d.setError("watcher cannot connect: " + failure);
        return false;
    }
    GError* error = nullptr;
    d.info = g_dbus_node_info_new_for_xml(kWatcherXml, &error);
    g_assert_no_error(error);
    static const GDBusInterfaceVTable table = {&Impl::onMethod, &Impl::onProperty, nullptr, {}};
    // Calls to the object are dispatched in the context that is the default
    // while it is registered: the watcher thread's own.
    d.context = g_main_context_new();
    g_main_context_push_thread_default(d.context);
    d.registration = g_dbus_connection_register_object(d.watcherConnection, "/StatusNotifierWatcher",
                                                       d.info->interfaces[0], &table, &d, nullptr, &error);
    g_main_context_pop_thread_default(d.context);
    g_assert_no_error(error);
    GVariant* reply = g_dbus_connection_call_sync(d.watcherConnection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "RequestName",
                                                  g_variant_new("(su)", kWatcherName, 4u), G_VARIANT_TYPE("(u)"),
                                                  G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error);
    guint32 answer = 0;
    if (reply) {
        g_variant_get(reply, "(u)", &answer);
        g_variant_unref(reply);
    } else {
        d.setError(std::string("RequestName: ") + error->message);
        g_error_free(error);
    }
    d.stop.store(false);
    d.thread = std::thread([&d] {
        g_main_context_push_thread_default(d.context);
        while (!d.stop.load())
            g_main_context_iteration(d.context, TRUE);
        g_main_context_pop_thread_default(d.context);
    });
    if (answer != 1) {
        if (reply)
            d.setError("the watcher name is taken");
        stopWatcher();
        return false;
    }
    return true;
}

void FakeTrayHost::stopWatcher() {
    Impl& d = *m_impl;
    if (!d.thread.joinable())
        return;
    d.stop.store(true);
    g_main_context_wakeup(d.context);
    d.thread.join();
    g_dbus_connection_unregister_object(d.watcherConnection, d.registration);
    closeConnection(d.watcherConnection);
    // Whatever the connection queued for the object before it went away.
    while (g_main_context_iteration(d.context, FALSE)) {
    }
    g_dbus_node_info_unref(d.info);
    d.info = nullptr;
    g_main_context_unref(d.context);
    d.context = nullptr;
}

std::vector<std::string> FakeTrayHost::registrations() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->registrations;
}

bool FakeTrayHost::waitForRegistrations(size_t count, int timeoutMs) const {
    return eventually([&] { return registrations().size() >= count; }, timeoutMs);
}

std::string FakeTrayHost::stringProperty(const std::string& name) {
    GVariant* value = m_impl->itemProperty(name);
    if (!value)
        return {};
    std::string text = g_variant_is_of_type(value, G_VARIANT_TYPE_STRING) ? g_variant_get_string(value, nullptr) : "";
    g_variant_unref(value);
    return text;
}

bool FakeTrayHost::boolProperty(const std::string& name) {
    GVariant* value = m_impl->itemProperty(name);
    if (!value)
        return false;
    const bool result = g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
    g_variant_unref(value);
    return result;
}

std::string FakeTrayHost::objectPathProperty(const std::string& name) {
    GVariant* value = m_impl->itemProperty(name);
    if (!value)
        return {};
    std::string path =
        g_variant_is_of_type(value, G_VARIANT_TYPE_OBJECT_PATH) ? g_variant_get_string(value, nullptr) : "";
    g_variant_unref(value);
    return path;
}

std::vector<int> FakeTrayHost::iconSizes() {
    std::vector<int> sizes;
    GVariant* value = m_impl->itemProperty("IconPixmap");
    if (!value)
        return sizes;
    if (g_variant_is_of_type(value, G_VARIANT_TYPE("a(iiay)"))) {
        const gsize count = g_variant_n_children(value);
        for (gsize i = 0; i < count; ++i) {
            GVariant* entry = g_variant_get_child_value(value, i);
            gint32 width = 0;
            gint32 height = 0;
            GVariant* bytes = nullptr;
            g_variant_get(entry, "(ii@ay)", &width, &height, &bytes);
            // A size whose byte count does not match is reported as -1.
            sizes.push_back(g_variant_get_size(bytes) == static_cast<gsize>(width) * height * 4 && width == height
                                ? width
                                : -1);
            g_variant_unref(bytes);
            g_variant_unref(entry);
        }
    }
    g_variant_unref(value);
    return sizes;
}

uint32_t FakeTrayHost::iconPixel(size_t icon, int x, int y) {
    uint32_t pixel = 0;
    GVariant* value = m_impl->itemProperty("IconPixmap");
    if (!value)
        return 0;
    if (g_variant_is_of_type(value, G_VARIANT_TYPE("a(iiay)")) && icon < g_variant_n_children(value)) {
        GVariant* entry = g_variant_get_child_value(value, icon);
        gint32 width = 0;
        gint32 height = 0;
        GVariant* bytes = nullptr;
        g_variant_get(entry, "(ii@ay)", &width, &height, &bytes);
        gsize size = 0;
        const auto* data = static_cast<const uint8_t*>(g_variant_get_fixed_array(bytes, &size, 1));
        const gsize offset = (static_cast<gsize>(y) * width + x) * 4;
        if (x >= 0 && y >= 0 && x < width && y < height && offset + 4 <= size)
            pixel = uint32_t(data[offset]) << 24 | uint32_t(data[offset + 1]) << 16 | uint32_t(data[offset + 2]) << 8 |
                    data[offset + 3];
        g_variant_unref(bytes);
        g_variant_unref(entry);
    }
    g_variant_unref(value);
    return pixel;
}

std::string FakeTrayHost::toolTipTitle() {
    GVariant* value = m_impl->itemProperty("ToolTip");
    if (!value)
        return {};
    std::string title;
    if (g_variant_is_of_type(value, G_VARIANT_TYPE("(sa(iiay)ss)"))) {
        GVariant* field = g_variant_get_child_value(value, 2);
        title = g_variant_get_string(field, nullptr);
        g_variant_unref(field);
    }
    g_variant_unref(value);
    return title;
}

bool FakeTrayHost::callItem(const std::string& method, int x, int y) {
    std::string name;
    std::string path;
    if (!m_impl->target(&name, &path))
        return false;
    GVariant* reply = m_impl->call(name, path, "org.kde.StatusNotifierItem", method.c_str(),
                                   g_variant_new("(ii)", x, y), nullptr);
    if (!reply)
        return false;
    g_variant_unref(reply);
    return true;
}

std::vector<TrayMenuEntry> FakeTrayHost::menuEntries() {
    std::vector<TrayMenuEntry> entries;
    std::string name;
    std::string path;
    if (!m_impl->target(&name, &path))
        return entries;
    const std::string menu = objectPathProperty("Menu");
    if (menu.empty())
        return entries;
    const gchar* allProperties[] = {nullptr};
    GVariant* reply = m_impl->call(name, menu, "com.canonical.dbusmenu", "GetLayout",
                                   g_variant_new("(ii^as)", 0, -1, allProperties), G_VARIANT_TYPE("(u(ia{sv}av))"));
    if (!reply)
        return entries;
    GVariant* root = g_variant_get_child_value(reply, 1);
    GVariant* children = g_variant_get_child_value(root, 2);
    const gsize count = g_variant_n_children(children);
    for (gsize i = 0; i < count; ++i) {
        GVariant* boxed = g_variant_get_child_value(children, i);
        GVariant* node = g_variant_get_variant(boxed);
        TrayMenuEntry entry;
        GVariant* properties = nullptr;
        GVariant* grandchildren = nullptr;
        g_variant_get(node, "(i@a{sv}@av)", &entry.id, &properties, &grandchildren);
        const gchar* text = nullptr;
        if (g_variant_lookup(properties, "label", "&s", &text))
            entry.label = text;
        if (g_variant_lookup(properties, "type", "&s", &text) && g_strcmp0(text, "standard") != 0)
            entry.type = text;
        entries.push_back(entry);
        g_variant_unref(properties);
        g_variant_unref(grandchildren);
        g_variant_unref(node);
        g_variant_unref(boxed);
    }
    g_variant_unref(children);
    g_variant_unref(root);
    g_variant_unref(reply);
    return entries;
}

bool FakeTrayHost::clickMenuEntry(int id) {
    std::string name;
    std::string path;
    if (!m_impl->target(&name, &path))
        return false;
    const std::string menu = objectPathProperty("Menu");
    if (menu.empty())
        return false;
    GVariant* reply = m_impl->call(name, menu, "com.canonical.dbusmenu", "Event",
                                   g_variant_new("(isvu)", id, "clicked", g_variant_new_int32(0), 0u), nullptr);
    if (!reply)
        return false;
    g_variant_unref(reply);
    return true;
}

uint32_t FakeTrayHost::menuVersion() {
    std::string name;
    std::string path;
    if (!m_impl->target(&name, &path))
        return 0;
    const std::string menu = objectPathProperty("Menu");
    GVariant* reply = m_impl->call(name, menu, "org.freedesktop.DBus.Properties", "Get",
                                   g_variant_new("(ss)", "com.canonical.dbusmenu", "Version"), G_VARIANT_TYPE("(v)"));
    if (!reply)
        return 0;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    const uint32_t version = g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32) ? g_variant_get_uint32(value) : 0;
    g_variant_unref(value);
    g_variant_unref(reply);
    return version;
}

bool FakeTrayHost::nameHasOwner(const std::string& name) {
    GVariant* reply = m_impl->call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                   "NameHasOwner", g_variant_new("(s)", name.c_str()), G_VARIANT_TYPE("(b)"));
    if (!reply)
        return false;
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
    return owned;
}

std::string FakeTrayHost::error() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->error;
}

}  // namespace qv::test
