#pragma once
// SASL for OAuth 2.0 bearer tokens: OAUTHBEARER (RFC 7628) and the older
// XOAUTH2 that some providers still need. Only the encoding and the choice
// live here; each protocol sends the lines itself.
#include <string>
#include <string_view>

enum class OAuthMechanism { None, OAuthBearer, XOAuth2 };

// The standard mechanism where the server offers it, else XOAUTH2.
OAuthMechanism ChooseOAuthMechanism(bool offersOAuthBearer, bool offersXOAuth2);
const char* MechanismName(OAuthMechanism mechanism);

// The client's first message, base64 encoded. `host` and `port` name the
// server as OAUTHBEARER asks (XOAUTH2 has no place for them).
std::string OAuthInitialResponse(OAuthMechanism mechanism, const std::string& user,
                                 const std::string& host, int port, const std::string& token);

// What the client answers to the server's error challenge, base64 encoded:
// the one-byte "no more" of OAUTHBEARER, an empty reply for XOAUTH2.
std::string OAuthErrorAcknowledgement(OAuthMechanism mechanism);

// The server's error challenge decoded (its JSON), printable and at most 200
// characters; empty when it is not base64.
std::string DecodeOAuthChallenge(std::string_view base64);

std::string Base64Encode(std::string_view bytes);
// false when `text` is not valid base64 (blanks at either end ignored).
bool Base64Decode(std::string_view text, std::string& bytes);
