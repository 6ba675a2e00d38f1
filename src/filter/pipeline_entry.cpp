// The hand-over from a session's final step to the filter. The session passes
// itself, so the batch judged and the verdicts stored are its own, whatever
// other sessions (of this cycle or an earlier one) are doing.
#include "app/core/filter_app.h"
#include "filter/message_preparer.h"
#include "mail/session.h"

void CFilterApp::ProcessFetchedMessages(CMailSession& session) {
    // The texts were parsed and scored while the fetch went on; each is freed
    // once parsed, so a batch of large mails is not held twice.
    std::vector<PreparedMessage> prepared = session.TakePreparedMessages();
    if (prepared.size() != session.Messages.size()) {
        // Not every fetched text was prepared: no verdicts, nothing deleted.
        session.Verdicts.clear();
        return;
    }
    session.Verdicts = JudgePreparedBatch(std::move(prepared));
}
