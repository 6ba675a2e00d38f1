// Any fetched text: parsing must stay in bounds and total (the spam score's
// counting is checked against a plain search by the unit tests), and so
// must decoding it as a mail program would show it.
#include "filter/mail_decoder.h"
#include "filter/mail_message.h"

#include <cstdint>
#include <cstdlib>
#include <iconv.h>
#include <string>

namespace {
// Checked by the C library's converter, not by the decoder's own code.
bool IsUtf8(const std::string& text) {
    static iconv_t check = iconv_open("UTF-8", "UTF-8");
    iconv(check, nullptr, nullptr, nullptr, nullptr);
    std::string copy = text;
    std::string out(text.size() + 4, '\0');
    char* in = copy.data();
    char* to = out.data();
    size_t inLeft = copy.size();
    size_t outLeft = out.size();
    return iconv(check, &in, &inLeft, &to, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
}
} // namespace

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

    const DecodedMail mail = DecodeMail(MessageOfFetchedText(input));
    if (mail.Text.size() > kMaxDecodedText || !IsUtf8(mail.Text) || !IsUtf8(mail.Subject) ||
        !IsUtf8(mail.From) || !IsUtf8(mail.FromAddress) ||
        (!mail.Parsed && !(mail.Text + mail.Subject + mail.From + mail.FromAddress).empty()))
        std::abort();
    // A header value: the input's first line.
    const std::string value = input.substr(0, input.find('\n'));
    if (!IsUtf8(DecodeHeaderText(value)) || !IsUtf8(FirstLinesOf(mail.Text, 3, 100)))
        std::abort();
    return 0;
}
