#include "filter/message_preparer.h"

#include "filter/mail_decoder.h"
#include "filter/mail_message.h"
#include "filter/spam_scorer.h"
#include "filter/token_classifier.h"

#include <algorithm>
#include <system_error>

namespace {
constexpr int kFirstLines = 4;
constexpr size_t kFirstLinesBytes = 400;

void AddDecoded(PreparedMessage& prepared, const std::string& text, bool readDecoded) {
    DecodedMail mail = DecodeMail(MessageOfFetchedText(text));
    prepared.Tokens = MailTokens(mail);
    prepared.FirstLines = FirstLinesOf(mail.Text, kFirstLines, kFirstLinesBytes);
    prepared.ShownFrom = std::move(mail.FromAddress);
    prepared.ShownSubject = std::move(mail.Subject);
    // A text without a readable header keeps the cuts for the rules.
    prepared.ReadDecoded = readDecoded && mail.Parsed;
    if (prepared.ReadDecoded)
        prepared.ShownText = std::move(mail.Text);
}
} // namespace

PreparedMessage PrepareMessage(std::string text, std::shared_ptr<const CSpamScorer> scorer,
                               bool readDecoded) {
    PreparedMessage prepared;
    AddDecoded(prepared, text, readDecoded);
    CMailMessage record;
    record.SetRawText(std::move(text));
    record.ParseHeaders();
    prepared.Sender = record.GetSender();
    prepared.SenderDomain = record.GetSenderDomain();
    prepared.BareAddress = record.GetBareAddress();
    prepared.Subject = record.GetSubject();
    prepared.Date = record.GetDate();
    prepared.Body = record.GetBodyText();
    prepared.AttachmentTypes = record.GetAttachmentTypes();
    prepared.Key = record.GetMessageKey();
    prepared.Size = record.GetSize();
    if (scorer) {
        prepared.SpamScore = prepared.ReadDecoded
                                 ? scorer->Score(prepared.ShownText, prepared.ShownSubject)
                                 : scorer->Score(prepared.Body, prepared.Subject);
        prepared.ScoredBy = std::move(scorer);
        prepared.ShownText = std::string();
    }
    return prepared;
}

CMessagePreparer::CMessagePreparer(std::shared_ptr<const CSpamScorer> scorer, bool readDecoded)
    : scorer_(std::move(scorer)), readDecoded_(readDecoded) {
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // Add prepares on the caller's thread instead.
    }
}

CMessagePreparer::~CMessagePreparer() {
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
        queue_.clear();
        queuedBytes_ = 0;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void CMessagePreparer::Place(size_t position, PreparedMessage prepared) {
    if (position >= done_.size()) {
        done_.resize(position + 1);
        placed_.resize(position + 1, false);
    }
    done_[position] = std::move(prepared);
    placed_[position] = true;
}

void CMessagePreparer::Add(size_t position, std::string text) {
    if (!thread_.joinable()) {
        Place(position, PrepareMessage(std::move(text), scorer_, readDecoded_));
        return;
    }
    {
        std::unique_lock guard(lock_);
        // A text larger than the bound still goes in, once the queue is empty.
        changed_.wait(guard, [&] {
            return queuedBytes_ == 0 || queuedBytes_ + text.size() <= kMaxQueuedBytes;
        });
        queuedBytes_ += text.size();
        queue_.emplace_back(position, std::move(text));
    }
    changed_.notify_all();
}

std::vector<PreparedMessage> CMessagePreparer::Finish(size_t count) {
    std::unique_lock guard(lock_);
    changed_.wait(guard, [&] { return queue_.empty() && !busy_; });
    std::vector<PreparedMessage> prepared;
    if (done_.size() == count &&
        std::all_of(placed_.begin(), placed_.end(), [](bool p) { return p; }))
        prepared.swap(done_);
    done_.clear();
    placed_.clear();
    return prepared;
}

void CMessagePreparer::Run() {
    std::unique_lock guard(lock_);
    for (;;) {
        changed_.wait(guard, [&] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            return;
        auto [position, text] = std::move(queue_.front());
        queue_.pop_front();
        queuedBytes_ -= text.size();
        busy_ = true;
        changed_.notify_all(); // room for a waiting Add
        guard.unlock();
        PreparedMessage prepared = PrepareMessage(std::move(text), scorer_, readDecoded_);
        guard.lock();
        Place(position, std::move(prepared));
        busy_ = false;
        changed_.notify_all();
    }
}
