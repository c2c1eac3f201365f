// SPDX-License-Identifier: GPL-3.0-or-later
#include "signin/TokenRequest.h"

#include "base/Text.h"
#include "signin/SignInErrors.h"

#include <curl/curl.h>
#include <nlohmann/json.hpp>
#include <openssl/crypto.h>

#include <cstdlib>
#include <memory>
#include <mutex>

namespace {

// An answer larger than this is no token response.
constexpr std::size_t MaxAnswerBytes = 1 << 20;
// A year: longer lifetimes are taken as this.
constexpr long long MaxExpiresIn = 365LL * 24 * 3600;

// A token the mail server will take inside a SASL response: visible ASCII.
bool plausibleToken(const std::string& t)
{
    if (t.empty())
        return false;
    for (char c : t)
        if (c < 0x21 || c > 0x7E)
            return false;
    return true;
}

std::string stringField(const nlohmann::json& j, const char* name)
{
    const auto it = j.find(name);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

struct CurlFree {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistFree {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

struct Transfer {
    std::string body;
    bool tooLarge = false;
    const TStopHook* stop = nullptr;
};

size_t onData(char* data, size_t size, size_t count, void* user)
{
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (t->body.size() + n > MaxAnswerBytes) {
        t->tooLarge = true;
        return 0;
    }
    t->body.append(data, n);
    return n;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* t = static_cast<Transfer*>(user);
    return *t->stop && (*t->stop)() ? 1 : 0;
}

// POSTs form to the token endpoint; returns the answer's body, status in
// status. form is wiped afterwards: it holds the code or refresh token.
std::string post(const TOAuthClient& client, std::string& form, int timeoutSeconds, const TStopHook& stop, long& status)
{
    static std::once_flag curlReady;
    std::call_once(curlReady, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    struct Wipe {
        std::string& s;
        ~Wipe() { OPENSSL_cleanse(s.data(), s.size()); }
    } wipe{form};

    CheckEndpoint(client.TokenEndpoint, "token endpoint");
    std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
    if (!curl)
        throw ESignInError("Cannot start a request to the identity server (out of memory).");
    std::unique_ptr<curl_slist, SlistFree> headers(curl_slist_append(nullptr, "Accept: application/json"));
    Transfer t;
    t.stop = &stop;
    char errors[CURL_ERROR_SIZE] = "";
    const long seconds = timeoutSeconds > 0 ? timeoutSeconds : 1;
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, client.TokenEndpoint.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, seconds);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, seconds < 30 ? seconds : 30L);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "Tolmu");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, form.c_str());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(form.size()));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &onData);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errors);

    const CURLcode rc = curl_easy_perform(c);
    if (rc == CURLE_ABORTED_BY_CALLBACK)
        throw ESignInError("The sign-in was cancelled.");
    if (rc == CURLE_WRITE_ERROR && t.tooLarge)
        throw ESignInError("The identity server's answer is too large to be a token.");
    if (rc == CURLE_OPERATION_TIMEDOUT)
        throw ESignInError("The identity server did not answer within " + std::to_string(seconds) + " seconds ("
                           + EndpointForText(client.TokenEndpoint) + ").");
    if (rc != CURLE_OK)
        throw ESignInError("Cannot reach the identity server: " + std::string(*errors ? errors : curl_easy_strerror(rc))
                           + " (" + EndpointForText(client.TokenEndpoint) + ").");
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    return std::move(t.body);
}

std::string clientFields(const TOAuthClient& client)
{
    std::string f = "&client_id=" + UrlEncode(client.ClientId);
    if (!client.ClientSecret.empty())
        f += "&client_secret=" + UrlEncode(client.ClientSecret);
    return f;
}

} // namespace

TTokenResponse ParseTokenResponse(long httpStatus, std::string_view body, bool refreshing)
{
    const nlohmann::json j = nlohmann::json::parse(body, nullptr, false);
    const bool ok = httpStatus >= 200 && httpStatus < 300;
    if (!j.is_object()) {
        if (!ok)
            throw ESignInError("The identity server answered HTTP " + std::to_string(httpStatus) + ".");
        throw ESignInError("The identity server's answer could not be read.");
    }
    const std::string error = stringField(j, "error");
    if (!error.empty() || !ok) {
        if (error == "invalid_grant") {
            if (refreshing)
                throw EGrantRevoked();
            throw ESignInError("The identity server did not take the sign-in code (invalid_grant): sign in again.");
        }
        if (error == "invalid_client")
            throw ESignInError("The identity server does not know this client id or secret (invalid_client).");
        const std::string description = stringField(j, "error_description");
        throw ESignInError("The identity server refused the sign-in: "
                           + (error.empty() ? "HTTP " + std::to_string(httpStatus) : ServerText(error, 60))
                           + (description.empty() ? "" : " (" + ServerText(description) + ")") + ".");
    }
    TTokenResponse r;
    r.AccessToken = stringField(j, "access_token");
    if (r.AccessToken.empty())
        throw ESignInError("The identity server's answer holds no access token.");
    if (!plausibleToken(r.AccessToken))
        throw ESignInError("The identity server's access token holds characters a mail server cannot take.");
    const std::string type = stringField(j, "token_type");
    if (!type.empty() && !text::sameText(type, "Bearer"))
        throw ESignInError("The identity server gave a token of type \"" + ServerText(type, 40)
                           + "\"; mail servers take Bearer tokens only.");
    r.RefreshToken = stringField(j, "refresh_token");
    if (!r.RefreshToken.empty() && !plausibleToken(r.RefreshToken))
        throw ESignInError("The identity server's refresh token holds characters that cannot be kept.");
    r.Scope = stringField(j, "scope");
    if (const auto it = j.find("expires_in"); it != j.end()) {
        // Read as a double first: a huge or fractional lifetime must clamp,
        // not overflow the cast.
        double secs = 0;
        if (it->is_number())
            secs = it->get<double>();
        else if (it->is_string())
            secs = std::strtod(it->get<std::string>().c_str(), nullptr);
        const long long whole = !(secs > 0) ? 0 : secs > MaxExpiresIn ? MaxExpiresIn : static_cast<long long>(secs);
        r.ExpiresIn = std::chrono::seconds(whole);
    }
    return r;
}

TTokenResponse ExchangeCode(const TOAuthClient& client, const std::string& code, const std::string& verifier,
                            const std::string& redirectUri, int timeoutSeconds, const TStopHook& stop)
{
    std::string form = "grant_type=authorization_code&code=" + UrlEncode(code) + "&redirect_uri="
        + UrlEncode(redirectUri) + "&code_verifier=" + UrlEncode(verifier) + clientFields(client);
    long status = 0;
    const std::string body = post(client, form, timeoutSeconds, stop, status);
    return ParseTokenResponse(status, body, false);
}

TTokenResponse RefreshAccessToken(const TOAuthClient& client, const std::string& refreshToken, int timeoutSeconds,
                                  const TStopHook& stop)
{
    std::string form = "grant_type=refresh_token&refresh_token=" + UrlEncode(refreshToken) + clientFields(client);
    long status = 0;
    const std::string body = post(client, form, timeoutSeconds, stop, status);
    return ParseTokenResponse(status, body, true);
}
