// Any fetched text: parsing must stay in bounds and total (the spam score's
// counting is checked against a plain search by the unit tests).
#include "filter/mail_message.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    CMailMessage message;
    message.SetRawText(input);
    message.ParseHeaders();
    // The key ends in a line feed and a 16-digit body digest; the bare
    // address is a piece of the text.
    if (message.GetDate().size() > 16 || message.GetMessageKey().size() > 4 * size + 33 ||
        input.find(message.GetBareAddress()) == std::string::npos)
        std::abort();
    return 0;
}
