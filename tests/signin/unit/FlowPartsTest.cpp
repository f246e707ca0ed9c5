// The pure parts of a sign-in: proof keys, form coding, the authorization address.
#include "signin/Authorization.h"
#include "signin/FormEncoding.h"
#include "signin/Pkce.h"

#include <gtest/gtest.h>

#include <set>

using namespace signin;

TEST(Pkce, ChallengeIsTheBase64UrlOfTheVerifiersSha256)
{
    // The example of RFC 7636, appendix B.
    EXPECT_EQ(
        PkceChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"), "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) {
        const Pkce p = MakePkce();
        EXPECT_EQ(p.verifier.size(), 43U);
        EXPECT_EQ(p.verifier.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~"),
            std::string::npos);
        EXPECT_EQ(p.challenge, PkceChallenge(p.verifier));
        EXPECT_TRUE(seen.insert(p.verifier).second);
    }
}

TEST(FormEncoding, EncodesAllButTheUnreservedAndDecodesBack)
{
    const struct {
        std::string plain, encoded;
    } rows[] = {
        { "abcXYZ019-._~", "abcXYZ019-._~" },
        { "a b+c&d=e", "a%20b%2Bc%26d%3De" },
        { "https://outlook.office.com/IMAP.AccessAsUser.All offline_access",
            "https%3A%2F%2Foutlook.office.com%2FIMAP.AccessAsUser.All%20offline_access" },
        { "\xC3\xA9\x01", "%C3%A9%01" },
        { std::string("a\0b", 3), "a%00b" },
    };
    for (const auto& row : rows) {
        EXPECT_EQ(PercentEncode(row.plain), row.encoded);
        const auto back = FormDecode("x=" + row.encoded);
        ASSERT_TRUE(back) << row.encoded;
        EXPECT_EQ(back->find("x")->second, row.plain);
    }
    EXPECT_EQ(FormEncode({ { "a", "1" }, { "empty", "" }, { "b c", "2&3" } }), "a=1&b%20c=2%263");
}

TEST(FormEncoding, DecodingTakesPlusAsBlankAndRefusesBrokenEscapes)
{
    const struct {
        std::string text;
        bool valid;
        std::string name, value;
    } rows[] = {
        { "a=b+c", true, "a", "b c" },
        { "a=%41%42", true, "a", "AB" },
        { "a=%4", false, "", "" },
        { "a=%", false, "", "" },
        { "a=%zz", false, "", "" },
        { "&&a=1&", true, "a", "1" },
        { "a", true, "a", "" },
    };
    for (const auto& row : rows) {
        const auto fields = FormDecode(row.text);
        ASSERT_EQ(fields.has_value(), row.valid) << row.text;
        if (row.valid) {
            EXPECT_EQ(fields->find(row.name)->second, row.value) << row.text;
        }
    }
}

TEST(AuthorizationAddress, CarriesTheCodeRequestWithPkceAndTheLoginHint)
{
    Provider p;
    p.clientId = "client 1";
    p.authorize = "https://login.example/authorize";
    p.scope = "https://mail.example/ offline_access";
    const std::string address
        = AuthorizationAddress(p, { "http://127.0.0.1:4711/", "st8", "chal", "someone+tag@outlook.com" });
    EXPECT_EQ(address,
        "https://login.example/authorize?response_type=code&client_id=client%201"
        "&redirect_uri=http%3A%2F%2F127.0.0.1%3A4711%2F&scope=https%3A%2F%2Fmail.example%2F%20offline_access"
        "&state=st8&code_challenge=chal&code_challenge_method=S256&login_hint=someone%2Btag%40outlook.com");
    p.authorize = "https://login.example/authorize?tenant=x";
    EXPECT_EQ(AuthorizationAddress(p, { "u", "s", "c", "" })
                  .rfind("https://login.example/authorize?tenant=x&response_type=code", 0),
        0U);
}
