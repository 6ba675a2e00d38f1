#pragma once
// The tokens of a decoded mail for the learned score: 64-bit hashes of the
// words of its subject and text (each place apart), its sender's address
// and domain, and the hosts its links name.
#include <cstdint>
#include <vector>

struct DecodedMail;

// The distinct tokens, sorted; at most a few thousand, the first ones win.
std::vector<uint64_t> MailTokens(const DecodedMail& mail);
