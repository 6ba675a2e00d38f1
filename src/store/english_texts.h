#pragma once
// The English texts of every text id with a fixed text: the built-in defaults,
// and the labels and reasons whose built-in default is empty so that only the
// default language file supplies them. A "\n" in a text is a line feed.
#include <span>
#include <string>

struct EnglishText {
    int Id = 0;
    const char* Text = "";
    bool FileOnly = false; // built-in default empty; the language file gives Text
};

// In ascending id order, each id once.
std::span<const EnglishText> EnglishTexts();

// The built-in default of textId: empty for an unknown id and for FileOnly ids.
std::string EnglishDefault(int textId);
