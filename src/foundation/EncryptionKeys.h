#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// The DES keys of the services' parameter encryption, one per caller role, and the suffix of the
// deals service's request signature. Callers pick the key of their role; nothing else holds one.

using DesKey = std::array<uint8_t, 8>;

// An 8-character key literal; any other length fails to compile.
template <std::size_t N>
consteval DesKey makeDesKey(const char (&text)[N])
{
    static_assert(N == 9, "a DES key is exactly 8 characters");
    DesKey key{};
    for (std::size_t i = 0; i < 8; ++i)
        key[i] = static_cast<uint8_t>(text[i]);
    return key;
}

// Request parameters of the news, comment, account and gold-coin services; search words and the city.
inline constexpr DesKey kDesKeyRequest = makeDesKey("q7%Lm!2z");
// Page name of a news list's next page (the last item's news id).
inline constexpr DesKey kDesKeyNextPage = makeDesKey("m&e%j*t)");
// "hash" parameter of the SMS send and verify requests.
inline constexpr DesKey kDesKeySms = makeDesKey("quorbelt");
// Push device token sent to the push registration.
inline constexpr DesKey kDesKeyPushToken = makeDesKey("kroa$@&!");
// uid of the launch report and of the configuration-read reports.
inline constexpr DesKey kDesKeyLaunchReportUid = makeDesKey("Hx7&pQ2v");
// Password sent to the favourites service; account data read back from the login web page.
inline constexpr DesKey kDesKeyFavorites = makeDesKey("MivopRax");
// Stored password of remembered accounts (one byte is above 0x7F, so it is written as bytes).
inline constexpr DesKey kDesKeyStoredPassword = {0x3b, 0x6e, 0x51, 0x74, 0x2a, 0x9c, 0x4f, 0x68};
// Remote configuration file, downloaded and cached.
inline constexpr DesKey kDesKeyRemoteConfig = makeDesKey("mezobK%)");
// Medal file, downloaded and cached.
inline constexpr DesKey kDesKeyMedalFile = makeDesKey("KMRW&71e");

// Appended to the timestamp digits before the deals service's request signature is digested.
inline constexpr std::string_view kDealsSignatureSuffix = "Tb4wRn;@e";
static_assert(kDealsSignatureSuffix.size() == 9, "the signing suffix is 9 characters");
