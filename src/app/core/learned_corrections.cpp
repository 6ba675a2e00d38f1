#include "app/core/learned_corrections.h"

#include "app/core/filter_app.h"
#include "app/core/restore.h"
#include "filter/mail_decoder.h"
#include "filter/mail_message.h"
#include "platform/digest.h"

std::vector<uint64_t> HistoryEntryTokens(CFilterApp& app, const HistoryEntry& entry,
                                         const std::string& binFileName) {
    BinnedMessage copy;
    if (!binFileName.empty() && ReadBinnedMessage(RecycleBinDir(app), binFileName, copy) &&
        !copy.Damaged)
        return MailTokens(DecodeMail(copy.Text));
    // The record keeps the body's cut, often with the header fields after
    // Message-ID: what the decoder cannot read there the record's fields give.
    DecodedMail mail = DecodeMail(entry.Body);
    if (mail.FromAddress.empty())
        mail.FromAddress = BareSenderAddress(DecodeHeaderText(entry.From));
    if (mail.Subject.empty())
        mail.Subject = DecodeHeaderText(entry.Subject);
    if (mail.Text.empty())
        mail.Text = entry.Body;
    return MailTokens(mail);
}

int CorrectLearnedScore(CFilterApp& app, const HistoryEntry& entry, const std::string& binFileName,
                        bool spam, std::string& status) {
    const std::vector<uint64_t> tokens = HistoryEntryTokens(app, entry, binFileName);
    app.LearnedScore.Classifier().Learn(
        tokens, spam, LearningKey(entry.From, entry.Subject, entry.Date, TextDigest(entry.Body)));
    std::string error;
    if (!app.LearnedScore.SaveIfChanged(&error)) {
        status = error;
        app.LogLine("what was learned could not be written: " + error, "-");
        return -1;
    }
    return 0;
}
