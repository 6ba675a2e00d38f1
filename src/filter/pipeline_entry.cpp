// The hand-over from a session's final step to the filter. The session passes
// itself, so the batch judged and the verdicts stored are its own, whatever
// other sessions (of this cycle or an earlier one) are doing.
#include "app/core/filter_app.h"
#include "mail/session.h"

void CFilterApp::ProcessFetchedMessages(CMailSession& session) {
    // The texts go to the pipeline, which frees each once parsed: a batch of
    // large mails is not held twice while the history grows. The delete
    // step needs only how many there were.
    std::vector<std::string> texts;
    texts.swap(session.Messages);
    session.Messages.resize(texts.size());
    session.Verdicts = JudgeBatch(std::move(texts));
}
