#include "settings/AccountNames.h"

#include "platform/store/RegistryNames.h"
#include "settings/KeyPaths.h"
#include "settings/RegistryAccessor.h"

#include <QList>
#include <QString>

namespace settings {

namespace {

bool HasControlCharacter(const std::string& name)
{
    for (const uint c : QString::fromStdString(name).toUcs4())
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
            return true;
    return false;
}

bool Stored(const std::string& name)
{
    try {
        RegistryAccessor reg;
        return reg.OpenKey(AccountKeyPrefix + name, false);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

std::size_t MaxAccountNameChars()
{
    return platform::registry::MaxKeyNameChars;
}

bool SameAccountName(const std::string& a, const std::string& b)
{
    return platform::registry::FoldName(a) == platform::registry::FoldName(b);
}

TNameProblem CheckNewAccountName(const std::string& name, const std::vector<std::string>& listed)
{
    if (name.empty())
        return TNameProblem::Empty;
    // A backslash would make a path of nested keys, listed later under its first part only.
    if (name.find('\\') != std::string::npos)
        return TNameProblem::Backslash;
    if (name.find('\0') != std::string::npos || HasControlCharacter(name))
        return TNameProblem::ControlCharacter;
    if (!platform::registry::ValidKeyName(name))
        return TNameProblem::TooLong;
    for (const std::string& other : listed)
        if (SameAccountName(name, other))
            return TNameProblem::Exists;
    // Another instance may have stored it since the list was read.
    if (Stored(name))
        return TNameProblem::Exists;
    return TNameProblem::None;
}

} // namespace settings
