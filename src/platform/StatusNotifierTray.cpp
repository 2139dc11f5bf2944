// The tray icon as a StatusNotifierItem on the session bus, through GDBus.
//
// Sections:
//   1. bus interfaces (introspection) and the menu model
//   2. the tray object and its thread
//   3. start-up: connect, export, claim a name, register with the watcher
//   4. the item's and the menu's methods and properties
//
// Threads: add() and remove() run on the caller's thread (the GUI thread).
// Everything that touches the bus runs on the tray's own thread, which owns
// a private GMainContext and a private connection to the bus (never GLib's
// shared session connection), so nothing of it is left behind after remove().
// What crosses between the two threads: the callbacks, icons and texts are
// written before the thread starts and only read afterwards; the start-up
// result travels through a promise; the stop request is an atomic followed
// by a wake-up of the context; the last error text sits under a mutex.

#include "platform/Tray.h"

#include "platform/ThreadSanitizerSuppressions.h"

#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cassert>
#include <cstdlib>
#include <future>
#include <mutex>
#include <string>
#include <thread>


namespace qv {

namespace {

// --- 1. bus interfaces and the menu model ------------------------------------

constexpr int kStartTimeoutMs = 5000;  // whole start-up, connection included
constexpr int kCallTimeoutMs = 3000;   // each call to the bus or the watcher

constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kMenuPath = "/MenuBar";
constexpr const char* kTitle = "Quor Vane";
constexpr const char* kItemId = "quorvane";

constexpr const char* kItemXml =
    "<node><interface name='org.kde.StatusNotifierItem'>"
    "<property name='Category' type='s' access='read'/>"
    "<property name='Id' type='s' access='read'/>"
    "<property name='Title' type='s' access='read'/>"
    "<property name='Status' type='s' access='read'/>"
    "<property name='WindowId' type='i' access='read'/>"
    "<property name='IconThemePath' type='s' access='read'/>"
    "<property name='IconName' type='s' access='read'/>"
    "<property name='IconPixmap' type='a(iiay)' access='read'/>"
    "<property name='OverlayIconName' type='s' access='read'/>"
    "<property name='OverlayIconPixmap' type='a(iiay)' access='read'/>"
    "<property name='AttentionIconName' type='s' access='read'/>"
    "<property name='AttentionIconPixmap' type='a(iiay)' access='read'/>"
    "<property name='AttentionMovieName' type='s' access='read'/>"
    "<property name='ToolTip' type='(sa(iiay)ss)' access='read'/>"
    "<property name='ItemIsMenu' type='b' access='read'/>"
    "<property name='Menu' type='o' access='read'/>"
    "<method name='ContextMenu'><arg name='x' type='i' direction='in'/><arg name='y' type='i' direction='in'/></method>"
    "<method name='Activate'><arg name='x' type='i' direction='in'/><arg name='y' type='i' direction='in'/></method>"
    "<method name='SecondaryActivate'><arg name='x' type='i' direction='in'/>"
    "<arg name='y' type='i' direction='in'/></method>"
    "<method name='Scroll'><arg name='delta' type='i' direction='in'/>"
    "<arg name='orientation' type='s' direction='in'/></method>"
    "<signal name='NewTitle'/><signal name='NewIcon'/><signal name='NewAttentionIcon'/>"
    "<signal name='NewOverlayIcon'/><signal name='NewToolTip'/>"
    "<signal name='NewStatus'><arg name='status' type='s'/></signal>"
    "</interface></node>";

constexpr const char* kMenuXml =
    "<node><interface name='com.canonical.dbusmenu'>"
    "<property name='Version' type='u' access='read'/>"
    "<property name='TextDirection' type='s' access='read'/>"
    "<property name='Status' type='s' access='read'/>"
    "<property name='IconThemePath' type='as' access='read'/>"
    "<method name='GetLayout'><arg type='i' name='parentId' direction='in'/>"
    "<arg type='i' name='recursionDepth' direction='in'/><arg type='as' name='propertyNames' direction='in'/>"
    "<arg type='u' name='revision' direction='out'/><arg type='(ia{sv}av)' name='layout' direction='out'/></method>"
    "<method name='GetGroupProperties'><arg type='ai' name='ids' direction='in'/>"
    "<arg type='as' name='propertyNames' direction='in'/>"
    "<arg type='a(ia{sv})' name='properties' direction='out'/></method>"
    "<method name='GetProperty'><arg type='i' name='id' direction='in'/><arg type='s' name='name' direction='in'/>"
    "<arg type='v' name='value' direction='out'/></method>"
    "<method name='Event'><arg type='i' name='id' direction='in'/><arg type='s' name='eventId' direction='in'/>"
    "<arg type='v' name='data' direction='in'/><arg type='u' name='timestamp' direction='in'/></method>"
    "<method name='EventGroup'><arg type='a(isvu)' name='events' direction='in'/>"
    "<arg type='ai' name='idErrors' direction='out'/></method>"
    "<method name='AboutToShow'><arg type='i' name='id' direction='in'/>"
    "<arg type='b' name='needUpdate' direction='out'/></method>"
    "<method name='AboutToShowGroup'><arg type='ai' name='ids' direction='in'/>"
    "<arg type='ai' name='updatesNeeded' direction='out'/><arg type='ai' name='idErrors' direction='out'/></method>"
    "<signal name='ItemsPropertiesUpdated'><arg type='a(ia{sv})' name='updatedProps'/>"
    "<arg type='a(ias)' name='removedProps'/></signal>"
    "<signal name='LayoutUpdated'><arg type='u' name='revision'/><arg type='i' name='parent'/></signal>"
    "<signal name='ItemActivationRequested'><arg type='i' name='id'/><arg type='u' name='timestamp'/></signal>"
    "</interface></node>";

// The menu: the root (id 0) holds "Restore", a separator and "Exit". The
// layout never changes, so its revision stays 1.
enum MenuId : int { kMenuRoot = 0, kMenuRestore = 1, kMenuExit = 2, kMenuSeparator = 3 };
constexpr int kMenuChildren[] = {kMenuRestore, kMenuSeparator, kMenuExit};
constexpr guint32 kMenuRevision = 1;

bool isMenuId(int id) { return id >= kMenuRoot && id <= kMenuSeparator; }

// Whether the property is wanted: an empty list asks for all of them.
bool wanted(const char* const* names, const char* name) {
    if (!names || !names[0])
        return true;
    for (; *names; ++names) {
        if (g_strcmp0(*names, name) == 0)
            return true;
    }
    return false;
}

// The properties of one menu entry as a{sv}, only those named (all when the
// list is empty).
GVariant* menuProperties(int id, const char* const* names) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
    const auto add = [&](const char* name, GVariant* value) {
        if (wanted(names, name))
            g_variant_builder_add(&builder, "{sv}", name, value);
        else
            g_variant_unref(g_variant_ref_sink(value));
    };
    if (id == kMenuRoot) {
        add("children-display", g_variant_new_string("submenu"));
    } else if (id == kMenuSeparator) {
        add("type", g_variant_new_string("separator"));
        add("visible", g_variant_new_boolean(TRUE));
    } else {
        add("label", g_variant_new_string(id == kMenuRestore ? "Restore" : "Exit"));
        add("enabled", g_variant_new_boolean(TRUE));
        add("visible", g_variant_new_boolean(TRUE));
    }
    return g_variant_builder_end(&builder);
}

// One layout node (ia{sv}av); the root lists its entries unless the depth is 0.
GVariant* menuLayout(int id, int depth, const char* const* names) {
    GVariantBuilder children;
    g_variant_builder_init(&children, G_VARIANT_TYPE("av"));
    if (id == kMenuRoot && depth != 0) {
        for (int child : kMenuChildren)
            g_variant_builder_add(&children, "v", menuLayout(child, depth - 1, names));
    }
    return g_variant_new("(i@a{sv}av)", id, menuProperties(id, names), &children);
}

// A session bus address, or "" when there is no session bus to talk to.
std::string sessionBusAddress() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && address[0])
        return address;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !runtime[0])
        return {};
    const std::string socket = std::string(runtime) + "/bus";
    struct stat info {};
    if (::stat(socket.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode))
        return {};
    gchar* escaped = g_dbus_address_escape_value(socket.c_str());
    std::string result = std::string("unix:path=") + escaped;
    g_free(escaped);
    return result;
}

// The message of a D-Bus error without the remote error's name.
std::string errorText(GError* error) {
    if (!error)
        return "unknown error";
    g_dbus_error_strip_remote_error(error);
    return error->message ? error->message : "unknown error";
}

// What a failed RegisterStatusNotifierItem means for the user.
std::string registrationErrorText(GError* error) {
    if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER))
        return "no tray host is running (no StatusNotifierWatcher on the session bus)";
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_TIMEOUT))
        return "no tray host is running (the StatusNotifierWatcher did not answer)";
    return "the tray host refused the icon: " + errorText(error);
}

// --- 2. the tray object and its thread ---------------------------------------

class StatusNotifierTray final : public ITray {
public:
    StatusNotifierTray() = default;
    ~StatusNotifierTray() override { remove(); }
    StatusNotifierTray(const StatusNotifierTray&) = delete;
    StatusNotifierTray& operator=(const StatusNotifierTray&) = delete;

    bool add(const TrayCallbacks& callbacks, std::vector<TrayIconImage> icons, const std::string& tooltip) override;
    void remove() override;
    bool isAdded() const override { return m_added.load(std::memory_order_acquire); }
    std::string lastError() const override {
        std::lock_guard<std::mutex> lock(m_errorMutex);
        return m_lastError;
    }

private:
    // An icon as the item hands it out: big-endian ARGB bytes.
    struct IconBytes {
        int size = 0;
        std::vector<uint8_t> bytes;
    };
    enum class Phase { Starting, Running, Failed };

    void run();
    void setLastError(std::string text);
    void failStart(std::string text);
    void finishStart();
    bool exportObjects(std::string* error);
    void requestName();
    void registerWithWatcher();
    bool isStopping() const { return m_stopRequested.load(std::memory_order_acquire); }

    static void onConnected(GObject* source, GAsyncResult* result, gpointer self);
    static void onNameRequested(GObject* source, GAsyncResult* result, gpointer self);
    static void onRegistered(GObject* source, GAsyncResult* result, gpointer self);
    static gboolean onStartTimeout(gpointer self);
    static void onWatcherOwnerChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                                      GVariant* parameters, gpointer self);
    static void onItemMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                             GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self);
    static GVariant* onItemProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                    const gchar* property, GError** error, gpointer self);
    static void onMenuMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                             GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self);
    static GVariant* onMenuProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                    const gchar* property, GError** error, gpointer self);

    GVariant* iconPixmaps() const;
    // Handles a menu event; false when the id names no entry.
    bool menuEvent(int id, const char* eventId);

    // Written by add() before the thread starts, read-only while it runs.
    TrayCallbacks m_callbacks;
    std::vector<IconBytes> m_icons;
    std::string m_tooltip;
    std::string m_address;
    std::string m_busName;
    GMainContext* m_context = nullptr;
    std::promise<bool> m_started;

    std::thread m_thread;
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_added{false};
    mutable std::mutex m_errorMutex;
    std::string m_lastError;

    // Tray thread only.
    Phase m_phase = Phase::Starting;
    int m_pending = 0;  // asynchronous operations whose callbacks are still to come
    GCancellable* m_cancellable = nullptr;
    GSource* m_startTimeout = nullptr;
    GDBusConnection* m_connection = nullptr;
    GDBusNodeInfo* m_itemInfo = nullptr;
    GDBusNodeInfo* m_menuInfo = nullptr;
    guint m_itemRegistration = 0;
    guint m_menuRegistration = 0;
    guint m_watcherSubscription = 0;
};

std::atomic<int> gTrayCount{0};  // numbers the bus names of the trays of this process

bool StatusNotifierTray::add(const TrayCallbacks& callbacks, std::vector<TrayIconImage> icons,
                             const std::string& tooltip) {
    if (m_added.load(std::memory_order_acquire))
        return true;
    remove();  // a thread left from a failed start

    m_callbacks = callbacks;
    m_tooltip = tooltip;
    m_icons.clear();
    for (const TrayIconImage& icon : icons) {
        if (icon.size < 1 || icon.size > 256 || icon.argb.size() != static_cast<size_t>(icon.size) * icon.size)
            continue;
        IconBytes converted;
        converted.size = icon.size;
        converted.bytes.reserve(icon.argb.size() * 4);
        for (uint32_t pixel : icon.argb) {
            converted.bytes.push_back(static_cast<uint8_t>(pixel >> 24));
            converted.bytes.push_back(static_cast<uint8_t>(pixel >> 16));
            converted.bytes.push_back(static_cast<uint8_t>(pixel >> 8));
            converted.bytes.push_back(static_cast<uint8_t>(pixel));
        }
        m_icons.push_back(std::move(converted));
    }
    m_address = sessionBusAddress();
    m_busName = "org.kde.StatusNotifierItem-" + std::to_string(::getpid()) + "-" +
                std::to_string(gTrayCount.fetch_add(1) + 1);

    m_stopRequested.store(false, std::memory_order_release);
    m_started = std::promise<bool>();
    std::future<bool> started = m_started.get_future();
    m_context = g_main_context_new();
    m_thread = std::thread(&StatusNotifierTray::run, this);
    // The thread always answers: its start-up is bounded by kStartTimeoutMs.
    if (!started.get()) {
        remove();
        return false;
    }
    m_added.store(true, std::memory_order_release);
    return true;
}

void StatusNotifierTray::remove() {
    assert(std::this_thread::get_id() != m_thread.get_id() &&
           "ITray::remove from a tray callback would wait for itself: post a message to the window instead");
    if (m_thread.joinable()) {
        m_stopRequested.store(true, std::memory_order_release);
        g_main_context_wakeup(m_context);
        m_thread.join();
    }
    if (m_context) {
        g_main_context_unref(m_context);
        m_context = nullptr;
    }
    m_added.store(false, std::memory_order_release);
}

void StatusNotifierTray::setLastError(std::string text) {
    std::lock_guard<std::mutex> lock(m_errorMutex);
    m_lastError = std::move(text);
}

void StatusNotifierTray::failStart(std::string text) {
    if (m_phase != Phase::Starting)
        return;
    setLastError(std::move(text));
    m_phase = Phase::Failed;
    m_started.set_value(false);
}

void StatusNotifierTray::finishStart() {
    if (m_phase != Phase::Starting)
        return;
    m_phase = Phase::Running;
    setLastError({});
    g_source_destroy(m_startTimeout);
    m_started.set_value(true);
}

void StatusNotifierTray::run() {
    g_main_context_push_thread_default(m_context);
    m_phase = Phase::Starting;
    m_pending = 0;
    m_cancellable = g_cancellable_new();
    m_startTimeout = g_timeout_source_new(kStartTimeoutMs);
    g_source_set_callback(m_startTimeout, &StatusNotifierTray::onStartTimeout, this, nullptr);
    g_source_attach(m_startTimeout, m_context);

    if (m_address.empty()) {
        failStart("no tray host is running (no session bus: DBUS_SESSION_BUS_ADDRESS is not set)");
    } else {
        ++m_pending;
        g_dbus_connection_new_for_address(
            m_address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, m_cancellable, &StatusNotifierTray::onConnected, this);
    }

    // Serve until remove() or a failed start; then let every outstanding
    // callback come back (cancelled) before anything is freed.
    for (;;) {
        if (isStopping() || m_phase == Phase::Failed) {
            g_cancellable_cancel(m_cancellable);
            if (m_pending == 0)
                break;
        }
        g_main_context_iteration(m_context, TRUE);
    }
    if (m_phase == Phase::Starting)
        failStart("the tray was removed while it started");

    g_source_destroy(m_startTimeout);
    g_source_unref(m_startTimeout);
    m_startTimeout = nullptr;
    if (m_connection) {
        if (m_watcherSubscription)
            g_dbus_connection_signal_unsubscribe(m_connection, m_watcherSubscription);
        if (m_itemRegistration)
            g_dbus_connection_unregister_object(m_connection, m_itemRegistration);
        if (m_menuRegistration)
            g_dbus_connection_unregister_object(m_connection, m_menuRegistration);
        // Replies already queued (say, to the click on "Exit") still go out;
        // closing the connection drops the bus name, which tells the watcher
        // that the item is gone.
        g_dbus_connection_flush_sync(m_connection, nullptr, nullptr);
        g_dbus_connection_close_sync(m_connection, nullptr, nullptr);
        g_object_unref(m_connection);
        m_connection = nullptr;
    }
    m_watcherSubscription = m_itemRegistration = m_menuRegistration = 0;
    // Calls that were queued for the objects before they went away.
    while (g_main_context_iteration(m_context, FALSE)) {
    }
    if (m_itemInfo)
        g_dbus_node_info_unref(m_itemInfo);
    if (m_menuInfo)
        g_dbus_node_info_unref(m_menuInfo);
    m_itemInfo = m_menuInfo = nullptr;
    g_object_unref(m_cancellable);
    m_cancellable = nullptr;
    g_main_context_pop_thread_default(m_context);
}

// --- 3. start-up ---------------------------------------------------------------

gboolean StatusNotifierTray::onStartTimeout(gpointer data) {
    auto* self = static_cast<StatusNotifierTray*>(data);
    self->failStart("no tray host is running (the session bus did not answer within " +
                    std::to_string(kStartTimeoutMs / 1000) + " s)");
    return G_SOURCE_REMOVE;
}

void StatusNotifierTray::onConnected(GObject*, GAsyncResult* result, gpointer data) {
    auto* self = static_cast<StatusNotifierTray*>(data);
    --self->m_pending;
    GError* error = nullptr;
    GDBusConnection* connection = g_dbus_connection_new_for_address_finish(result, &error);
    if (!connection) {
        self->failStart("no tray host is running (cannot connect to the session bus: " + errorText(error) + ")");
        g_error_free(error);
        return;
    }
    self->m_connection = connection;
    g_dbus_connection_set_exit_on_close(connection, FALSE);
    if (self->m_phase != Phase::Starting || self->isStopping())
        return;
    std::string exportError;
    if (!self->exportObjects(&exportError)) {
        self->failStart("could not export the tray icon on the session bus: " + exportError);
        return;
    }
    self->requestName();
}

bool StatusNotifierTray::exportObjects(std::string* message) {
    GError* error = nullptr;
    m_itemInfo = g_dbus_node_info_new_for_xml(kItemXml, &error);
    if (m_itemInfo)
        m_menuInfo = g_dbus_node_info_new_for_xml(kMenuXml, &error);
    if (!m_itemInfo || !m_menuInfo) {
        *message = errorText(error);
        g_error_free(error);
        return false;
    }
    static const GDBusInterfaceVTable itemTable = {&StatusNotifierTray::onItemMethod,
                                                   &StatusNotifierTray::onItemProperty, nullptr, {}};
    static const GDBusInterfaceVTable menuTable = {&StatusNotifierTray::onMenuMethod,
                                                   &StatusNotifierTray::onMenuProperty, nullptr, {}};
    m_itemRegistration = g_dbus_connection_register_object(m_connection, kItemPath, m_itemInfo->interfaces[0],
                                                           &itemTable, this, nullptr, &error);
    if (m_itemRegistration)
        m_menuRegistration = g_dbus_connection_register_object(m_connection, kMenuPath, m_menuInfo->interfaces[0],
                                                               &menuTable, this, nullptr, &error);
    if (!m_itemRegistration || !m_menuRegistration) {
        *message = errorText(error);
        g_error_free(error);
        return false;
    }
    return true;
}

void StatusNotifierTray::requestName() {
    constexpr guint32 kDoNotQueue = 4;
    ++m_pending;
    g_dbus_connection_call(m_connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "RequestName", g_variant_new("(su)", m_busName.c_str(), kDoNotQueue),
                           G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, m_cancellable,
                           &StatusNotifierTray::onNameRequested, this);
}

void StatusNotifierTray::onNameRequested(GObject* source, GAsyncResult* result, gpointer data) {
    auto* self = static_cast<StatusNotifierTray*>(data);
    --self->m_pending;
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (!reply) {
        self->failStart("could not claim the bus name " + self->m_busName + ": " + errorText(error));
        g_error_free(error);
        return;
    }
    guint32 answer = 0;
    g_variant_get(reply, "(u)", &answer);
    g_variant_unref(reply);
    constexpr guint32 kPrimaryOwner = 1;
    if (answer != kPrimaryOwner) {
        self->failStart("could not claim the bus name " + self->m_busName + ": it is taken");
        return;
    }
    if (self->m_phase != Phase::Starting || self->isStopping())
        return;
    self->registerWithWatcher();
}

void StatusNotifierTray::registerWithWatcher() {
    ++m_pending;
    g_dbus_connection_call(m_connection, kWatcherName, kWatcherPath, kWatcherName, "RegisterStatusNotifierItem",
                           g_variant_new("(s)", m_busName.c_str()), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START,
                           kCallTimeoutMs, m_cancellable, &StatusNotifierTray::onRegistered, this);
}

void StatusNotifierTray::onRegistered(GObject* source, GAsyncResult* result, gpointer data) {
    auto* self = static_cast<StatusNotifierTray*>(data);
    --self->m_pending;
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (!reply) {
        std::string text = registrationErrorText(error);
        const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
        g_error_free(error);
        if (self->m_phase == Phase::Starting)
            self->failStart(std::move(text));
        else if (!cancelled)
            self->setLastError(std::move(text));
        return;
    }
    g_variant_unref(reply);
    if (self->m_phase == Phase::Starting) {
        // A watcher that starts later (a desktop shell restarting) gets the
        // item again.
        self->m_watcherSubscription = g_dbus_connection_signal_subscribe(
            self->m_connection, "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
            "/org/freedesktop/DBus", kWatcherName, G_DBUS_SIGNAL_FLAGS_NONE, &StatusNotifierTray::onWatcherOwnerChanged,
            self, nullptr);
        self->finishStart();
    }
}

void StatusNotifierTray::onWatcherOwnerChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                               const gchar*, GVariant* parameters, gpointer data) {
    auto* self = static_cast<StatusNotifierTray*>(data);
    const gchar* name = nullptr;
    const gchar* oldOwner = nullptr;
    const gchar* newOwner = nullptr;
    g_variant_get(parameters, "(&s&s&s)", &name, &oldOwner, &newOwner);
    if (self->m_phase == Phase::Running && !self->isStopping() && newOwner && newOwner[0])
        self->registerWithWatcher();
}

// --- 4. methods and properties -------------------------------------------------

void StatusNotifierTray::onItemMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                      const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                                      gpointer data) {
    auto* self = static_cast<StatusNotifierTray*>(data);
    const TrayCallbacks& callbacks = self->m_callbacks;
    const bool live = !self->isStopping();
    if (g_strcmp0(method, "Activate") == 0) {
        if (live && callbacks.activate)
            callbacks.activate();
    } else if (g_strcmp0(method, "ContextMenu") == 0) {
        gint32 x = 0;
        gint32 y = 0;
        g_variant_get(parameters, "(ii)", &x, &y);
        if (live && callbacks.contextMenu)
            callbacks.contextMenu(x, y);
    }
    // SecondaryActivate (middle click) and Scroll do nothing here.
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant* StatusNotifierTray::iconPixmaps() const {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a(iiay)"));
    for (const IconBytes& icon : m_icons) {
        GVariant* bytes =
            g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, icon.bytes.data(), icon.bytes.size(), sizeof(uint8_t));
        g_variant_builder_add(&builder, "(ii@ay)", icon.size, icon.size, bytes);
    }
    return g_variant_builder_end(&builder);
}

GVariant* StatusNotifierTray::onItemProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                             const gchar* property, GError** error, gpointer data) {
    auto* self = static_cast<StatusNotifierTray*>(data);
    const std::string name = property ? property : "";
    if (name == "Category")
        return g_variant_new_string("ApplicationStatus");
    if (name == "Id")
        return g_variant_new_string(kItemId);
    if (name == "Title")
        return g_variant_new_string(kTitle);
    if (name == "Status")
        return g_variant_new_string("Active");
    if (name == "WindowId")
        return g_variant_new_int32(0);
    if (name == "IconThemePath" || name == "IconName" || name == "OverlayIconName" || name == "AttentionIconName" ||
        name == "AttentionMovieName")
        return g_variant_new_string("");
    if (name == "IconPixmap")
        return self->iconPixmaps();
    if (name == "OverlayIconPixmap" || name == "AttentionIconPixmap")
        return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0);
    if (name == "ToolTip") {
        GVariant* noIcons = g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0);
        return g_variant_new("(s@a(iiay)ss)", "", noIcons, self->m_tooltip.c_str(), "");
    }
    if (name == "ItemIsMenu")
        return g_variant_new_boolean(FALSE);
    if (name == "Menu")
        return g_variant_new_object_path(kMenuPath);
    g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s", property);
    return nullptr;
}

bool StatusNotifierTray::menuEvent(int id, const char* eventId) {
    if (!isMenuId(id))
        return false;
    if (g_strcmp0(eventId, "clicked") != 0 || isStopping())
        return true;
    if (id == kMenuRestore && m_callbacks.restore)
        m_callbacks.restore();
    else if (id == kMenuExit && m_callbacks.exit)
        m_callbacks.exit();
    return true;
}

void StatusNotifierTray::onMenuMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                      const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                                      gpointer data) {
    auto* self = static_cast<StatusNotifierTray*>(data);
    const std::string name = method ? method : "";
    if (name == "GetLayout") {
        gint32 parent = 0;
        gint32 depth = 0;
        const gchar** names = nullptr;
        g_variant_get(parameters, "(ii^a&s)", &parent, &depth, &names);
        if (!isMenuId(parent)) {
            g_free(names);
            g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                                  "no menu entry with id %d", parent);
            return;
        }
        GVariant* layout = menuLayout(parent, depth, names);
        g_free(names);
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(u@(ia{sv}av))", kMenuRevision, layout));
    } else if (name == "GetGroupProperties") {
        GVariant* ids = nullptr;
        const gchar** names = nullptr;
        g_variant_get(parameters, "(@ai^a&s)", &ids, &names);
        GVariantBuilder builder;
        g_variant_builder_init(&builder, G_VARIANT_TYPE("a(ia{sv})"));
        gsize count = 0;
        const gint32* list = static_cast<const gint32*>(g_variant_get_fixed_array(ids, &count, sizeof(gint32)));
        if (count == 0) {
            for (int id = kMenuRoot; id <= kMenuSeparator; ++id)
                g_variant_builder_add(&builder, "(i@a{sv})", id, menuProperties(id, names));
        }
        for (gsize i = 0; i < count; ++i) {
            if (isMenuId(list[i]))
                g_variant_builder_add(&builder, "(i@a{sv})", list[i], menuProperties(list[i], names));
        }
        g_variant_unref(ids);
        g_free(names);
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(@a(ia{sv}))", g_variant_builder_end(&builder)));
    } else if (name == "GetProperty") {
        gint32 id = 0;
        const gchar* property = nullptr;
        g_variant_get(parameters, "(i&s)", &id, &property);
        GVariant* value = nullptr;
        if (isMenuId(id)) {
            const gchar* one[] = {property, nullptr};
            GVariant* properties = menuProperties(id, one);
            value = g_variant_lookup_value(properties, property, nullptr);
            g_variant_unref(g_variant_ref_sink(properties));
        }
        if (!value) {
            g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                                  "menu entry %d has no property %s", id, property);
            return;
        }
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(v)", value));
        g_variant_unref(value);
    } else if (name == "Event") {
        gint32 id = 0;
        const gchar* eventId = nullptr;
        GVariant* eventData = nullptr;
        guint32 timestamp = 0;
        g_variant_get(parameters, "(i&svu)", &id, &eventId, &eventData, &timestamp);
        g_variant_unref(eventData);
        if (!self->menuEvent(id, eventId)) {
            g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                                  "no menu entry with id %d", id);
            return;
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
    } else if (name == "EventGroup") {
        GVariantIter* events = nullptr;
        g_variant_get(parameters, "(a(isvu))", &events);
        GVariantBuilder errors;
        g_variant_builder_init(&errors, G_VARIANT_TYPE("ai"));
        gint32 id = 0;
        const gchar* eventId = nullptr;
        GVariant* eventData = nullptr;
        guint32 timestamp = 0;
        while (g_variant_iter_loop(events, "(i&svu)", &id, &eventId, &eventData, &timestamp)) {
            if (!self->menuEvent(id, eventId))
                g_variant_builder_add(&errors, "i", id);
        }
        g_variant_iter_free(events);
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(@ai)", g_variant_builder_end(&errors)));
    } else if (name == "AboutToShow") {
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", FALSE));
    } else if (name == "AboutToShowGroup") {
        GVariant* ids = nullptr;
        g_variant_get(parameters, "(@ai)", &ids);
        GVariantBuilder errors;
        g_variant_builder_init(&errors, G_VARIANT_TYPE("ai"));
        gsize count = 0;
        const gint32* list = static_cast<const gint32*>(g_variant_get_fixed_array(ids, &count, sizeof(gint32)));
        for (gsize i = 0; i < count; ++i) {
            if (!isMenuId(list[i]))
                g_variant_builder_add(&errors, "i", list[i]);
        }
        g_variant_unref(ids);
        GVariant* none = g_variant_new_array(G_VARIANT_TYPE_INT32, nullptr, 0);
        g_dbus_method_invocation_return_value(invocation,
                                              g_variant_new("(@ai@ai)", none, g_variant_builder_end(&errors)));
    } else {
        g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD,
                                              "no method %s", method);
    }
}

GVariant* StatusNotifierTray::onMenuProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                             const gchar* property, GError** error, gpointer) {
    const std::string name = property ? property : "";
    if (name == "Version")
        return g_variant_new_uint32(3);
    if (name == "TextDirection")
        return g_variant_new_string("ltr");
    if (name == "Status")
        return g_variant_new_string("normal");
    if (name == "IconThemePath")
        return g_variant_new_strv(nullptr, 0);
    g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s", property);
    return nullptr;
}

}  // namespace

std::unique_ptr<ITray> createStatusNotifierTray() { return std::make_unique<StatusNotifierTray>(); }

}  // namespace qv
