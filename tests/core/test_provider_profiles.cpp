// Which provider a typed server or address belongs to, and what is shown about it.
#include "store/english_texts.h"
#include "store/provider_profiles.h"

#include <gtest/gtest.h>
#include <set>

namespace {

std::string KeyOf(const std::string& serverOrAddress) {
    const ProviderProfile* profile = ProfileForServer(serverOrAddress);
    return profile ? profile->Key : "none";
}

// Addresses, case, a root's dot and names under a domain find the profile; a look-alike
// domain, a domain that merely contains a known one and an unknown server do not.
TEST(ProviderProfiles, ServerOrAddressFindsItsProviderButNoLookAlike) {
    EXPECT_EQ(KeyOf("Robin@Hotmail.COM"), "microsoft");
    EXPECT_EQ(KeyOf("odd@name@gmail.com"), "google"); // the domain follows the last '@'
    EXPECT_EQ(KeyOf("IMAP.gmail.com."), "google");
    EXPECT_EQ(KeyOf("mail.outlook.com"), "microsoft");
    EXPECT_EQ(KeyOf("imap.mail.me.com"), "icloud");
    EXPECT_EQ(KeyOf("someone@yahoo.co.uk"), "yahoo");
    EXPECT_EQ(KeyOf("notgmail.com"), "none");
    EXPECT_EQ(KeyOf("gmail.com.example.org"), "none");
    EXPECT_EQ(KeyOf("user@mail.example.org"), "none");
    EXPECT_EQ(KeyOf("gmail.com@"), "none");
    EXPECT_EQ(KeyOf(""), "none");

    // Each profile's own servers lead back to it.
    for (const ProviderProfile& p : ProviderProfiles())
        for (bool pop3 : {false, true})
            if (const std::string host = ProfileServer(p, pop3); !host.empty()) {
                EXPECT_EQ(KeyOf(host), p.Key) << host;
            }

    const ProviderProfile& icloud = *ProfileForServer("me.com");
    EXPECT_EQ(ProfileServer(icloud, true), ""); // no POP3
    EXPECT_EQ(ProfileServer(icloud, false), "imap.mail.me.com");
}

// The quirks shown depend on the type, each with a text in the table; a profile with an
// OAuth 2.0 sign-in has https endpoints and a scope.
TEST(ProviderProfiles, QuirksFollowTheTypeAndSignInsAreComplete) {
    const ProviderProfile& google = *ProfileForServer("gmail.com");
    EXPECT_EQ(ProviderQuirkTexts(google, true), (std::vector<int>{18141, 18143, 18146}));
    EXPECT_EQ(ProviderQuirkTexts(google, false), (std::vector<int>{18142, 18143, 18146}));
    const ProviderProfile& microsoft = *ProfileForServer("outlook.com");
    EXPECT_EQ(ProviderQuirkTexts(microsoft, false), (std::vector<int>{18143}));
    EXPECT_EQ(ProviderQuirkTexts(*ProfileForServer("aol.com"), true), (std::vector<int>{18144}));

    std::set<std::string> keys;
    for (const ProviderProfile& p : ProviderProfiles()) {
        EXPECT_TRUE(keys.insert(p.Key).second) << p.Key;
        EXPECT_FALSE(p.ImapHost.empty()) << p.Key;
        for (bool pop3 : {false, true})
            for (int id : ProviderQuirkTexts(p, pop3))
                EXPECT_NE(EnglishDefault(id), "") << p.Key << " " << id;
        if (p.AuthorizationUrl.empty()) {
            EXPECT_FALSE(p.OAuthOnly) << p.Key; // no way in at all otherwise
            continue;
        }
        EXPECT_TRUE(p.AuthorizationUrl.starts_with("https://")) << p.Key;
        EXPECT_TRUE(p.TokenUrl.starts_with("https://")) << p.Key;
        EXPECT_FALSE(p.Scope.empty()) << p.Key;
    }
    EXPECT_NE(EnglishDefault(kProviderServerBelongsText), "");
    EXPECT_NE(EnglishDefault(kProviderOAuthOnlyText), "");
}

} // namespace
