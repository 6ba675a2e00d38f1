#include "mail/sequence_set.h"

#include "platform/numconv.h"

std::vector<std::string> BuildSequenceSets(const std::vector<long>& numbers, size_t maxLength) {
    std::vector<std::string> sets;
    std::string current;
    for (size_t first = 0; first < numbers.size();) {
        size_t last = first;
        while (last + 1 < numbers.size() && numbers[last + 1] == numbers[last] + 1)
            ++last;
        std::string item = Itoa(numbers[first]);
        if (last > first)
            item += ":" + Itoa(numbers[last]);
        if (!current.empty() && current.size() + 1 + item.size() > maxLength) {
            sets.push_back(current);
            current.clear();
        }
        current += current.empty() ? item : "," + item;
        first = last + 1;
    }
    if (!current.empty())
        sets.push_back(std::move(current));
    return sets;
}
