// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop keyring through libsecret, on a private session bus that
// keyring_bus.sh sets up (TOLMU_KEYRING_BUS says which): gnome-keyring
// unlocked with a test password (KeyringLive), the same keyring locked
// (KeyringLocked), and no Secret Service at all (KeyringAbsent).
#include "signin/Keyring.h"
#include "signin/RefreshTokenStore.h"
#include "signin/SecretStore.h"
#include "signin/SignInErrors.h"
#include "tests/support/KeyringLock.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string bus()
{
    const char* b = std::getenv("TOLMU_KEYRING_BUS");
    return b ? b : "";
}

TSecretKey keyFor(const std::string& name, int port = 995, TSecretKind kind = TSecretKind::Password)
{
    return {name, "pop." + name + ".example", port, name + "@example.org", kind};
}

class KeyringLive : public testing::Test {
protected:
    void SetUp() override
    {
        if (bus() != "keyring")
            GTEST_SKIP() << "needs keyring_bus.sh keyring";
    }
};

TEST_F(KeyringLive, StoresReadsAndRemoves)
{
    EXPECT_TRUE(KeyringAvailable());
    const std::string secrets[] = {"Pässwort", "plain", "with blanks and ☃ and \"quotes\"", std::string(4000, 'x'),
                                   "new\nline", ""};
    int n = 0;
    for (const std::string& secret : secrets) {
        const TSecretKey key = keyFor("round" + std::to_string(n++));
        SCOPED_TRACE(key.AccountName);
        EXPECT_FALSE(KeyringLookup(key, 10));
        KeyringStore(key, secret, 10);
        EXPECT_EQ(KeyringLookup(key, 10), secret);
        KeyringStore(key, secret + "2", 10); // replaces, no second item
        EXPECT_EQ(KeyringLookup(key, 10), secret + "2");
        EXPECT_TRUE(KeyringRemove(key, 10));
        EXPECT_FALSE(KeyringLookup(key, 10));
        EXPECT_FALSE(KeyringRemove(key, 10));
    }
}

// Both stores behind the secret-store port keep, replace and forget a
// secret alike, so that core never asks which one it talks to.
TEST_F(KeyringLive, EveryStoreBehindThePortKeepsReplacesAndForgets)
{
    const testsupport::ScratchDir scratch("tolmu-secrets");
    const std::string folder = scratch.path;
    for (const TTokenPlace place : {TTokenPlace::Keyring, TTokenPlace::File}) {
        SCOPED_TRACE(place == TTokenPlace::Keyring ? "keyring" : "file");
        const std::unique_ptr<TSecretStore> store = MakeSecretStore(place, folder + "/oauth2-tokens.json");
        int n = 0;
        for (const std::string secret : {"Pässwort", "with blanks and ☃ and \"quotes\"", "new\nline"}) {
            const TSecretKey key = keyFor("port" + std::to_string(n++));
            EXPECT_FALSE(store->Read(key, 10));
            store->Store(key, secret, 10);
            EXPECT_EQ(store->Read(key, 10), secret);
            store->Store(key, secret + "2", 10);
            EXPECT_EQ(store->Read(key, 10), secret + "2");
            EXPECT_TRUE(store->Remove(key, 10));
            EXPECT_FALSE(store->Read(key, 10));
            EXPECT_FALSE(store->Remove(key, 10));
        }
    }
}

TEST_F(KeyringLive, ItemCarriesTheAttributesAndLabel)
{
    const TSecretKey key{"Work mail", "pop.work.example", 995, "joe", TSecretKind::Password};
    KeyringStore(key, "s3cret", 10);
    KeyringStore({"Work mail", "pop.work.example", 995, "joe", TSecretKind::RefreshToken}, "rt", 10);

    // Found the way another program (or secret-tool) would find it.
    GError* e = nullptr;
    GHashTable* query = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(query, const_cast<char*>("application"), const_cast<char*>("tolmu"));
    g_hash_table_insert(query, const_cast<char*>("user"), const_cast<char*>("joe"));
    GList* items = secret_service_search_sync(
        nullptr, nullptr, query, static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS),
        nullptr, &e);
    g_hash_table_unref(query);
    ASSERT_EQ(e, nullptr) << e->message;
    std::map<std::string, std::map<std::string, std::string>> found; // kind -> attributes + label + secret
    for (GList* l = items; l; l = l->next) {
        SecretItem* item = SECRET_ITEM(l->data);
        std::map<std::string, std::string> a;
        GHashTable* attrs = secret_item_get_attributes(item);
        GHashTableIter it;
        gpointer k, v;
        g_hash_table_iter_init(&it, attrs);
        while (g_hash_table_iter_next(&it, &k, &v))
            a[static_cast<char*>(k)] = static_cast<char*>(v);
        g_hash_table_unref(attrs);
        gchar* label = secret_item_get_label(item);
        a["label"] = label;
        g_free(label);
        SecretValue* value = secret_item_get_secret(item);
        a["secret"] = value ? secret_value_get_text(value) : "";
        if (value)
            secret_value_unref(value);
        found[a["kind"]] = a;
    }
    g_list_free_full(items, g_object_unref);

    ASSERT_EQ(found.size(), 2u);
    const std::map<std::string, std::string> password = {
        {"application", "tolmu"}, {"kind", "password"}, {"host", "pop.work.example"}, {"port", "995"},
        {"user", "joe"},          {"xdg:schema", "org.tolmu.Secret"}, {"label", "Tolmu: Work mail"},
        {"secret", "s3cret"}};
    EXPECT_EQ(found["password"], password);
    EXPECT_EQ(found["oauth2-refresh-token"]["secret"], "rt");
    EXPECT_EQ(found["oauth2-refresh-token"]["label"], "Tolmu: Work mail");
}

TEST_F(KeyringLive, AccountsAndKindsKeepApart)
{
    const TSecretKey keys[] = {
        keyFor("apart"),
        keyFor("apart", 110),
        keyFor("apart", 995, TSecretKind::RefreshToken),
        {"apart", "pop.apart.example", 995, "other@example.org", TSecretKind::Password},
    };
    for (std::size_t i = 0; i < std::size(keys); ++i)
        KeyringStore(keys[i], "secret " + std::to_string(i), 10);
    for (std::size_t i = 0; i < std::size(keys); ++i)
        EXPECT_EQ(KeyringLookup(keys[i], 10), "secret " + std::to_string(i));
    // Another account name on the same login shares the item.
    TSecretKey renamed = keys[0];
    renamed.AccountName = "renamed";
    EXPECT_EQ(KeyringLookup(renamed, 10), "secret 0");
    EXPECT_TRUE(KeyringRemove(keys[0], 10));
    EXPECT_EQ(KeyringLookup(keys[1], 10), "secret 1");
}

TEST_F(KeyringLive, RefusesTextThatIsNotUtf8)
{
    for (const char* bad : {"\xff", "Pa\xc3", "\xed\xa0\x80"})
        EXPECT_THROW(KeyringStore(keyFor("bytes"), bad, 10), Exception);
    EXPECT_FALSE(KeyringLookup(keyFor("bytes"), 10));
}

// The mail worker and the window (or two checks) reading at once.
TEST_F(KeyringLive, ManyThreadsAtOnce)
{
    KeyringStore(keyFor("threads"), "Pässwort", 10);
    std::atomic<int> right{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 5; ++i)
                if (KeyringLookup(keyFor("threads"), 20) == std::optional<std::string>("Pässwort"))
                    ++right;
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(right, 30);
}

TEST_F(KeyringLive, RefreshTokensGoToTheKeyring)
{
    EXPECT_EQ(ChooseTokenPlace(), TTokenPlace::Keyring);
    const TRefreshTokenStore store(TTokenPlace::Keyring);
    const TSecretKey key = keyFor("token"); // a Password key: the store makes it a token's
    store.Save(key, "rt-1", 10);
    EXPECT_EQ(store.Load(key, 10), "rt-1");
    EXPECT_FALSE(KeyringLookup(key, 10)); // the password item is another one
    TSecretKey asToken = key;
    asToken.Kind = TSecretKind::RefreshToken;
    EXPECT_EQ(KeyringLookup(asToken, 10), "rt-1");
    EXPECT_TRUE(store.Remove(key, 10));
    EXPECT_FALSE(store.Load(key, 10));
}


// What the process writes to its stderr while f runs.
// The bus name of the keyring service now, "" when none holds it: a
// change across a call means the service itself died meanwhile.
std::string keyringServiceOwner()
{
    GError* e = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &e);
    if (!bus) {
        g_clear_error(&e);
        return {};
    }
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetNameOwner",
        g_variant_new("(s)", "org.freedesktop.secrets"), G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, 2000,
        nullptr, &e);
    std::string owner;
    if (reply) {
        const char* name = nullptr;
        g_variant_get(reply, "(&s)", &name);
        owner = name;
        g_variant_unref(reply);
    }
    g_clear_error(&e);
    g_object_unref(bus);
    return owner;
}

template <class F> std::string stderrOf(F f)
{
    std::fflush(stderr);
    FILE* capture = std::tmpfile();
    const int saved = ::dup(2);
    ::dup2(::fileno(capture), 2);
    struct Restore {
        int saved;
        ~Restore()
        {
            std::fflush(stderr);
            ::dup2(saved, 2);
            ::close(saved);
        }
    };
    {
        Restore restore{saved};
        f();
    }
    std::string text;
    std::rewind(capture);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, capture)) > 0)
        text.append(buf, n);
    std::fclose(capture);
    return text;
}

// A locked keyring that cannot be unlocked: with no prompter that can show
// on this headless bus the prompt fails at once (as a dismissed one), with
// a stalled prompter nobody answers it. Either way every call ends within
// its time-out with a clear error and without a GLib-CRITICAL, and a locked
// secret is never reported as missing. (gnome-keyring 42 may abort when a
// cancelled prompt is followed by the next one, and comes back on the next
// call: the calls after it must still read "locked".)
TEST(KeyringLocked, EndsWithinTheTimeOut)
{
    if (bus() != "keyring" && bus() != "stalled")
        GTEST_SKIP() << "needs keyring_bus.sh keyring or stalled";
    const auto expected = bus() == "stalled" ? EKeyringError::Kind::TimedOut : EKeyringError::Kind::Locked;
    const TSecretKey key = keyFor("locked");
    KeyringStore(key, "Pässwort", 10);
    testsupport::LockDefaultCollection();

    using std::chrono::milliseconds;
    const struct {
        const char* name;
        std::function<void(const TStopHook&)> call;
        bool stop;
        milliseconds within; // the time-out, or when the stop hook asks
    } cases[] = {
        {"lookup", [&](const TStopHook& s) { KeyringLookup(key, 3, s); }, false, milliseconds(3000)},
        {"store", [&](const TStopHook& s) { KeyringStore(keyFor("locked2"), "x", 3, s); }, false, milliseconds(3000)},
        {"remove", [&](const TStopHook& s) { KeyringRemove(key, 3, s); }, false, milliseconds(3000)},
        {"lookup stopped", [&](const TStopHook& s) { KeyringLookup(key, 60, s); }, true, milliseconds(300)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string service = keyringServiceOwner();
        const auto start = Clock::now();
        const TStopHook stop = [&] { return c.stop && Clock::now() - start > c.within; };
        const std::string err = stderrOf([&] {
            try {
                c.call(stop);
                ADD_FAILURE() << "no error from a locked keyring";
            } catch (const EKeyringError& e) {
                const auto kind = e.GetKind();
                EXPECT_TRUE(kind == expected || (c.stop && kind == EKeyringError::Kind::Stopped))
                    << static_cast<int>(kind) << ": " << e.what();
                if (kind != EKeyringError::Kind::Stopped) {
                    EXPECT_NE(std::string(e.what()).find("locked"), std::string::npos) << e.what();
                }
                EXPECT_EQ(std::string(e.what()).find("Pässwort"), std::string::npos);
            }
        });
        // A time-out holds, the cancelled prompt's grace included (one tick
        // of the wait aside); a stop ends within that grace.
        EXPECT_LT(Clock::now() - start, c.within + (c.stop ? milliseconds(1300) : milliseconds(300)));
        // When the keyring service itself aborts under the call (gnome-keyring
        // 42, above), libsecret answers its own prompt task twice and says so
        // on stderr: that is the service's fault, not ours.
        if (keyringServiceOwner() == service) {
            EXPECT_EQ(err.find("CRITICAL"), std::string::npos) << err;
        }
    }
}

TEST(KeyringAbsent, EveryCallSaysSo)
{
    if (bus() != "empty" && bus() != "none")
        GTEST_SKIP() << "needs keyring_bus.sh empty or none";
    EXPECT_FALSE(KeyringAvailable(3000));
    EXPECT_EQ(ChooseTokenPlace(3000), TTokenPlace::File);
    const TSecretKey key = keyFor("absent");
    const std::function<void()> calls[] = {
        [&] { KeyringStore(key, "Pässwort", 5); },
        [&] { KeyringLookup(key, 5); },
        [&] { KeyringRemove(key, 5); },
    };
    for (const auto& call : calls) {
        try {
            call();
            ADD_FAILURE() << "no error without a keyring";
        } catch (const EKeyringError& e) {
            EXPECT_EQ(e.GetKind(), EKeyringError::Kind::NoService) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind("No desktop keyring answers on the session bus", 0), 0u)
                << e.what();
        }
    }
}

} // namespace
