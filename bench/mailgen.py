"""The benchmark mailbox: 1,000 messages of about 20 KB, one in five spam by
the rules of the benchmark's data directory (spam expressions, a blocked
domain, a program attachment), a third of them multipart with an attachment.
Deterministic, so every run judges the same mail."""

import base64
import os
import random
import shutil

MESSAGE_COUNT = 1000
MESSAGE_BYTES = 20 * 1024

# Spam expressions with their degrees (total 20); a spam body holds each of
# them several times, a clean body none.
SPAM_WORDS = [
    ("cheap pills", 2), ("casino bonus", 2), ("free money", 2), ("winner prize", 2),
    ("risk-free offer", 2), ("lowest price", 2), ("miracle cure", 2), ("limited deal", 2),
    ("instant loan", 2), ("online pharmacy", 2),
]
FRIEND_DOMAINS = [f"mail{n}.example" for n in range(50)]
BLOCKED_DOMAIN = "bulk.example"

_WORDS = ("the meeting project report please attached schedule review budget team update "
          "thanks regards monday deadline client draft minutes version notes question answer "
          "follow call office travel invoice order delivery status quarter result summary "
          "agenda friday lunch contract change request approval").split()


def _filler(rng, size, spam):
    """Plain text lines of at most 76 characters, about `size` bytes."""
    lines, line, total = [], [], 0
    while total < size:
        if spam and rng.random() < 0.06:
            word = SPAM_WORDS[rng.randrange(len(SPAM_WORDS))][0]
        else:
            word = _WORDS[rng.randrange(len(_WORDS))]
        line.append(word)
        total += len(word) + 1
        if sum(len(w) + 1 for w in line) > 70:
            lines.append(" ".join(line))
            line = []
    if line:
        lines.append(" ".join(line))
    if spam:  # every expression at least twice: far over any threshold
        lines += [" ".join(w for w, _ in SPAM_WORDS[:5])] * 2
        lines += [" ".join(w for w, _ in SPAM_WORDS[5:])] * 2
    return "\n".join(lines) + "\n"


def _attachment(rng, size):
    data = rng.randbytes(size * 3 // 4)
    text = base64.b64encode(data).decode()
    return "\n".join(text[i:i + 76] for i in range(0, len(text), 76)) + "\n"


def _message(rng, i, spam=True):
    """(text with LF line ends, condemned?)"""
    spam_kind = None
    if spam and i % 5 == 0:
        spam_kind = ("blocked", "program", "words", "words")[(i // 5) % 4]
    multipart = i % 3 == 1 or spam_kind == "program"
    domain = BLOCKED_DOMAIN if spam_kind == "blocked" else FRIEND_DOMAINS[i % len(FRIEND_DOMAINS)]
    day = 1 + i % 28
    subject = ("Limited deal for you" if spam_kind else "Re: project update") + f" no. {i}"
    headers = (
        "Return-Path: <bounce@relay.example>\n"
        "Received: from relay.example (relay.example [192.0.2.1])\n"
        f"\tby mx.example with ESMTP id {i:08d}; Mon, {day:02d} Sep 2025 10:{i % 60:02d}:00 +0000\n"
        f"From: \"Sender {i}\" <person{i}@{domain}>\n"
        "To: bench@home.example\n"
        f"Subject: {subject}\n"
        f"Date: Mon, {day:02d} Sep 2025 10:{i % 60:02d}:00 +0000\n"
        f"Message-ID: <{i}.bench@mail.example>\n"
        "MIME-Version: 1.0\n")
    budget = MESSAGE_BYTES - len(headers) - 200
    if multipart:
        boundary = f"----=_NextPart_000_{i:06d}"
        name = f"file{i}." + ("exe" if spam_kind == "program" else ("pdf", "zip")[i % 2])
        text = (headers + f"Content-Type: multipart/mixed;\n\tboundary=\"{boundary}\"\n\n"
                f"--{boundary}\nContent-Type: text/plain\n\n"
                + _filler(rng, budget // 3, spam_kind == "words")
                + f"--{boundary}\nContent-Type: application/octet-stream\n"
                "Content-Transfer-Encoding: base64\nContent-Disposition: attachment;\n"
                f"\tfilename=\"{name}\"\n\n" + _attachment(rng, budget * 2 // 3)
                + f"--{boundary}--\n")
    else:
        text = (headers + "Content-Type: text/plain\n\n"
                + _filler(rng, budget, spam_kind == "words"))
    return text, spam_kind is not None


def messages(count=MESSAGE_COUNT, spam=True):
    """[(text, condemned)] for the whole mailbox, in delivery order; without
    `spam` every message is clean, so a check leaves the mailbox unchanged."""
    rng = random.Random(20250901)
    return [_message(rng, i, spam) for i in range(count)]


def write_maildir(path, mail, owner="mail"):
    """A fresh Maildir at `path` holding `mail` in cur/, owned by `owner`.
    The names carry both sizes, so the server need not read a file to
    know them; their order is the delivery order."""
    for sub in ("cur", "new", "tmp"):
        os.makedirs(os.path.join(path, sub), exist_ok=True)
    for n, (text, _) in enumerate(mail):
        data = text.encode()
        name = f"{1700000000 + n}.M{n}P1.bench,S={len(data)},W={len(data) + text.count(chr(10))}:2,"
        with open(os.path.join(path, "cur", name), "wb") as f:
            f.write(data)
    shutil.chown(path, owner, owner)
    for root, dirs, files in os.walk(path):
        for entry in dirs + files:
            shutil.chown(os.path.join(root, entry), owner, owner)


def restore_maildir(staging, target):
    """Replaces the Maildir at `target` (indexes included) by the staged one."""
    shutil.rmtree(target, ignore_errors=True)
    shutil.copytree(staging, target, symlinks=True)
    for root, dirs, files in os.walk(target):
        for entry in [root] + [os.path.join(root, e) for e in dirs + files]:
            shutil.chown(entry, "mail", "mail")


def server_bytes(mail):
    """What the server sends for the mailbox: the texts with CR LF line ends."""
    return sum(len(t.encode()) + t.count("\n") for t, _ in mail)
