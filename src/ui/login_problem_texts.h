#pragma once
// How the windows, the tray and the notifications word a login problem: a
// short name for a list row or the tooltip, and what the user can do about
// it; the server's own words come apart from both.
#include "mail/session_outcome.h"

#include <QString>

class CFilterApp;

QString LoginProblemName(CFilterApp& app, LoginProblem problem);
QString LoginProblemAdvice(CFilterApp& app, LoginProblem problem);
// "The server said: ..." for a non-empty server text, else empty.
QString ServerSaid(CFilterApp& app, const std::string& serverText);
