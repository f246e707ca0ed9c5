#include "app/Endpoints.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class EnvironmentGuard {
public:
    explicit EnvironmentGuard(const char* name)
        : name_(name)
    {
        if (const char* v = std::getenv(name))
            saved_ = v, had_ = true;
        unsetenv(name);
    }
    ~EnvironmentGuard()
    {
        if (had_)
            setenv(name_, saved_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::string saved_;
    bool had_ = false;
};

} // namespace

TEST(Endpoints, DefaultsUseReservedExampleNames)
{
    EnvironmentGuard a("QUORVEL_LOGIN_HOST"), b("QUORVEL_HOMEPAGE");
    EXPECT_EQ(app::LoginServer(), "login.mail.example.com");
    EXPECT_EQ(app::HomePage(), "http://quorvel.example.org/");
    EXPECT_EQ(app::VersionDocument(), "http://quorvel.example.org/verInfo");
}

TEST(Endpoints, EnvironmentOverrides)
{
    EnvironmentGuard a("QUORVEL_LOGIN_HOST"), b("QUORVEL_HOMEPAGE");
    setenv("QUORVEL_LOGIN_HOST", "127.0.0.1:8025", 1);
    setenv("QUORVEL_HOMEPAGE", "http://127.0.0.1:8025/home", 1);
    EXPECT_EQ(app::LoginServer(), "127.0.0.1:8025");
    EXPECT_EQ(app::HomePage(), "http://127.0.0.1:8025/home/");
    EXPECT_EQ(app::VersionDocument(), "http://127.0.0.1:8025/home/verInfo");
    setenv("QUORVEL_LOGIN_HOST", "", 1);
    EXPECT_EQ(app::LoginServer(), "login.mail.example.com");
}
