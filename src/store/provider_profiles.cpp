#include "store/provider_profiles.h"

#include <algorithm>
#include <cctype>

namespace {

// The texts of the quirks, in the order they are shown.
constexpr int kPop3DeletionText = 18141;
constexpr int kImapDeletionText = 18142;
constexpr int kConnectionsText = 18143;
constexpr int kPasswordText = 18144;
constexpr int kListSizesText = 18145;
constexpr int kTlsPortsOnlyText = 18146;

std::vector<ProviderProfile> MakeProfiles() {
    std::vector<ProviderProfile> profiles;

    ProviderProfile microsoft;
    microsoft.Key = "microsoft";
    microsoft.Name = "Outlook.com and Microsoft 365";
    microsoft.ImapHost = "outlook.office365.com";
    microsoft.Pop3Host = "outlook.office365.com";
    microsoft.OAuthOnly = true;
    microsoft.AuthorizationUrl = "https://login.microsoftonline.com/common/oauth2/v2.0/authorize";
    microsoft.TokenUrl = "https://login.microsoftonline.com/common/oauth2/v2.0/token";
    microsoft.Scope = "offline_access https://outlook.office.com/IMAP.AccessAsUser.All "
                      "https://outlook.office.com/POP.AccessAsUser.All";
    microsoft.NeedsClientSecret = false;  // a public client: the code is bound by PKCE alone
    microsoft.Quirks.Pop3Deletion = true; // "let apps delete messages" decides
    microsoft.Quirks.Connections = true;
    microsoft.Domains = {"outlook.com",
                         "hotmail.com",
                         "live.com",
                         "msn.com",
                         "hotmail.co.uk",
                         "hotmail.de",
                         "hotmail.fr",
                         "live.co.uk",
                         "live.de",
                         "outlook.de",
                         "office365.com",
                         "outlook.office365.com",
                         "imap-mail.outlook.com",
                         "pop-mail.outlook.com"};
    profiles.push_back(microsoft);

    ProviderProfile google;
    google.Key = "google";
    google.Name = "Gmail and Google Workspace";
    google.ImapHost = "imap.gmail.com";
    google.Pop3Host = "pop.gmail.com";
    google.OAuthOnly = true;
    google.AuthorizationUrl = "https://accounts.google.com/o/oauth2/v2/auth";
    google.TokenUrl = "https://oauth2.googleapis.com/token";
    google.Scope = "https://mail.google.com/";
    google.NeedsClientSecret = true;   // desktop clients are given a secret
    google.Quirks.Pop3Deletion = true; // keep, mark read, archive or delete, by a web setting
    google.Quirks.ImapDeletion = true; // an expunge only archives: the mail stays in All Mail
    google.Quirks.Connections = true;  // 15 IMAP connections per account
    google.Quirks.TlsPortsOnly = true;
    google.Domains = {"gmail.com", "googlemail.com", "imap.gmail.com", "pop.gmail.com"};
    profiles.push_back(google);

    ProviderProfile yahoo;
    yahoo.Key = "yahoo";
    yahoo.Name = "Yahoo Mail";
    yahoo.ImapHost = "imap.mail.yahoo.com";
    yahoo.Pop3Host = "pop.mail.yahoo.com";
    yahoo.Quirks.Password = true; // an app password
    yahoo.Domains = {"yahoo.com", "ymail.com",    "rocketmail.com", "yahoo.co.uk",
                     "yahoo.de",  "yahoo.fr",     "yahoo.es",       "yahoo.it",
                     "yahoo.ca",  "yahoo.com.au", "yahoo.co.in",    "yahoo.com.br"};
    profiles.push_back(yahoo);

    ProviderProfile aol;
    aol.Key = "aol";
    aol.Name = "AOL Mail";
    aol.ImapHost = "imap.aol.com";
    aol.Pop3Host = "pop.aol.com";
    aol.Quirks.Password = true;
    aol.Domains = {"aol.com", "aim.com"};
    profiles.push_back(aol);

    ProviderProfile icloud;
    icloud.Key = "icloud";
    icloud.Name = "iCloud Mail";
    icloud.ImapHost = "imap.mail.me.com";
    icloud.Pop3Host.clear(); // no POP3
    icloud.Quirks.Password = true;
    icloud.Domains = {"icloud.com", "me.com", "mac.com"};
    profiles.push_back(icloud);

    return profiles;
}

// The host name in what the user typed: the domain of an address, lower case,
// without surrounding blanks and the root's trailing dot.
std::string HostOf(const std::string& serverOrAddress) {
    std::string host = serverOrAddress;
    if (size_t at = host.rfind('@'); at != std::string::npos)
        host.erase(0, at + 1);
    auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!host.empty() && blank(host.back()))
        host.pop_back();
    host.erase(host.begin(), std::find_if_not(host.begin(), host.end(), blank));
    if (!host.empty() && host.back() == '.')
        host.pop_back();
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return host;
}

// The host is the domain itself or a name under it; "notgmail.com" is not
// under "gmail.com".
bool ServesHost(const std::string& domain, const std::string& host) {
    if (host == domain)
        return true;
    return host.size() > domain.size() && host.ends_with(domain) &&
           host[host.size() - domain.size() - 1] == '.';
}

} // namespace

const std::vector<ProviderProfile>& ProviderProfiles() {
    static const std::vector<ProviderProfile> profiles = MakeProfiles();
    return profiles;
}

const ProviderProfile* ProfileForServer(const std::string& serverOrAddress) {
    const std::string host = HostOf(serverOrAddress);
    if (host.empty())
        return nullptr;
    for (const ProviderProfile& profile : ProviderProfiles())
        for (const std::string& domain : profile.Domains)
            if (ServesHost(domain, host))
                return &profile;
    return nullptr;
}

std::string ProfileServer(const ProviderProfile& profile, bool pop3) {
    return pop3 ? profile.Pop3Host : profile.ImapHost;
}

std::vector<int> ProviderQuirkTexts(const ProviderProfile& profile, bool pop3) {
    const ProviderQuirks& q = profile.Quirks;
    std::vector<int> texts;
    if (pop3 && q.Pop3Deletion)
        texts.push_back(kPop3DeletionText);
    if (!pop3 && q.ImapDeletion)
        texts.push_back(kImapDeletionText);
    if (q.Connections)
        texts.push_back(kConnectionsText);
    if (q.Password)
        texts.push_back(kPasswordText);
    if (q.ListSizesUnreliable)
        texts.push_back(kListSizesText);
    if (q.TlsPortsOnly)
        texts.push_back(kTlsPortsOnlyText);
    return texts;
}
