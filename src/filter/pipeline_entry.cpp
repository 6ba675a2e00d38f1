// The hand-over from a session's final step to the filter. The session passes
// its own batch, so the batch judged and the verdicts returned are its own,
// whatever other sessions (of this cycle or an earlier one) are doing.
#include "app/core/filter_app.h"
#include "filter/message_preparer.h"

BatchJudgement CFilterApp::ProcessFetchedMessages(std::vector<PreparedMessage> prepared,
                                                  size_t batchSize,
                                                  const std::vector<JudgedMessage>& remembered,
                                                  bool dryRun) {
    std::lock_guard guard(AppLock);
    BatchJudgement judgement;
    // Not every fetched text was prepared: no verdicts, nothing deleted.
    if (prepared.size() != batchSize)
        return judgement;
    RememberedKeyDigests.clear();
    BatchDryRun = dryRun;
    for (const JudgedMessage& m : remembered)
        RememberedKeyDigests.push_back(m.KeyDigest);
    judgement.Verdicts = JudgePreparedBatch(std::move(prepared));
    RememberedKeyDigests.clear();
    judgement.Judged = std::move(BatchJudged);
    BatchJudged.clear();
    judgement.Unanswered = UnansweredMessages;
    judgement.Reasons = std::move(BatchReasons);
    BatchReasons.clear();
    judgement.RememberedVerdicts = ExpireRememberedMessages(remembered);
    BatchDryRun = false;
    std::string error;
    if (!LearnedScore.SaveIfChanged(&error))
        LogLine("what was learned could not be written: " + error, "-");
    return judgement;
}
