// The mail service's account lines and arguments, as written in its files and command lines.
#include "FuzzInput.h"
#include "tools/mailservice/AccountLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    const bool asArgument = (input.Byte() & 1) != 0;
    const std::string text = input.Rest();
    std::string error;
    if (asArgument) {
        mailservice::ParseAccountArgument(text, error);
    } else {
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (;;) {
            const auto tab = text.find('\t', start);
            fields.push_back(text.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos)
                break;
            start = tab + 1;
        }
        mailservice::ParseAccount(fields, error);
    }
    mailservice::Escape(mailservice::Unescape(text));
    return 0;
}
