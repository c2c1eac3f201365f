// SPDX-License-Identifier: GPL-3.0-or-later
#include "signin/Keyring.h"
#include "signin/SecretStore.h"

#include "base/Text.h"
#include "signin/SignInErrors.h"

#include <libsecret/secret.h>

#include <algorithm>
#include <chrono>
#include <memory>

// libsecret's async calls run on a private main context pushed as the
// thread's default, with a 100 ms tick on it that fires the cancellable
// shortly before the time-out passes, or when the stop hook asks. The sync
// calls would need a second thread for the timer, and an unlock prompt can
// keep a sync call waiting for ever; here the wait is ours.

namespace {

using Clock = std::chrono::steady_clock;

// Time a cancelled call gets to report back before it is abandoned (a
// service that answers neither the call nor its cancellation, a prompt that
// is being taken off the screen). A call is cancelled this long before the
// time-out passes, so that it still ends within it; a short time-out gives
// a quarter of itself.
constexpr auto CancelGrace = std::chrono::milliseconds(1000);

struct GObjectUnref {
    void operator()(gpointer p) const { g_object_unref(p); }
};
template <class T> using GRef = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
    void operator()(GError* e) const { g_error_free(e); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

struct HashUnref {
    void operator()(GHashTable* t) const { g_hash_table_unref(t); }
};

struct SecretValueUnref {
    void operator()(SecretValue* v) const { secret_value_unref(v); }
};

// A list of SecretItem references, released whole.
struct ItemList {
    GList* items = nullptr;
    ItemList() = default;
    explicit ItemList(GList* l) : items(l) {}
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;
    ItemList(ItemList&& o) noexcept : items(o.items) { o.items = nullptr; }
    ItemList& operator=(ItemList&& o) noexcept
    {
        std::swap(items, o.items);
        return *this;
    }
    ~ItemList() { g_list_free_full(items, g_object_unref); }
};

// Items are written with their schema's name (the attribute xdg:schema),
// but found without it: gnome-keyring does not keep that attribute where
// it can match an item of a locked keyring loaded from disk, so a search
// naming it would miss a locked secret and report it missing.
const SecretSchema* schema(bool forSearch = false)
{
    static const SecretSchema written = [] {
        SecretSchema t{};
        t.name = "org.tolmu.Secret";
        t.flags = SECRET_SCHEMA_NONE;
        const char* names[] = {"application", "kind", "host", "port", "user"};
        for (int i = 0; i < 5; ++i) {
            t.attributes[i].name = names[i];
            t.attributes[i].type = i == 3 ? SECRET_SCHEMA_ATTRIBUTE_INTEGER : SECRET_SCHEMA_ATTRIBUTE_STRING;
        }
        return t;
    }();
    static const SecretSchema searched = [] {
        SecretSchema t = written;
        t.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
        return t;
    }();
    return forSearch ? &searched : &written;
}

std::unique_ptr<GHashTable, HashUnref> attributes(const TSecretKey& key)
{
    std::unique_ptr<GHashTable, HashUnref> t(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
    const auto put = [&](const char* name, const std::string& value) {
        g_hash_table_insert(t.get(), g_strdup(name), g_strdup(value.c_str()));
    };
    put("application", "tolmu");
    put("kind", key.Kind == TSecretKind::Password ? "password" : "oauth2-refresh-token");
    put("host", key.Host);
    put("port", std::to_string(key.Port));
    put("user", key.User);
    return t;
}

// The service object our calls go through: libsecret's own, but for the
// step that runs a prompt. libsecret hands a prompt that ended with neither
// a result nor an error (its service left the bus, as gnome-keyring 42 does
// when a cancelled unlock prompt is followed by the next) on as a NULL
// error: a GLib-CRITICAL, and the unlock never reports back, so the wait
// ran past its time-out. Here that end is an error like any other.
struct TolmuSecretService {
    SecretService parent;
};
struct TolmuSecretServiceClass {
    SecretServiceClass parent_class;
};
G_DEFINE_TYPE(TolmuSecretService, tolmu_secret_service, SECRET_TYPE_SERVICE)

void onPromptDone(GObject* source, GAsyncResult* result, gpointer data)
{
    GTask* task = G_TASK(data);
    GError* e = nullptr;
    if (GVariant* answer = secret_prompt_perform_finish(SECRET_PROMPT(source), result, &e))
        g_task_return_pointer(task, answer, reinterpret_cast<GDestroyNotify>(g_variant_unref));
    else if (e)
        g_task_return_error(task, e);
    else
        g_task_return_new_error(task, G_IO_ERROR, G_IO_ERROR_CLOSED,
                                "its prompt ended without an answer (the keyring service went away)");
    g_object_unref(task);
}

void promptAsync(SecretService* self, SecretPrompt* prompt, const GVariantType* returnType, GCancellable* cancel,
                 GAsyncReadyCallback callback, gpointer data)
{
    GTask* task = g_task_new(self, cancel, callback, data);
    secret_prompt_perform(prompt, nullptr, returnType, cancel, &onPromptDone, task);
}

GVariant* promptFinish(SecretService*, GAsyncResult* result, GError** error)
{
    return static_cast<GVariant*>(g_task_propagate_pointer(G_TASK(result), error));
}

void tolmu_secret_service_class_init(TolmuSecretServiceClass* klass)
{
    klass->parent_class.prompt_async = &promptAsync;
    klass->parent_class.prompt_finish = &promptFinish;
}

void tolmu_secret_service_init(TolmuSecretService*) {}

// One asynchronous libsecret call at a time, waited for on the private
// context. The state a callback writes lives on the heap and is shared with
// it, so that an abandoned call may still come back later harmlessly.
class BoundedWait {
public:
    BoundedWait(int timeoutMs, const TStopHook& stop)
        : m_context(g_main_context_new()), m_cancel(g_cancellable_new()), m_stop(stop),
          m_deadline(Clock::now() + std::chrono::milliseconds(timeoutMs)),
          m_grace(std::min<Clock::duration>(CancelGrace, std::chrono::milliseconds(timeoutMs) / 4)),
          m_timeoutMs(timeoutMs)
    {
        g_main_context_push_thread_default(m_context);
        GSource* tick = g_timeout_source_new(100);
        g_source_set_callback(tick, &BoundedWait::onTick, this, nullptr);
        g_source_attach(tick, m_context);
        m_tick = tick;
    }
    ~BoundedWait()
    {
        g_source_destroy(m_tick);
        g_source_unref(m_tick);
        g_main_context_pop_thread_default(m_context);
        g_object_unref(m_cancel);
        g_main_context_unref(m_context);
    }
    BoundedWait(const BoundedWait&) = delete;
    BoundedWait& operator=(const BoundedWait&) = delete;

    GCancellable* cancellable() const { return m_cancel; }

    // What the next call is doing, for the text of a time-out.
    void phase(const char* what) { m_phase = what; }

    // Starts a call through start(callback, data) and waits for it. Returns
    // its result (to hand to the call's _finish), or throws EKeyringError
    // TimedOut / Stopped when the call had to be abandoned.
    GRef<GAsyncResult> run(void (*start)(GAsyncReadyCallback, gpointer, void*), void* arg)
    {
        auto pending = std::make_shared<Pending>();
        auto* forCallback = new std::shared_ptr<Pending>(pending);
        start(&BoundedWait::onDone, forCallback, arg);
        while (!pending->result) {
            if (m_giveUpAt && Clock::now() >= *m_giveUpAt)
                throw interrupted();
            g_main_context_iteration(m_context, TRUE);
        }
        return GRef<GAsyncResult>(pending->result.release());
    }

    // The error a call reported, as the exception to throw. A cancellation is
    // always ours: the time-out or the stop hook.
    EKeyringError error(GError* e, EKeyringError::Kind kind, const std::string& what) const
    {
        if (g_error_matches(e, G_IO_ERROR, G_IO_ERROR_CANCELLED))
            return interrupted();
        if (g_dbus_error_is_remote_error(e))
            g_dbus_error_strip_remote_error(e);
        return EKeyringError(kind, what + ": " + std::string(e->message) + ".");
    }

    EKeyringError interrupted() const
    {
        if (m_stopped)
            return EKeyringError(EKeyringError::Kind::Stopped, "The desktop keyring call was stopped.");
        const std::string secs = std::to_string((m_timeoutMs + 999) / 1000);
        if (m_phase == std::string("unlock"))
            return EKeyringError(EKeyringError::Kind::TimedOut,
                                 "The desktop keyring is locked and was not unlocked within " + secs + " seconds.");
        return EKeyringError(EKeyringError::Kind::TimedOut,
                             "The desktop keyring did not answer within " + secs + " seconds.");
    }

private:
    struct Pending {
        GRef<GAsyncResult> result;
    };

    static void onDone(GObject*, GAsyncResult* result, gpointer data)
    {
        auto* pending = static_cast<std::shared_ptr<Pending>*>(data);
        (*pending)->result.reset(G_ASYNC_RESULT(g_object_ref(result)));
        delete pending;
    }

    static gboolean onTick(gpointer data)
    {
        auto* self = static_cast<BoundedWait*>(data);
        if (!self->m_giveUpAt) {
            const auto now = Clock::now();
            const bool stop = self->m_stop && self->m_stop();
            if (stop || now >= self->m_deadline - self->m_grace) {
                self->m_stopped = stop;
                self->m_giveUpAt = std::min(now + self->m_grace, self->m_deadline);
                g_cancellable_cancel(self->m_cancel);
            }
        }
        return G_SOURCE_CONTINUE;
    }

    GMainContext* m_context;
    GCancellable* m_cancel;
    GSource* m_tick = nullptr;
    TStopHook m_stop;
    Clock::time_point m_deadline;
    Clock::duration m_grace;
    int m_timeoutMs;
    std::optional<Clock::time_point> m_giveUpAt; // set once the call is cancelled
    bool m_stopped = false;
    const char* m_phase = "";
};

// The calls below, each started with one argument block and finished by
// the caller.
struct OpenArgs {
    GCancellable* cancel;
};
struct SearchArgs {
    SecretService* service;
    GHashTable* attrs;
    SecretSearchFlags flags;
    GCancellable* cancel;
};
struct UnlockArgs {
    SecretService* service;
    GList* objects;
    GCancellable* cancel;
};

GRef<SecretService> openService(BoundedWait& wait)
{
    wait.phase("connect");
    OpenArgs args{wait.cancellable()};
    auto result = wait.run(
        [](GAsyncReadyCallback cb, gpointer data, void* a) {
            secret_service_open(tolmu_secret_service_get_type(), nullptr, SECRET_SERVICE_OPEN_SESSION,
                                static_cast<OpenArgs*>(a)->cancel, cb, data);
        },
        &args);
    GError* e = nullptr;
    GRef<SecretService> service(secret_service_open_finish(result.get(), &e));
    GErrorPtr err(e);
    if (!service)
        throw wait.error(e, EKeyringError::Kind::NoService, "No desktop keyring answers on the session bus");
    return service;
}

ItemList search(BoundedWait& wait, SecretService* service, GHashTable* attrs, SecretSearchFlags flags)
{
    wait.phase("search");
    SearchArgs args{service, attrs, flags, wait.cancellable()};
    auto result = wait.run(
        [](GAsyncReadyCallback cb, gpointer data, void* a) {
            auto* s = static_cast<SearchArgs*>(a);
            secret_service_search(s->service, schema(true), s->attrs, s->flags, s->cancel, cb, data);
        },
        &args);
    GError* e = nullptr;
    ItemList items(secret_service_search_finish(service, result.get(), &e));
    GErrorPtr err(e);
    if (e)
        throw wait.error(e, EKeyringError::Kind::Failed, "The desktop keyring could not search its items");
    return items;
}

// Asks the service to unlock objects (items or collections); the desktop
// shows its prompt. Throws Locked when nothing was unlocked (dismissed).
void unlock(BoundedWait& wait, SecretService* service, GList* objects)
{
    wait.phase("unlock");
    UnlockArgs args{service, objects, wait.cancellable()};
    auto result = wait.run(
        [](GAsyncReadyCallback cb, gpointer data, void* a) {
            auto* u = static_cast<UnlockArgs*>(a);
            secret_service_unlock(u->service, u->objects, u->cancel, cb, data);
        },
        &args);
    GError* e = nullptr;
    GList* unlocked = nullptr;
    const gint count = secret_service_unlock_finish(service, result.get(), &unlocked, &e);
    g_list_free_full(unlocked, g_object_unref);
    GErrorPtr err(e);
    if (e)
        throw wait.error(e, EKeyringError::Kind::Locked, "The desktop keyring could not be unlocked");
    if (count <= 0)
        throw EKeyringError(EKeyringError::Kind::Locked,
                            "The desktop keyring stayed locked: unlock it when it asks, then try again.");
}

// Unlocks the locked ones among items, if any.
void unlockItems(BoundedWait& wait, SecretService* service, const ItemList& items)
{
    GList* locked = nullptr;
    for (GList* l = items.items; l; l = l->next)
        if (secret_item_get_locked(SECRET_ITEM(l->data)))
            locked = g_list_append(locked, l->data);
    if (!locked)
        return;
    try {
        unlock(wait, service, locked);
    } catch (...) {
        g_list_free(locked);
        throw;
    }
    g_list_free(locked);
}

bool validUtf8(const std::string& s)
{
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = 0;
        const std::size_t len = text::utf8Char(s, i, cp);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

int timeoutMs(int seconds) { return seconds > 0 ? seconds * 1000 : 1; }

} // namespace

bool KeyringAvailable(int timeoutMs)
{
    try {
        BoundedWait wait(timeoutMs, {});
        openService(wait);
        return true;
    } catch (const EKeyringError&) {
        return false;
    }
}

void KeyringStore(const TSecretKey& key, const std::string& secret, int timeoutSeconds, const TStopHook& stop)
{
    if (!validUtf8(secret))
        throw Exception("The password is not valid UTF-8 text; the desktop keyring keeps text only.");
    BoundedWait wait(timeoutMs(timeoutSeconds), stop);
    GRef<SecretService> service = openService(wait);

    // The default collection is unlocked first, so that a dismissed prompt
    // reads as such and not as a refused write.
    wait.phase("connect");
    struct AliasArgs {
        SecretService* service;
        GCancellable* cancel;
    } aliasArgs{service.get(), wait.cancellable()};
    auto aliasResult = wait.run(
        [](GAsyncReadyCallback cb, gpointer data, void* a) {
            auto* s = static_cast<AliasArgs*>(a);
            secret_collection_for_alias(s->service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, s->cancel, cb,
                                        data);
        },
        &aliasArgs);
    GError* e = nullptr;
    GRef<SecretCollection> collection(secret_collection_for_alias_finish(aliasResult.get(), &e));
    if (e) {
        GErrorPtr err(e);
        throw wait.error(e, EKeyringError::Kind::Failed, "The desktop keyring has no collection to write to");
    }
    if (collection && secret_collection_get_locked(collection.get())) {
        GList one{collection.get(), nullptr, nullptr};
        unlock(wait, service.get(), &one);
    }

    // A missing default collection is created by the service (it asks the
    // user for that collection's password).
    wait.phase("store");
    auto attrs = attributes(key);
    const std::string label = "Tolmu: " + key.AccountName;
    std::unique_ptr<SecretValue, SecretValueUnref> value(secret_value_new(secret.data(), static_cast<gssize>(secret.size()), "text/plain"));
    struct StoreArgs {
        SecretService* service;
        GHashTable* attrs;
        const char* label;
        SecretValue* value;
        GCancellable* cancel;
    } storeArgs{service.get(), attrs.get(), label.c_str(), value.get(), wait.cancellable()};
    auto storeResult = wait.run(
        [](GAsyncReadyCallback cb, gpointer data, void* a) {
            auto* s = static_cast<StoreArgs*>(a);
            secret_service_store(s->service, schema(), s->attrs, SECRET_COLLECTION_DEFAULT, s->label, s->value,
                                 s->cancel, cb, data);
        },
        &storeArgs);
    const gboolean stored = secret_service_store_finish(service.get(), storeResult.get(), &e);
    GErrorPtr err(e);
    if (!stored) {
        if (e)
            throw wait.error(e, EKeyringError::Kind::Failed, "The desktop keyring did not store the secret");
        throw EKeyringError(EKeyringError::Kind::Failed, "The desktop keyring did not store the secret.");
    }
}

std::optional<std::string> KeyringLookup(const TSecretKey& key, int timeoutSeconds, const TStopHook& stop)
{
    BoundedWait wait(timeoutMs(timeoutSeconds), stop);
    GRef<SecretService> service = openService(wait);
    auto attrs = attributes(key);
    const auto flags = static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS);
    ItemList items = search(wait, service.get(), attrs.get(), flags);
    if (!items.items)
        return std::nullopt;

    // The secrets of unlocked items came with the search; when every match
    // is locked, unlock them and search again, as the item objects from
    // before the unlock still say "locked".
    const auto firstSecret = [](const ItemList& list) -> SecretValue* {
        for (GList* l = list.items; l; l = l->next) {
            SecretItem* item = SECRET_ITEM(l->data);
            if (!secret_item_get_locked(item))
                if (SecretValue* v = secret_item_get_secret(item))
                    return v;
        }
        return nullptr;
    };
    std::unique_ptr<SecretValue, SecretValueUnref> value(firstSecret(items));
    if (!value) {
        unlockItems(wait, service.get(), items);
        items = search(wait, service.get(), attrs.get(), flags);
        value.reset(firstSecret(items));
        if (!value && items.items)
            throw EKeyringError(EKeyringError::Kind::Locked,
                                "The desktop keyring stayed locked: unlock it when it asks, then try again.");
        if (!value)
            return std::nullopt;
    }
    gsize length = 0;
    const gchar* bytes = secret_value_get(value.get(), &length);
    return std::string(bytes, length);
}

bool KeyringRemove(const TSecretKey& key, int timeoutSeconds, const TStopHook& stop)
{
    BoundedWait wait(timeoutMs(timeoutSeconds), stop);
    GRef<SecretService> service = openService(wait);
    auto attrs = attributes(key);
    ItemList items = search(wait, service.get(), attrs.get(), SECRET_SEARCH_ALL);
    if (!items.items)
        return false;
    unlockItems(wait, service.get(), items);
    wait.phase("delete");
    for (GList* l = items.items; l; l = l->next) {
        struct DeleteArgs {
            SecretItem* item;
            GCancellable* cancel;
        } deleteArgs{SECRET_ITEM(l->data), wait.cancellable()};
        auto deleteResult = wait.run(
            [](GAsyncReadyCallback cb, gpointer data, void* a) {
                auto* d = static_cast<DeleteArgs*>(a);
                secret_item_delete(d->item, d->cancel, cb, data);
            },
            &deleteArgs);
        GError* e = nullptr;
        const gboolean deleted = secret_item_delete_finish(SECRET_ITEM(l->data), deleteResult.get(), &e);
        GErrorPtr err(e);
        if (!deleted && e)
            throw wait.error(e, EKeyringError::Kind::Failed, "The desktop keyring did not remove the secret");
    }
    return true;
}

namespace {

// The keyring behind the secret-store port.
class TKeyringSecrets final : public TSecretStore {
public:
    std::optional<std::string> Read(const TSecretKey& key, int timeoutSeconds, const TStopHook& stop) const override
    {
        return KeyringLookup(key, timeoutSeconds, stop);
    }
    void Store(const TSecretKey& key, const std::string& secret, int timeoutSeconds,
               const TStopHook& stop) const override
    {
        KeyringStore(key, secret, timeoutSeconds, stop);
    }
    bool Remove(const TSecretKey& key, int timeoutSeconds, const TStopHook& stop) const override
    {
        return KeyringRemove(key, timeoutSeconds, stop);
    }
};

} // namespace

std::unique_ptr<TSecretStore> MakeKeyringSecrets() { return std::make_unique<TKeyringSecrets>(); }
