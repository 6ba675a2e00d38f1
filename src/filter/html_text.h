#pragma once
// The text a browser would show of an HTML part: tags, comments, scripts,
// styles and the head dropped, entities resolved, block tags ending lines,
// blanks collapsed; one pass, at most `limit` bytes, valid UTF-8 out.
#include <cstddef>
#include <string>
#include <string_view>

std::string HtmlToText(std::string_view html, size_t limit);
