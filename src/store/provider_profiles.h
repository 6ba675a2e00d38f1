#pragma once
// What Drossgate knows about the largest mail providers: their servers,
// their OAuth 2.0 endpoints and scopes, and the habits of theirs that change
// what Drossgate's deletion means. A profile is chosen from the server name
// (or a whole address) the user types when adding an account; it only fills
// in and explains, it never decides a verdict.
#include <string>
#include <vector>

// The habits of a provider that the user must know about. Each is shown
// with its own text (ProviderQuirkTexts).
struct ProviderQuirks {
    bool Pop3Deletion = false; // POP3 DELE keeps, archives or marks by a web setting
    bool ImapDeletion = false; // an IMAP deletion only archives, by a web setting
    bool Connections = false;  // few connections at a time per account
    bool Password = false;     // plain passwords refused: an app password is needed
    bool ListSizesUnreliable = false; // LIST sizes differ from what RETR sends
    bool TlsPortsOnly = false; // no STARTTLS: only TLS from the first byte (993, 995)
};

struct ProviderProfile {
    std::string Key;  // "microsoft", "google", ...
    std::string Name; // shown to the user: "Outlook.com and Microsoft 365"
    std::string ImapHost;
    int ImapPort = 993;
    std::string Pop3Host; // empty: no POP3
    int Pop3Port = 995;
    bool OAuthOnly = false; // passwords are no longer accepted
    // OAuth 2.0; empty AuthorizationUrl: the provider offers no sign-in to
    // clients the user registers himself.
    std::string AuthorizationUrl, TokenUrl, Scope;
    bool NeedsClientSecret = false;
    ProviderQuirks Quirks;
    std::vector<std::string> Domains; // mail domains and server names it serves
};

// Every known profile, in a fixed order.
const std::vector<ProviderProfile>& ProviderProfiles();

// The profile of a server name, or of the domain of a whole address
// ("user@outlook.com"); case does not matter. nullptr when none is known.
const ProviderProfile* ProfileForServer(const std::string& serverOrAddress);

// The server a profile has for the type (POP3 or IMAP); empty when the
// provider has no server of that type.
std::string ProfileServer(const ProviderProfile& profile, bool pop3);

// The text ids of the profile's quirks that matter for the type, in the
// order shown; each id's English text is in the texts table.
std::vector<int> ProviderQuirkTexts(const ProviderProfile& profile, bool pop3);

inline constexpr int kProviderServerBelongsText = 18140; // "This server belongs to "
inline constexpr int kProviderOAuthOnlyText = 18147; // shown for an OAuthOnly profile
