#include "ui/login_problem_texts.h"

#include "ui/text_conv.h"

namespace {
struct ProblemTexts {
    int Name, Advice;
};
ProblemTexts TextsOf(LoginProblem problem) {
    switch (problem) {
    case LoginProblem::None:
        break;
    case LoginProblem::PasswordRejected:
        return {18113, 18013};
    case LoginProblem::PasswordKeptBack:
        return {18114, 18110};
    case LoginProblem::TlsFailed:
        return {18115, 18118};
    case LoginProblem::Throttled:
        return {18116, 18119};
    case LoginProblem::BasicAuthDisabled:
        return {18117, 18120};
    case LoginProblem::CertificateRefused:
        return {18128, 18129};
    case LoginProblem::SignInNeeded:
        return {18130, 18131};
    case LoginProblem::ProviderUnreachable:
        return {18132, 18133};
    case LoginProblem::SignInNotOffered:
        return {18134, 18135};
    }
    return {0, 0};
}
constexpr int kServerSaid = 18122;
} // namespace

QString LoginProblemName(CFilterApp& app, LoginProblem problem) {
    const int id = TextsOf(problem).Name;
    return id ? LocalText(app, id) : QString();
}

QString LoginProblemAdvice(CFilterApp& app, LoginProblem problem) {
    const int id = TextsOf(problem).Advice;
    return id ? LocalText(app, id) : QString();
}

QString ServerSaid(CFilterApp& app, const std::string& serverText) {
    return serverText.empty() ? QString() : LocalText(app, kServerSaid).arg(ToQString(serverText));
}
