#pragma once
// The 17 nodes of the main window's navigation tree, in insertion order.
// A node's value decides what choosing it shows: 1 to 8 a page, 0 and 9 to
// 16 a description; the values 11 to 15 are the five security levels.
#include <array>

struct NavigationNode {
    const char* Label; // shown until the first localisation
    int Parent;        // index of the parent node, -1 for the root
    int Value;
    const char* Icon; // resource path
};

inline constexpr int kNavigationNodeCount = 17;
inline constexpr int kFirstNodeLabelTextId = 15001;

inline constexpr std::array<NavigationNode, kNavigationNodeCount> kNavigationNodes = {{
    {"Mail Setup", -1, 0, ":/icons/mail_setup.svg"},
    {"Add new e-mail account", 0, 1, ":/icons/add_account.svg"},
    {"View or Change existing e-mail account", 0, 2, ":/icons/change_account.svg"},
    {"Delete account", 0, 3, ":/icons/delete_account.svg"},
    {"Conntection Settings", 0, 4, ":/icons/connection.svg"},
    {"Filter Properties", -1, 9, ":/icons/filter_properties.svg"},
    {"Levels", 5, 10, ":/icons/levels.svg"},
    {"Very High", 6, 11, ":/icons/level_very_high.svg"},
    {"High", 6, 12, ":/icons/level_high.svg"},
    {"Normal", 6, 13, ":/icons/level_normal.svg"},
    {"Low", 6, 14, ":/icons/level_low.svg"},
    {"Very Low", 6, 15, ":/icons/level_very_low.svg"},
    {"Spam Words", 5, 5, ":/icons/spam_words.svg"},
    {"Senders", -1, 16, ":/icons/senders.svg"},
    {"Friends List", 13, 6, ":/icons/friends.svg"},
    {"Junk List", 13, 7, ":/icons/junk.svg"},
    {"Options", -1, 8, ":/icons/options.svg"},
}};

// Node indexes the close action collapses: the four branches.
inline constexpr std::array<int, 4> kBranchNodes = {0, 5, 6, 13};

// The level nodes: value v stands for FilterLevel 15 - v.
inline constexpr int kFirstLevelValue = 11;
inline constexpr int kLastLevelValue = 15;
inline constexpr bool IsLevelValue(int value) {
    return value >= kFirstLevelValue && value <= kLastLevelValue;
}
inline constexpr int LevelOfValue(int value) {
    return kLastLevelValue - value;
}
