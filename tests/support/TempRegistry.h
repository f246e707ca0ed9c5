// Points the registry store at a fresh file in a temporary folder for the life of a test.
#pragma once

#include <QTemporaryDir>

#include <cstdlib>
#include <optional>
#include <string>

namespace testing_support {

class TempRegistry {
public:
    TempRegistry()
    {
        if (const char* old = std::getenv("QUORVEL_REGISTRY"))
            previous_ = old;
        path_ = folder_.path().toStdString() + "/config/registry.sqlite3";
        setenv("QUORVEL_REGISTRY", path_.c_str(), 1);
    }
    ~TempRegistry()
    {
        if (previous_)
            setenv("QUORVEL_REGISTRY", previous_->c_str(), 1);
        else
            unsetenv("QUORVEL_REGISTRY");
    }
    TempRegistry(const TempRegistry&) = delete;
    TempRegistry& operator=(const TempRegistry&) = delete;

    const std::string& Path() const { return path_; }
    std::string Folder() const { return folder_.path().toStdString(); }

private:
    QTemporaryDir folder_;
    std::string path_;
    std::optional<std::string> previous_;
};

} // namespace testing_support
