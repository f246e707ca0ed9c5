// Reading the count of new messages out of an arbitrary page.
#include "FuzzInput.h"
#include "app/InterpretPage.h"
#include "platform/core/Exceptions.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    const int offset = static_cast<std::int8_t>(input.Byte());
    const std::string failText = input.Text();
    const std::string searchText = input.Text();
    const std::string page = input.Rest();
    try {
        const int result = app::InterpretPage(page, failText, searchText, offset);
        // A count has at most five digits.
        if (result < app::kInterpretionError || result > 99999)
            std::abort();
    } catch (const platform::EConvertError&) { }
    return 0;
}
