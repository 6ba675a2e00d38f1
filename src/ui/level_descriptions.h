#pragma once
// The fixed texts that the description page shows for the tree nodes that
// have no page of their own: the branches and the five security levels.
#include <optional>
#include <string>

struct DescriptionText {
    int TextId = 0;      // looked up with GetLocalizedText, then ExpandLineBreaks
    std::string English; // the built-in default
};

// The description for node value 0 or 9 to 16; nothing for any other value.
std::optional<DescriptionText> DescriptionForNode(int nodeValue);
