// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Locks the default collection of the keyring on the test's private bus
// through the service's Lock method, as the desktop does after a time.
#include <gtest/gtest.h>
#include <libsecret/secret.h>

namespace testsupport {

inline void LockDefaultCollection()
{
    GError* e = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &e);
    ASSERT_NE(service, nullptr) << e->message;
    SecretCollection* collection =
        secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &e);
    ASSERT_NE(collection, nullptr);
    GList one{collection, nullptr, nullptr};
    EXPECT_EQ(secret_service_lock_sync(service, &one, nullptr, nullptr, &e), 1);
    g_object_unref(collection);
    g_object_unref(service);
}

} // namespace testsupport
