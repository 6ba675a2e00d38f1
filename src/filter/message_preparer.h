#pragma once
// What judging needs from one fetched message that depends on its text
// alone: the parsed fields, the repeat key and the spam score. None of it
// depends on the sender lists, the user or the history, so it is worked out
// on a thread of its own while the rest of the mailbox is still arriving,
// and the judging after the fetch only applies the rules.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class CSpamScorer;

struct PreparedMessage {
    // The cuts of the raw text: the history record and the repeat key.
    std::string Sender;
    std::string SenderDomain;
    std::string BareAddress; // CMailMessage::GetBareAddress
    std::string Subject;
    std::string Date;
    std::string Body;
    std::string AttachmentTypes;
    std::string Key; // the repeat key (CMailMessage::GetMessageKey)
    int Size = 0;
    int64_t SpamScore = 0;
    // The tables the score was counted against; null: not counted. The
    // judging uses the score only when its own tables are these.
    std::shared_ptr<const CSpamScorer> ScoredBy;

    // The mail as its reader shows it (decoded), for the question about a
    // new sender and the learned score.
    std::string ShownFrom; // the From field's address; empty: none could be read
    std::string ShownSubject;
    std::string FirstLines;
    std::vector<uint64_t> Tokens;
    // The rules read the decoded sender, subject and text instead of the
    // cuts. The decoded text is kept only while the score is still to count.
    bool ReadDecoded = false;
    std::string ShownText;
};

// Parses the text (then frees it), decodes it and, with a scorer, counts its
// spam score: in the decoded subject and text when `readDecoded`, else in
// the cuts.
PreparedMessage PrepareMessage(std::string text, std::shared_ptr<const CSpamScorer> scorer,
                               bool readDecoded = false);

// Prepares the texts handed to it on one thread, each for its own position in
// the batch (a server may send them in any order). When no thread can be
// started, each text is prepared as it is added.
class CMessagePreparer {
  public:
    // Texts waiting beyond this many bytes make Add wait: when the thread
    // falls behind (a busy machine), unprepared texts must not pile up on top
    // of the prepared ones.
    static constexpr size_t kMaxQueuedBytes = size_t{2} << 20;

    CMessagePreparer(std::shared_ptr<const CSpamScorer> scorer, bool readDecoded);
    ~CMessagePreparer(); // drops what is still queued and joins the thread
    CMessagePreparer(const CMessagePreparer&) = delete;
    CMessagePreparer& operator=(const CMessagePreparer&) = delete;

    void Add(size_t position, std::string text);
    // Waits until every added text is prepared. Element i = the text added for
    // position i, when exactly the positions 0 .. count - 1 were added; empty
    // otherwise (a batch with a gap is not judged).
    std::vector<PreparedMessage> Finish(size_t count);

  private:
    void Run();
    void Place(size_t position, PreparedMessage prepared);

    const std::shared_ptr<const CSpamScorer> scorer_;
    const bool readDecoded_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::pair<size_t, std::string>> queue_;
    size_t queuedBytes_ = 0;
    std::vector<PreparedMessage> done_;
    std::vector<bool> placed_;
    bool busy_ = false; // the thread is preparing a text taken off the queue
    bool stopping_ = false;
    std::thread thread_;
};
