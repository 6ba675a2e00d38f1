#pragma once
// Fetched texts as sessions store them, and a scripted new-sender answerer.
#include "app/core/prompts.h"

#include <deque>
#include <string>
#include <vector>

namespace filter_test {

struct Attachment {
    std::string FileName;
    bool Quoted = true;
};

struct Mail {
    std::string From = "ann@mail.example";
    std::string Subject = "Minutes of the meeting";
    std::string Date = "Tue, 09 Sep 2003 14:02:11 +0200";
    std::string Body = "Please find the minutes below.\r\n";
    std::vector<Attachment> Attachments = {}; // any attachment makes the mail multipart
    std::string Boundary = "----=_NextPart_000_0007_01C37E2B.5A2D1B40";
};

// The message as the server sends it (CR LF line ends).
inline std::string MessageText(const Mail& m) {
    std::string text = "Return-Path: <bounce@relay.example>\r\nReceived: from relay.example by "
                       "mx.example; Tue, 09 Sep 2003 14:02:15 +0200\r\n";
    if (!m.From.empty())
        text += "From: " + m.From + "\r\n";
    text += "To: me@home.example\r\n";
    if (!m.Subject.empty())
        text += "Subject: " + m.Subject + "\r\n";
    if (!m.Date.empty())
        text += "Date: " + m.Date + "\r\n";
    text += "Message-ID: <20030909120211.1234@mail.example>\r\nMIME-Version: 1.0\r\n";
    if (m.Attachments.empty())
        return text + "Content-Type: text/plain\r\n\r\n" + m.Body;
    const std::string line = "--" + m.Boundary;
    text += "Content-Type: multipart/mixed;\r\n\tboundary=\"" + m.Boundary +
            "\"\r\n\r\nThis is a multi-part message in MIME format.\r\n\r\n" + line +
            "\r\nContent-Type: text/plain\r\n\r\n" + m.Body + "\r\n";
    for (const Attachment& a : m.Attachments) {
        const std::string name = a.Quoted ? "\"" + a.FileName + "\"" : a.FileName;
        text += line +
                "\r\nContent-Type: application/octet-stream\r\nContent-Disposition: "
                "attachment;\r\n\tfilename=" +
                name + "\r\nContent-Transfer-Encoding: base64\r\n\r\nTVqQAAMAAAAEAAAA//8AALgA\r\n";
    }
    return text + line + "--\r\n";
}

// A POP3 "RETR" reply; `octets` < 0 uses the real size.
inline std::string Pop3(const Mail& m, long octets = -1) {
    const std::string message = MessageText(m);
    return "+OK " + std::to_string(octets < 0 ? static_cast<long>(message.size()) : octets) +
           " octets\r\n" + message + ".\r\n";
}

// An IMAP "FETCH" reply of message `number`.
inline std::string ImapText(const std::string& message, int number) {
    return "* " + std::to_string(number) + " FETCH (FLAGS (\\Seen) BODY[] {" +
           std::to_string(message.size()) + "}\r\n" + message + ")\r\n";
}

// Answers the new-sender question from a script; "no answer" once it runs out.
struct CScriptedPrompt : INewSenderPrompt {
    explicit CScriptedPrompt(std::deque<NewSenderAnswer> answers) : Answers(std::move(answers)) {}
    NewSenderAnswer AskNewSender(const NewSenderQuestion& question) override {
        Asked.push_back(question.Prompt);
        Questions.push_back(question);
        const NewSenderAnswer next = Answers.empty() ? NewSenderAnswer::NoAnswer : Answers.front();
        if (!Answers.empty())
            Answers.pop_front();
        return next;
    }
    std::deque<NewSenderAnswer> Answers;
    std::vector<std::string> Asked;
    std::vector<NewSenderQuestion> Questions;
};

} // namespace filter_test
