#include "mail/sasl_oauth.h"

#include <openssl/evp.h>

OAuthMechanism ChooseOAuthMechanism(bool offersOAuthBearer, bool offersXOAuth2) {
    if (offersOAuthBearer)
        return OAuthMechanism::OAuthBearer;
    return offersXOAuth2 ? OAuthMechanism::XOAuth2 : OAuthMechanism::None;
}

const char* MechanismName(OAuthMechanism mechanism) {
    switch (mechanism) {
    case OAuthMechanism::OAuthBearer:
        return "OAUTHBEARER";
    case OAuthMechanism::XOAuth2:
        return "XOAUTH2";
    case OAuthMechanism::None:
        break;
    }
    return "";
}

std::string OAuthInitialResponse(OAuthMechanism mechanism, const std::string& user,
                                 const std::string& host, int port, const std::string& token) {
    constexpr char kSeparator = '\x01';
    std::string message;
    if (mechanism == OAuthMechanism::OAuthBearer) {
        // The GS2 header names the user; "," and "=" in it are escaped.
        std::string authzid;
        for (char c : user)
            authzid += c == ',' ? "=2C" : c == '=' ? "=3D" : std::string(1, c);
        message = "n,a=" + authzid + "," + kSeparator + "host=" + host + kSeparator +
                  "port=" + std::to_string(port) + kSeparator;
    } else {
        message = "user=" + user + kSeparator;
    }
    message += "auth=Bearer " + token + kSeparator + kSeparator;
    return Base64Encode(message);
}

std::string OAuthErrorAcknowledgement(OAuthMechanism mechanism) {
    return mechanism == OAuthMechanism::OAuthBearer ? Base64Encode("\x01") : std::string();
}

std::string DecodeOAuthChallenge(std::string_view base64) {
    std::string bytes;
    if (!Base64Decode(base64, bytes))
        return {};
    std::string text;
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f && text.size() < 200)
            text += c;
    return text;
}

std::string Base64Encode(std::string_view bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int written =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()),
                        static_cast<int>(bytes.size()));
    text.resize(static_cast<size_t>(written));
    return text;
}

bool Base64Decode(std::string_view text, std::string& bytes) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n'))
        text.remove_suffix(1);
    if (text.size() % 4 != 0 || text.size() > (1u << 20))
        return false;
    bytes.assign(text.size() / 4 * 3, '\0');
    const int decoded =
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                        reinterpret_cast<const unsigned char*>(text.data()),
                        static_cast<int>(text.size()));
    if (decoded < 0)
        return false;
    // EVP_DecodeBlock counts the padding as zero bytes.
    size_t padding = 0;
    for (size_t i = text.size(); i > 0 && text[i - 1] == '=' && padding < 2; --i)
        ++padding;
    bytes.resize(static_cast<size_t>(decoded) - padding);
    return true;
}
