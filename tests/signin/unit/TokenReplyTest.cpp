// Token endpoint replies and request bodies.
#include "signin/TokenReply.h"

#include "signin/FormEncoding.h"

#include <gtest/gtest.h>

using namespace signin;
using Kind = TokenReply::Kind;

TEST(TokenReply, ReadsTokensRotationAndRefusals)
{
    const struct {
        int status;
        std::string body;
        Kind kind;
        std::string access;
        std::int64_t expires;
        std::optional<std::string> refresh;
        std::string error;
    } rows[] = {
        { 200, R"({"access_token":"at1","token_type":"Bearer","expires_in":3599,"refresh_token":"rt2"})", Kind::Tokens,
            "at1", 3599, "rt2", "" },
        { 200, R"({"access_token":"at1","token_type":"bearer","expires_in":"60"})", Kind::Tokens, "at1", 60,
            std::nullopt, "" },
        { 200, R"({"access_token":"at1","token_type":"Bearer"})", Kind::Tokens, "at1", 0, std::nullopt, "" },
        { 200, R"({"access_token":"at1","token_type":"Bearer","expires_in":-5,"refresh_token":""})", Kind::Tokens,
            "at1", 0, std::nullopt, "" },
        // A token that could not travel in a SASL message or a store value is no token.
        { 200, R"({"access_token":"a t","token_type":"Bearer"})", Kind::Error, "", 0, std::nullopt,
            "The token service sent no bearer token" },
        { 200, R"({"access_token":"at","token_type":"mac"})", Kind::Error, "", 0, std::nullopt,
            "The token service sent no bearer token" },
        { 200, R"({"token_type":"Bearer"})", Kind::Error, "", 0, std::nullopt,
            "The token service sent no bearer token" },
        { 400, R"({"error":"invalid_grant","error_description":"AADSTS70000: revoked"})", Kind::InvalidGrant, "", 0,
            std::nullopt, "invalid_grant: AADSTS70000: revoked" },
        { 401, R"({"error":"invalid_client"})", Kind::Error, "", 0, std::nullopt, "invalid_client" },
        { 400, R"({"error":"invalid_request","error_description":"line\nbreak"})", Kind::Error, "", 0, std::nullopt,
            "invalid_request: linebreak" },
        { 500, "<html>oops</html>", Kind::Error, "", 0, std::nullopt,
            "The token service sent no readable answer (HTTP 500)" },
        { 502, R"({"message":"bad gateway"})", Kind::Error, "", 0, std::nullopt,
            "The token service refused the request (HTTP 502)" },
        { 400, R"({"error":"\u0007\r\n","error_description":"why"})", Kind::Error, "", 0, std::nullopt,
            "The token service refused the request (HTTP 400): why" },
        { 200, R"(["access_token"])", Kind::Error, "", 0, std::nullopt,
            "The token service sent no readable answer (HTTP 200)" },
        { 0, "", Kind::Error, "", 0, std::nullopt, "The token service sent no readable answer (HTTP 0)" },
    };
    for (const auto& row : rows) {
        const TokenReply r = ReadTokenReply(row.status, row.body);
        EXPECT_EQ(r.kind, row.kind) << row.body;
        EXPECT_EQ(r.accessToken, row.access) << row.body;
        EXPECT_EQ(r.expiresIn, row.expires) << row.body;
        EXPECT_EQ(r.refreshToken, row.refresh) << row.body;
        EXPECT_EQ(r.error, row.error) << row.body;
    }
}

TEST(TokenReply, RequestBodiesCarryTheVerifierAndTheSecretOnlyWhenThereIsOne)
{
    Provider p;
    p.clientId = "cid";
    const auto exchange = FormDecode(CodeExchangeBody(p, "c/1", "ver", "http://127.0.0.1:5/"));
    ASSERT_TRUE(exchange);
    EXPECT_EQ(exchange->find("grant_type")->second, "authorization_code");
    EXPECT_EQ(exchange->find("code")->second, "c/1");
    EXPECT_EQ(exchange->find("code_verifier")->second, "ver");
    EXPECT_EQ(exchange->find("redirect_uri")->second, "http://127.0.0.1:5/");
    EXPECT_EQ(exchange->count("client_secret"), 0U);
    p.clientSecret = "s&cret";
    const auto refresh = FormDecode(RefreshBody(p, "rt+1"));
    ASSERT_TRUE(refresh);
    EXPECT_EQ(refresh->find("grant_type")->second, "refresh_token");
    EXPECT_EQ(refresh->find("refresh_token")->second, "rt+1");
    EXPECT_EQ(refresh->find("client_secret")->second, "s&cret");
}
