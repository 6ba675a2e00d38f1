// Any INI text: parsing and lookups stay in bounds, and a value written into
// the document reads back exactly, whatever else the file holds.
#include "platform/profile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    CProfileDocument document;
    document.Parse(text);
    // Names taken from the input itself reach the sections and keys it has.
    std::string section = text.substr(0, std::min<size_t>(size, 8));
    std::string key = size > 8 ? text.substr(8, 6) : std::string("k");
    (void)document.Find(section, key);

    // Only what can be written at all: no line breaks; in names no blanks
    // and none of "=[];".
    auto clean = [](const std::string& s, bool name) {
        std::string out;
        for (char c : s)
            if (c != '\r' && c != '\n' &&
                !(name && std::string(" \t\v\f=[];").find(c) != std::string::npos))
                out += c;
        return out;
    };
    const std::string writeSection = clean(section, true), writeKey = clean(key, true);
    if (writeSection.empty() || writeKey.empty())
        return 0;
    std::string value = clean(size > 14 ? text.substr(14, 40) : std::string(), false);
    document.Set(writeSection, writeKey, &value);
    CProfileDocument reread;
    reread.Parse(document.Serialize());
    auto found = reread.Find(writeSection, writeKey);
    if (!found || *found != value)
        std::abort();
    return 0;
}
