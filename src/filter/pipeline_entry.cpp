// The hand-over from a session's final step to the filter. The session passes
// itself, so the batch judged and the verdicts stored are its own, whatever
// other sessions (of this cycle or an earlier one) are doing.
#include "app/core/filter_app.h"
#include "mail/session.h"

void CFilterApp::ProcessFetchedMessages(CMailSession& session) {
    session.Verdicts = JudgeBatch(session.Messages);
}
