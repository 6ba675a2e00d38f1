// Judging a mailbox: 1,000 messages of about 20 KB against 500 spam
// expressions and 10,000 sender list entries, at the Normal level; and the
// same batch judged behind an empty history and behind a long one. The
// learned score: its token file loaded and saved, and a mail tokenised and
// scored. Also the decoding of one 20 KB message as a mail program shows it.
//   bench_judge --benchmark_counters_tabular=true
#include "app/core/filter_app.h"
#include "filter/history_format.h"
#include "filter/levels.h"
#include "filter/mail_decoder.h"
#include "filter/mail_message.h"
#include "filter/message_preparer.h"
#include "filter/token_classifier.h"
#include "platform/digest.h"
#include "token_file.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
constexpr size_t kMessages = 1000;
constexpr size_t kMessageBytes = 20 * 1024;

const std::vector<std::string> kWords = {
    "the",     "meeting", "project", "report", "please",   "attached", "schedule", "review",
    "budget",  "team",    "update",  "thanks", "regards",  "monday",   "deadline", "client",
    "draft",   "minutes", "version", "notes",  "question", "answer",   "follow",   "call",
    "office",  "travel",  "invoice", "order",  "delivery", "status",   "quarter",  "result",
    "summary", "agenda",  "friday",  "lunch",  "contract", "change",   "request",  "approval"};
const std::vector<std::string> kSpamLeft = {
    "cheap",    "free",   "limited", "exclusive", "instant", "guaranteed", "amazing",
    "secret",   "bonus",  "special", "risk-free", "urgent",  "lowest",     "best",
    "hot",      "easy",   "double",  "miracle",   "winner",  "unlimited",  "online",
    "discount", "luxury", "casino",  "rapid"};
const std::vector<std::string> kSpamRight = {
    "offer",  "pills",  "loan",   "money",   "prize",  "deal",      "watches",
    "income", "cash",   "credit", "savings", "access", "diploma",   "weight",
    "meds",   "refund", "bonus",  "jackpot", "trial",  "investment"};

struct CDataDir {
    CDataDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "drossgate-bench-XXXXXX").string();
        Path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~CDataDir() {
        std::error_code ignored;
        std::filesystem::remove_all(Path, ignored);
    }
    std::string Path;
};

std::vector<std::string> SpamExpressions() {
    std::vector<std::string> entries;
    for (const auto& left : kSpamLeft)
        for (const auto& right : kSpamRight)
            entries.push_back(left + " " + right + ">" + std::to_string(1 + entries.size() % 9));
    return entries; // 25 x 20 = 500
}

// 10,000 entries in the two list files, as the list pages would have made them.
void WriteLists(const std::string& dir) {
    std::ofstream friends(dir + "/" + kFriendListFileName, std::ios::binary);
    std::ofstream blocked(dir + "/" + kBlockedListFileName, std::ios::binary);
    for (int i = 0; i < 5000; ++i)
        friends << "   friend" << i << "@mail" << i % 97 << ".example\r\n";
    for (int i = 0; i < 2000; ++i)
        friends << "   *@partner" << i << ".example\r\n";
    for (int i = 0; i < 2500; ++i)
        blocked << "   spammer" << i << "@bulk" << i % 13 << ".example\r\n";
    for (int i = 0; i < 500; ++i)
        blocked << "   *@junk" << i << ".example\r\n";
}

std::string Filler(std::mt19937& random, size_t bytes, bool spammy) {
    std::string text;
    size_t column = 0;
    while (text.size() < bytes) {
        std::string word = kWords[random() % kWords.size()];
        if (spammy && random() % 40 == 0)
            word = kSpamLeft[random() % kSpamLeft.size()] + " " +
                   kSpamRight[random() % kSpamRight.size()];
        text += word;
        column += word.size() + 1;
        if (column > 72) {
            text += "\r\n";
            column = 0;
        } else {
            text += ' ';
        }
    }
    return text;
}

std::string Base64Block(std::mt19937& random, size_t bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    while (text.size() < bytes) {
        for (int i = 0; i < 76; ++i)
            text += digits[random() % 64];
        text += "\r\n";
    }
    return text;
}

// Quoted-printable as mail programs write it: lines of at most 76
// characters, soft breaks, '=' and 8-bit bytes as hex pairs.
std::string QuotedPrintable(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    size_t column = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\r\n";
            column = 0;
            ++i;
            continue;
        }
        std::string piece(1, static_cast<char>(c));
        if (c == '=' || c >= 0x80)
            piece = std::string{'=', hex[c >> 4], hex[c & 15]};
        if (column + piece.size() > 75) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += piece.size();
    }
    return out;
}

// The text and HTML forms of one mail, both quoted-printable, as mail
// programs send most mail now: a styled head, inline markup, entities, links
// and a few 8-bit letters.
std::string AlternativeBody(std::mt19937& random, size_t bytes, bool spammy,
                            const std::string& boundary) {
    std::string plain;
    std::string html = "<html><head><style>p { margin: 0 } .x { color: #333 }</style></head>"
                       "<body><table><tr><td>\r\n";
    while (plain.size() + html.size() < bytes * 4 / 5) {
        const std::string words = Filler(random, 240, spammy);
        plain += words + "caf\xC3\xA9 cr\xC3\xA8me = 100%\r\n\r\n";
        html += "<p class=\"x\">" + words + "<b>caf&eacute;</b>&nbsp;cr&egrave;me &amp; " +
                "<a href=\"https://shop.example/?a=1&amp;b=2\">more</a></p>\r\n";
    }
    html += "</td></tr></table></body></html>\r\n";
    return "--" + boundary +
           "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: "
           "quoted-printable\r\n\r\n" +
           QuotedPrintable(plain) + "\r\n--" + boundary +
           "\r\nContent-Type: text/html; charset=utf-8\r\n"
           "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
           QuotedPrintable(html) + "\r\n--" + boundary + "--\r\n";
}

// A mailbox: mostly friends, some new senders and some blocked ones; a
// third multipart with an attachment, a third text and HTML in
// quoted-printable, the rest plain text; one in forty words of spam mails a
// spam expression.
std::vector<std::string> Mailbox() {
    std::mt19937 random(20030918);
    std::vector<std::string> texts;
    for (size_t i = 0; i < kMessages; ++i) {
        std::string from;
        switch (i % 10) {
        case 0:
        case 1:
            from = "\"New Person\" <stranger" + std::to_string(i) + "@else.example>";
            break;
        case 2:
            from = "spammer" + std::to_string(i % 2500) + "@bulk" + std::to_string(i % 2500 % 13) +
                   ".example";
            break;
        case 3:
            from = "Someone <someone@partner" + std::to_string(i % 2000) + ".example>";
            break;
        default:
            from = "\"Friend\" <friend" + std::to_string(i % 5000) + "@mail" +
                   std::to_string(i % 5000 % 97) + ".example>";
        }
        const bool spammy = i % 7 == 0;
        std::string headers =
            "Return-Path: <bounce@relay.example>\r\nReceived: from relay.example by "
            "mx.example; Tue, 09 Sep 2003 14:02:15 +0200\r\nFrom: " +
            from + "\r\nTo: me@home.example\r\nSubject: " +
            (spammy ? "cheap offer for you " : "Re: project update ") + std::to_string(i) +
            "\r\nDate: Tue, 09 Sep 2003 14:02:11 +0200\r\nMessage-ID: <" + std::to_string(i) +
            "@mail.example>\r\nMIME-Version: 1.0\r\n";
        std::string message;
        if (i % 3 == 0) {
            const std::string boundary = "----=_NextPart_000_" + std::to_string(1000 + i);
            message = headers + "Content-Type: multipart/mixed;\r\n\tboundary=\"" + boundary +
                      "\"\r\n\r\n--" + boundary + "\r\nContent-Type: text/plain\r\n\r\n" +
                      Filler(random, kMessageBytes / 3, spammy) + "\r\n--" + boundary +
                      "\r\nContent-Type: application/pdf\r\nContent-Disposition: attachment;\r\n"
                      "\tfilename=\"report" +
                      std::to_string(i) + ".pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                      Base64Block(random, kMessageBytes * 2 / 3) + "--" + boundary + "--\r\n";
        } else if (i % 3 == 1) {
            const std::string boundary = "----=_Alt_" + std::to_string(1000 + i);
            message = headers + "Content-Type: multipart/alternative;\r\n\tboundary=\"" + boundary +
                      "\"\r\n\r\n";
            message += AlternativeBody(random, kMessageBytes - message.size(), spammy, boundary);
        } else {
            message = headers + "Content-Type: text/plain\r\n\r\n" +
                      Filler(random, kMessageBytes - headers.size(), spammy);
        }
        texts.push_back("+OK " + std::to_string(message.size()) + " octets\r\n" + message +
                        ".\r\n");
    }
    return texts;
}

// `decoded`: the shipped setting, the rules reading the decoded subject and
// text; without it they read the raw cuts.
std::unique_ptr<CFilterApp> MakeApp(const std::string& dir, bool decoded = false) {
    auto app = std::make_unique<CFilterApp>();
    app->InstallPath = dir;
    app->DecodeMail = decoded; // before the tables: they are built for it
    app->LoadSenderList(nullptr, kFriendListFileName);
    app->LoadSenderList(nullptr, kBlockedListFileName);
    app->SpamWordList.Set(SpamExpressions());
    app->BuildSpamWordTables();
    app->ForbiddenExtensions.Set({"exe", "scr", "pif", "vbs"});
    app->FilterLevel = 2;
    app->NewSenderAction = 3; // no question: new senders are ignored
    app->MailLifeTime = 5;
    app->Clock = [] { return LocalDateTime{2003, 9, 10, 8, 30, 0}; };
    return app;
}

struct CSetup {
    CSetup() : Messages(Mailbox()) { WriteLists(Dir.Path); }
    CDataDir Dir;
    std::vector<std::string> Messages;
};

CSetup& Setup() {
    static CSetup setup;
    return setup;
}

// The whole pipeline, history file writes included. Each iteration judges
// the batch on a fresh application object, so the history does not grow
// from one iteration to the next. `learned`: a token file the application
// holds, loaded before the clock runs (at start-up, in the program).
void JudgeBatchOnce(benchmark::State& state, bool decoded, const std::string& learned) {
    CSetup& setup = Setup();
    size_t deleted = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(setup.Dir.Path + "/" + kHistoryFileName);
        auto app = MakeApp(setup.Dir.Path, decoded);
        if (!learned.empty() && app->LearnedScore.Classifier().Load(learned) != 0) {
            state.SkipWithError("the token file did not load");
            break;
        }
        std::vector<std::string> batch = setup.Messages; // judging consumes it
        state.ResumeTiming();
        const std::vector<unsigned char> verdicts = app->JudgeBatch(std::move(batch));
        state.PauseTiming();
        deleted = static_cast<size_t>(std::count(verdicts.begin(), verdicts.end(), 0));
        app.reset();
        state.ResumeTiming();
    }
    state.counters["messages_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kMessages), benchmark::Counter::kIsRate);
    state.counters["deleted_per_batch"] = static_cast<double>(deleted);
    size_t bytes = 0;
    for (const std::string& text : setup.Messages)
        bytes += text.size();
    state.counters["mean_message_bytes"] = static_cast<double>(bytes / kMessages);
}

// The rules on the raw cuts, no token file.
void BM_JudgeBatch(benchmark::State& state) {
    JudgeBatchOnce(state, false, {});
}
BENCHMARK(BM_JudgeBatch)->Unit(benchmark::kMillisecond)->UseRealTime();

// What is left for after the fetch when the texts were parsed and scored
// while it ran: the rules, the history and the repeat marks.
void BM_JudgePreparedBatch(benchmark::State& state) {
    CSetup& setup = Setup();
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(setup.Dir.Path + "/" + kHistoryFileName);
        auto app = MakeApp(setup.Dir.Path);
        std::vector<PreparedMessage> batch;
        for (const std::string& text : setup.Messages)
            batch.push_back(PrepareMessage(text, CurrentSpamScorer(*app)));
        state.ResumeTiming();
        benchmark::DoNotOptimize(app->JudgePreparedBatch(std::move(batch)));
        state.PauseTiming();
        app.reset();
        state.ResumeTiming();
    }
    state.counters["messages_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kMessages), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_JudgePreparedBatch)->Unit(benchmark::kMillisecond)->UseRealTime();

// Parsing and the rules alone: no history.
void BM_ParseAndJudge(benchmark::State& state) {
    CSetup& setup = Setup();
    auto app = MakeApp(setup.Dir.Path);
    CMailMessage record;
    for (auto _ : state) {
        for (const std::string& text : setup.Messages) {
            record.SetRawText(text);
            record.ParseHeaders();
            benchmark::DoNotOptimize(app->JudgeMessage(
                record.GetSender(), record.GetSenderDomain(), record.GetBodyText(),
                record.GetSize(), record.GetSubject(), record.GetAttachmentTypes()));
        }
    }
    state.counters["messages_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kMessages), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ParseAndJudge)->Unit(benchmark::kMillisecond)->UseRealTime();
// A history file of `records` records with bodies of about 2 KB, as years of
// checks leave it.
std::string HistoryText(size_t records) {
    std::mt19937 random(19970101);
    std::vector<std::string> bodies;
    for (int i = 0; i < 64; ++i)
        bodies.push_back(Filler(random, 2048, i % 5 == 0));
    std::string text;
    text.reserve(records * 2150);
    HistoryEntry entry;
    for (size_t i = 0; i < records; ++i) {
        entry.Date = "Tue, " + std::to_string(10 + i % 18) + " Sep 2003";
        entry.From =
            "friend" + std::to_string(i % 5000) + "@mail" + std::to_string(i % 97) + ".example";
        entry.Subject = "Re: project update " + std::to_string(i);
        entry.Reason = i % 5 == 0 ? "23006" : "";
        entry.Body = bodies[i % bodies.size()];
        AppendHistoryRecord(text, entry);
    }
    return text;
}

// The history's file at its starting length; the file is written once and
// cut back to that length before each iteration.
struct CHistorySetup {
    explicit CHistorySetup(size_t records) {
        WriteLists(Dir.Path);
        const std::string text = HistoryText(records);
        Bytes = static_cast<off_t>(text.size());
        std::ofstream(Dir.Path + "/" + kHistoryFileName, std::ios::binary) << text;
    }
    CDataDir Dir;
    off_t Bytes = 0;
};

// The cost of a judged message must not grow with the history: the batch
// behind an empty history and behind one of state.range(0) records loaded
// at start-up. Each iteration starts from a fresh application object that
// has loaded the history's file.
void BM_JudgeBatchBehindHistory(benchmark::State& state) {
    const size_t records = static_cast<size_t>(state.range(0));
    CSetup& setup = Setup();
    CHistorySetup history(records);
    const std::string path = history.Dir.Path + "/" + kHistoryFileName;
    for (auto _ : state) {
        state.PauseTiming();
        if (::truncate(path.c_str(), history.Bytes) != 0) {
            state.SkipWithError("cannot reset the history file");
            break;
        }
        auto app = MakeApp(history.Dir.Path);
        app->LoadHistoryFile();
        if (app->GetHistorySize() != records) {
            state.SkipWithError("the history did not load");
            break;
        }
        std::vector<std::string> batch = setup.Messages;
        state.ResumeTiming();
        benchmark::DoNotOptimize(app->JudgeBatch(std::move(batch)));
        state.PauseTiming();
        app.reset();
        state.ResumeTiming();
    }
    state.counters["history_records"] = static_cast<double>(records);
    state.counters["messages_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kMessages), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_JudgeBatchBehindHistory)
    ->Arg(0)
    ->Arg(100000)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The token file of bench/token_file.h, written once per size by Save.
struct CTokenFileSetup {
    explicit CTokenFileSetup(size_t tokens) : Path(Dir.Path + "/tokens.txt") {
        CTokenClassifier classifier;
        LearnTokenFile(classifier, tokens);
        Tokens = classifier.TokenCount();
        if (classifier.Save(Path) == 0)
            Bytes = std::filesystem::file_size(Path);
    }
    CDataDir Dir;
    std::string Path;
    size_t Tokens = 0;
    uintmax_t Bytes = 0;
};

CTokenFileSetup& TokenFile(size_t tokens) {
    static std::map<size_t, std::unique_ptr<CTokenFileSetup>> files;
    auto& file = files[tokens];
    if (!file)
        file = std::make_unique<CTokenFileSetup>(tokens);
    return *file;
}

void TokenFileCounters(benchmark::State& state, const CTokenFileSetup& file) {
    state.counters["file_bytes"] = static_cast<double>(file.Bytes);
    state.counters["tokens"] = static_cast<double>(file.Tokens);
    state.counters["bytes_per_second"] = benchmark::Counter(
        static_cast<double>(file.Bytes) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate, benchmark::Counter::kIs1024);
}

// Loading at start-up into an empty classifier: a file of state.range(0)
// tokens beside the empty file (its head line only).
void BM_TokenFileLoad(benchmark::State& state) {
    const CTokenFileSetup& file = TokenFile(static_cast<size_t>(state.range(0)));
    if (file.Bytes == 0) {
        state.SkipWithError("the token file was not written");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto classifier = std::make_unique<CTokenClassifier>();
        state.ResumeTiming();
        if (classifier->Load(file.Path) != 0) {
            state.SkipWithError("the token file did not load");
            break;
        }
        state.PauseTiming();
        classifier.reset();
        state.ResumeTiming();
    }
    TokenFileCounters(state, file);
}
BENCHMARK(BM_TokenFileLoad)
    ->Arg(0)
    ->Arg(65000)
    ->Arg(650000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Saving after a check learned something: pruning, writing, syncing, renaming.
void BM_TokenFileSave(benchmark::State& state) {
    const CTokenFileSetup& file = TokenFile(static_cast<size_t>(state.range(0)));
    CTokenClassifier classifier;
    if (file.Bytes == 0 || classifier.Load(file.Path) != 0) {
        state.SkipWithError("the token file did not load");
        return;
    }
    const std::string copy = file.Dir.Path + "/copy.txt";
    for (auto _ : state)
        if (classifier.Save(copy) != 0) {
            state.SkipWithError("the token file was not saved");
            break;
        }
    TokenFileCounters(state, file);
}
BENCHMARK(BM_TokenFileSave)->Arg(0)->Arg(650000)->Unit(benchmark::kMillisecond)->UseRealTime();

DecodedMail DecodedSample(std::mt19937& random, bool spammy) {
    DecodedMail mail;
    mail.Parsed = true;
    mail.FromAddress = spammy ? "offers" + std::to_string(random() % 50) + "@bulk.example"
                              : "friend" + std::to_string(random() % 50) + "@mail.example";
    mail.From = "\"Someone\" <" + mail.FromAddress + ">";
    mail.Subject = spammy ? "cheap offer for you" : "Re: project update";
    // The benchmark's vocabulary, and a third of words never seen before,
    // as names, numbers and typing errors make them.
    mail.Text = Filler(random, kMessageBytes * 2 / 3, spammy);
    while (mail.Text.size() < kMessageBytes) {
        for (size_t letters = 4 + random() % 6; letters > 0; --letters)
            mail.Text += static_cast<char>('a' + random() % 26);
        mail.Text += ' ';
    }
    return mail;
}

// The classifier of the large token file, trained further on 200 mails of
// each kind in the benchmark's vocabulary, so that their words are known.
struct CScoreSetup {
    CScoreSetup() {
        Classifier.Load(TokenFile(650000).Path);
        std::mt19937 random(19990101);
        for (int i = 0; i < 400; ++i)
            Classifier.Learn(MailTokens(DecodedSample(random, i % 2 == 0)), i % 2 == 0);
        for (int i = 0; i < 16; ++i)
            Mails.push_back(DecodedSample(random, i % 4 == 0));
    }
    CTokenClassifier Classifier;
    std::vector<DecodedMail> Mails;
};

CScoreSetup& ScoreSetup() {
    static CScoreSetup setup;
    return setup;
}

// The trained classifier of CScoreSetup as a file, written once.
const std::string& TrainedTokenFile() {
    static const std::string path = [] {
        CScoreSetup& setup = ScoreSetup();
        const std::string file = TokenFile(650000).Dir.Path + "/trained.txt";
        return setup.Classifier.Save(file) == 0 ? file : std::string();
    }();
    return path;
}

// A check as shipped: the rules read the decoded subject and text, and the
// new senders are scored against some 650,000 learned tokens.
void BM_JudgeBatchDecoded(benchmark::State& state) {
    const std::string& learned = TrainedTokenFile();
    if (learned.empty()) {
        state.SkipWithError("the trained token file was not written");
        return;
    }
    JudgeBatchOnce(state, true, learned);
}
BENCHMARK(BM_JudgeBatchDecoded)->Unit(benchmark::kMillisecond)->UseRealTime();

// The tokenizer alone on a decoded text of about 20 KB.
void BM_MailTokens(benchmark::State& state) {
    CScoreSetup& setup = ScoreSetup();
    size_t i = 0, tokens = 0;
    for (auto _ : state) {
        const std::vector<uint64_t> found = MailTokens(setup.Mails[i++ % setup.Mails.size()]);
        tokens += found.size();
    }
    state.counters["tokens_per_mail"] =
        static_cast<double>(tokens) / static_cast<double>(std::max<size_t>(i, 1));
    state.counters["mails_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MailTokens)->Unit(benchmark::kMicrosecond);

// What the learned score adds to a judged mail: tokens, then the score
// against some 650,000 learned tokens.
void BM_MailTokensAndScore(benchmark::State& state) {
    CScoreSetup& setup = ScoreSetup();
    size_t i = 0, spam = 0;
    for (auto _ : state) {
        const double score =
            setup.Classifier.Score(MailTokens(setup.Mails[i++ % setup.Mails.size()]));
        spam += score >= CTokenClassifier::kSpamCutoff;
    }
    state.counters["mails_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["spam_share"] =
        static_cast<double>(spam) / static_cast<double>(std::max<size_t>(i, 1));
}
BENCHMARK(BM_MailTokensAndScore)->Unit(benchmark::kMicrosecond);
// A 20 KB newsletter: multipart/alternative, the text and its HTML form,
// both quoted-printable, with a styled head, inline markup and entities.
std::string NewsletterMail() {
    std::mt19937 random(20040601);
    std::string plain;
    std::string html = "<html><head><title>News</title><style>p { margin: 0 } .x { color: "
                       "#333 }</style></head><body><table><tr><td>";
    while (html.size() < kMessageBytes / 2) {
        const std::string words = Filler(random, 300, true);
        plain += words + "caf\xC3\xA9 cr\xC3\xA8me = 100%\r\n\r\n";
        html += "<p class=\"x\">" + words + "<b>caf&eacute;</b>&nbsp;cr&egrave;me &amp; " +
                "<a href=\"https://shop.example/?a=1&amp;b=2\">more</a></p>\r\n";
    }
    html += "</td></tr></table></body></html>\r\n";
    return "From: \"=?UTF-8?Q?Caf=C3=A9_News?=\" <news@shop.example>\r\nTo: me@home.example\r\n"
           "Subject: =?UTF-8?B?V2Vla2x5IG9mZmVycyBmb3IgeW91?=\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n--alt\r\n"
           "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: "
           "quoted-printable\r\n\r\n" +
           QuotedPrintable(plain) +
           "\r\n--alt\r\nContent-Type: text/html; charset=utf-8\r\n"
           "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
           QuotedPrintable(html) + "\r\n--alt--\r\n";
}

// Decoding stays a small part of a message's budget at 5,000 messages a
// second.
void BM_DecodeMail(benchmark::State& state) {
    const std::string mail = NewsletterMail();
    size_t textBytes = 0;
    for (auto _ : state) {
        DecodedMail decoded = DecodeMail(mail);
        textBytes = decoded.Text.size();
        benchmark::DoNotOptimize(decoded);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * mail.size()));
    state.counters["message_bytes"] = static_cast<double>(mail.size());
    state.counters["text_bytes"] = static_cast<double>(textBytes);
}
BENCHMARK(BM_DecodeMail)->Unit(benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
