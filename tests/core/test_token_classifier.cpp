// The learned score: what the tokenizer makes of a mail, that learning
// separates the kinds, that a mail is counted once, and that the token file
// comes back whole or not at all.
#include "filter/mail_decoder.h"
#include "filter/token_classifier.h"
#include "temp_dir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <random>

namespace {
DecodedMail Mail(const std::string& text, const std::string& subject = "",
                 const std::string& address = "") {
    DecodedMail mail;
    mail.Text = text;
    mail.Subject = subject;
    mail.FromAddress = address;
    mail.Parsed = true;
    return mail;
}

std::vector<uint64_t> Tokens(const std::string& text) {
    return MailTokens(Mail(text));
}

TEST(TokenClassifier, TokenizerRules) {
    EXPECT_EQ(Tokens("Cheap PILLS"), Tokens("cheap, pills?"));
    EXPECT_NE(MailTokens(Mail("", "cheap")), Tokens("cheap")); // subject words are their own
    EXPECT_EQ(Tokens("don't e-mail v1.2").size(), 3u);
    EXPECT_NE(Tokens("don't"), Tokens("don"));
    EXPECT_EQ(Tokens("FREE!!!").size(), 1u);
    EXPECT_NE(Tokens("free!!!"), Tokens("free"));
    EXPECT_TRUE(Tokens("a an -- ... ab").empty());
    EXPECT_EQ(Tokens("12345 2003"), Tokens("67890 1999")); // numbers by length only
    EXPECT_EQ(Tokens(std::string(50, 'x')), Tokens(std::string(70, 'x')));
    EXPECT_EQ(Tokens("gr\xC3\xBC\xC3\x9F"
                     "e\xC2\xA0welt")
                  .size(),
              2u); // no-break space splits
    // A link's host, however written, with the words of the host.
    EXPECT_EQ(Tokens("http://WWW.Shop.example/?x=1"), Tokens("www.shop.example"));
    EXPECT_EQ(Tokens("https://www.shop.example/"), Tokens("www.shop.example"));
    EXPECT_NE(Tokens("www.shop.example"), Tokens("shop example"));
    EXPECT_EQ(Tokens("http://joe@www.shop.example"), Tokens("www.shop.example"));

    const auto sender = MailTokens(Mail("", "", "Joe@Spam.Example"));
    const auto neighbour = MailTokens(Mail("", "", "ann@spam.example"));
    ASSERT_EQ(sender.size(), 2u); // the address and its domain
    EXPECT_EQ(sender, MailTokens(Mail("", "", "joe@spam.example")));
    std::vector<uint64_t> shared;
    std::set_intersection(sender.begin(), sender.end(), neighbour.begin(), neighbour.end(),
                          std::back_inserter(shared));
    EXPECT_EQ(shared.size(), 1u);

    std::string many, first;
    for (int i = 0; i < 5000; ++i)
        (i < 2000 ? first : many) += "w" + std::to_string(i) + "x ";
    const auto capped = Tokens(first + many);
    EXPECT_EQ(capped, Tokens(first)); // a huge mail counts only its first tokens
    EXPECT_EQ(capped.size(), 2000u);
    EXPECT_TRUE(std::is_sorted(capped.begin(), capped.end()));
}

const std::vector<std::string> kHam = {"meeting", "project", "report", "schedule", "budget",
                                       "review",  "minutes", "agenda", "deadline", "client"};
const std::vector<std::string> kSpam = {"cheap",   "pills",  "casino",  "winner", "viagra",
                                        "jackpot", "refund", "lottery", "bonus",  "unlimited"};
const std::vector<std::string> kCommon = {"the", "you", "and", "for", "this", "with", "today"};

DecodedMail Sample(std::mt19937& random, bool spam) {
    const auto& own = spam ? kSpam : kHam;
    std::string text;
    for (int i = 0; i < 30; ++i)
        text += (i % 3 ? own[random() % own.size()] : kCommon[random() % kCommon.size()]) + " ";
    return Mail(text, own[random() % own.size()], spam ? "bulk@spam.example" : "boss@work.example");
}

// 40 of each kind learned, every one with its own key.
void Train(CTokenClassifier& classifier) {
    std::mt19937 random(7);
    for (int i = 0; i < 80; ++i)
        classifier.Learn(MailTokens(Sample(random, i % 2)), i % 2, "key" + std::to_string(i));
}

TEST(TokenClassifier, LearningSeparatesTheKinds) {
    CTokenClassifier classifier;
    const auto spam = Tokens("cheap pills casino winner jackpot");
    const auto ham = Tokens("meeting project report schedule budget");
    EXPECT_EQ(classifier.Score(spam), 0.5); // nothing known
    classifier.Learn(spam, true);
    classifier.Learn(ham, false);
    EXPECT_GT(classifier.Score(spam), 0.5);
    EXPECT_EQ(classifier.Guess(classifier.Score(spam)), SpamGuess::NotSure); // too few mails

    Train(classifier);
    EXPECT_TRUE(classifier.Trained());
    std::mt19937 random(99);
    for (int i = 0; i < 10; ++i) {
        const double spamScore = classifier.Score(MailTokens(Sample(random, true)));
        const double hamScore = classifier.Score(MailTokens(Sample(random, false)));
        EXPECT_EQ(classifier.Guess(spamScore), SpamGuess::ProbablySpam) << spamScore;
        EXPECT_EQ(classifier.Guess(hamScore), SpamGuess::ProbablyNotSpam) << hamScore;
    }
    const double unknown = classifier.Score(Tokens("zebra quantum harmonica"));
    EXPECT_EQ(unknown, 0.5);
    EXPECT_EQ(classifier.Guess(unknown), SpamGuess::NotSure);
}

TEST(TokenClassifier, AMailIsCountedOnceUnderItsKey) {
    CTokenClassifier classifier;
    const auto tokens = Tokens("cheap pills today");
    EXPECT_TRUE(classifier.Learn(tokens, true, "k1"));
    EXPECT_FALSE(classifier.Learn(tokens, true, "k1"));
    EXPECT_EQ(classifier.SpamMails(), 1u);
    EXPECT_TRUE(classifier.Learn(tokens, false, "k1")); // the user changed their mind
    EXPECT_EQ(classifier.SpamMails(), 0u);
    EXPECT_EQ(classifier.HamMails(), 1u);
    EXPECT_LT(classifier.Score(tokens), 0.5);
    EXPECT_TRUE(classifier.Learn(tokens, false)); // no key: always counted
    EXPECT_TRUE(classifier.Learn(tokens, false, "with space\nand line"));
    EXPECT_FALSE(classifier.Learn(tokens, false, "with space\nand line"));
    EXPECT_EQ(classifier.HamMails(), 3u);

    for (size_t i = 0; i < CTokenClassifier::kMaxKeys; ++i)
        classifier.Learn({}, false, "n" + std::to_string(i));
    EXPECT_TRUE(classifier.Learn(tokens, false, "k1")); // the oldest keys are forgotten
}

TEST(TokenClassifier, FileRoundTripAndDamage) {
    CTempDir dir;
    const std::string path = dir.File("tokens.txt");
    CTokenClassifier classifier, back;
    EXPECT_EQ(back.Load(path), 1); // no file yet
    Train(classifier);
    EXPECT_TRUE(classifier.Changed());
    ASSERT_EQ(classifier.Save(path), 0);
    EXPECT_FALSE(classifier.Changed());
    ASSERT_EQ(back.Load(path), 0);
    EXPECT_EQ(back.TokenCount(), classifier.TokenCount());
    EXPECT_EQ(back.SpamMails() + back.HamMails(), 80u);
    std::mt19937 random(5);
    for (int i = 0; i < 6; ++i) {
        const auto tokens = MailTokens(Sample(random, i % 2));
        EXPECT_EQ(back.Score(tokens), classifier.Score(tokens));
    }
    EXPECT_FALSE(back.Learn({}, true, "key1")); // the keys came back too

    const std::string text = dir.Read("tokens.txt");
    const size_t firstToken = text.find('\n', text.rfind("\nkey ") + 1) + 1;
    const size_t firstLine = text.find('\n', firstToken) + 1 - firstToken;
    const std::string cases[] = {
        text.substr(0, text.size() - 4),                                // cut short
        text.substr(0, text.rfind("end ")),                             // cut at a line end
        "X" + text,                                                     // foreign file
        std::string(text).replace(text.find("mails ") + 6, 1, "-"),     // garbage count
        std::string(text).insert(firstToken + 17, "99999"),             // more than the mails
        std::string(text).insert(firstToken + 17, "99999999999999999"), // out of range
        std::string(text).replace(firstToken + 3, 1, "g"),              // not a hash
        std::string(text).insert(firstToken, text.substr(firstToken, firstLine)), // a token twice
        std::string(text).replace(text.find("key1 s"), 6, "key1 x"),              // unknown kind
        std::string(1, '\0') + "\xff\n\n",
    };
    for (const std::string& damaged : cases) {
        ASSERT_EQ(back.Load(path), 0);
        dir.Write("tokens.txt", damaged);
        std::string error;
        EXPECT_EQ(back.Load(path, &error), -1) << damaged.substr(0, 200);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(back.TokenCount() + back.SpamMails() + back.HamMails(), 0u);
        dir.Write("tokens.txt", text);
    }
}

TEST(TokenClassifier, PruningKeepsTheFrequentTokens) {
    CTokenClassifier classifier;
    const auto frequent = Tokens("alpha bravo charlie delta echo");
    for (int i = 0; i < 3; ++i)
        classifier.Learn(frequent, i == 0);
    for (int i = 0; i < 40; ++i)
        classifier.Learn(Tokens("rare" + std::to_string(i) + "x once" + std::to_string(i) + "y"),
                         true);
    const double before = classifier.Score(frequent);
    classifier.Prune(5);
    EXPECT_EQ(classifier.TokenCount(), 5u);
    EXPECT_EQ(classifier.Score(frequent), before);
}
TEST(TokenClassifier, TokenTableAgreesWithAMap) {
    CTokenTable<uint32_t> table;
    std::map<uint64_t, uint32_t> model;
    std::mt19937_64 random(3);
    for (int step = 0; step < 20000; ++step) {
        const uint64_t key = random() % 1500; // dense: long probe runs, and the key 0
        if (random() % 3 == 0) {
            table.Erase(key);
            model.erase(key);
        } else {
            ++table[key];
            ++model[key];
        }
    }
    ASSERT_EQ(table.size(), model.size());
    for (uint64_t key = 0; key < 1500; ++key) {
        const uint32_t* found = table.Find(key);
        ASSERT_EQ(found != nullptr, model.count(key) == 1) << key;
        if (found) {
            EXPECT_EQ(*found, model[key]);
        }
    }
}
} // namespace
