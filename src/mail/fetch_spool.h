#pragma once
// The fetched replies of one batch kept on disk until the verdicts are in,
// so that a condemned message's copy for the recycle bin can be made from
// exactly the bytes that were fetched without holding every text in memory.
// An unnamed file: nothing is left behind when the program ends or is killed.
#include <cstdint>
#include <string>
#include <vector>

class CFetchSpool {
  public:
    CFetchSpool() = default;
    ~CFetchSpool();
    CFetchSpool(const CFetchSpool&) = delete;
    CFetchSpool& operator=(const CFetchSpool&) = delete;

    // Starts an empty spool in `folder` (created 0700 when missing). false
    // when no file could be made; every later Keep then fails too.
    bool Open(const std::string& folder);
    // Keeps the reply of the batch's message `position`. false on a write error.
    bool Keep(size_t position, const std::string& reply);
    // The reply kept for `position`; false when none was kept or it cannot be read.
    bool Take(size_t position, std::string& reply) const;
    void Close();

  private:
    struct Piece {
        int64_t Offset = -1;
        size_t Size = 0;
    };
    int fd_ = -1;
    int64_t end_ = 0;
    std::vector<Piece> pieces_;
};
