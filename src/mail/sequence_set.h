#pragma once
// IMAP sequence sets ("2,5:7,9"): one command names many messages, so a batch
// costs one round trip instead of one per message.
#include <cstddef>
#include <string>
#include <vector>

// `numbers` (ascending, each once) as sequence sets with runs merged into
// ranges, in order; each set at most `maxLength` bytes, except that a set
// always holds at least one element, so a tiny limit cannot stall the split.
// No numbers: no set.
std::vector<std::string> BuildSequenceSets(const std::vector<long>& numbers, size_t maxLength);
