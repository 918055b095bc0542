// What a failed negotiation says: the category in words and what the device offered.

#include <gtest/gtest.h>

#include "quorvane/engine/ssh/ssh_failure.hpp"

namespace quorvane {
namespace {

TEST(SshFailureTest, FailedNegotiationNamesTheCategoryAndTheDevicesOffer) {
    struct Case {
        const char* libssh_error;
        bool legacy;
        const char* reason;
    };
    const Case cases[] = {
        {"kex error : no match for method kex algos: server [diffie-hellman-group1-sha1,"
         "kex-strict-s-v00@openssh.com], client [curve25519-sha256]",
         true, "no common key exchange method (device offers: diffie-hellman-group1-sha1)"},
        {"kex error : no match for method server host key algo: server [ssh-rsa], client [a]",
         false,
         "no common host key type (device offers: ssh-rsa; older algorithms are off: [SSH] "
         "legacy_algorithms = no)"},
        {"kex error : no match for method encryption server->client: server [aes128-cbc,"
         "blowfish-cbc], client [aes128-ctr,]",
         true, "no common cipher (device offers: aes128-cbc, blowfish-cbc)"},
        {"kex error : no match for method mac algo client->server: server [hmac-md5], client [x]",
         false, "no common MAC (device offers: hmac-md5)"},
        {"Socket error: disconnected", true, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(negotiation_failure_reason(c.libssh_error, c.legacy), c.reason) << c.libssh_error;
    }
}

}  // namespace
}  // namespace quorvane
