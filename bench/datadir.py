"""Drossgate data directories for the benchmarks: registry file, settings,
accounts, sender lists and, for the start-up figures, a long history."""

import glob
import os
import random
import shutil

import mailgen

REGISTRY_KEY = "[Software\\Tarn Wick\\Dorn\\Spurl]"
POP3_USER, POP3_PASSWORD = "user1", "Pw1secret"
IMAP_USER, IMAP_PASSWORD = "user2", "Pw2secret"


def _write(path, text):
    with open(path, "wb") as f:
        f.write(text.encode("latin-1"))


def make(path, source_root, pop3_port, imap_port, accounts=("P", "I")):
    """A data directory whose rules condemn exactly the mailbox's spam."""
    os.makedirs(os.path.join(path, "Language"), exist_ok=True)
    # The program's channel lives here: it must be private to its owner.
    os.chmod(path, 0o700)
    shutil.copy(os.path.join(source_root, "resources", "Language", "English.ini"),
                os.path.join(path, "Language", "English.ini"))
    _write(os.path.join(path, "registry.ini"),
           f"{REGISTRY_KEY}\r\nPath={path}\r\nLanguage=English\r\n")
    write_settings(path, pop3_port, imap_port)
    write_accounts(path, accounts)
    friends = "".join(f"   *@{d}\r\n" for d in mailgen.FRIEND_DOMAINS)
    _write(os.path.join(path, "Friend List.zrk"), friends)
    _write(os.path.join(path, "Blocked List.zrk"), f"   *@{mailgen.BLOCKED_DOMAIN}\r\n")


def write_settings(path, pop3_port, imap_port, judge_once=True, recycle_bin=False):
    # Normal level; new senders would become friends (none are new); no
    # timer check during a run; no mail is old enough to expire. Without
    # `judge_once` the key is absent: every check fetches every message.
    numbered = {10001: pop3_port, 10002: imap_port, 10003: 3, 10004: 600, 10005: 1,
                10006: 1000, 10007: 0, 10008: 2, 10009: 36500}
    lines = ["[SETTINGS]"] + [f"{k}={v}" for k, v in numbered.items()]
    if judge_once:
        lines.append("JudgeOnce=1")
    if recycle_bin:
        lines.append("RecycleBinDays=30")
    lines += ["[SPAMWORD]", f"WCount={len(mailgen.SPAM_WORDS)}"]
    lines += [f"W{n}={w}>{d}" for n, (w, d) in enumerate(mailgen.SPAM_WORDS, 1)]
    lines += ["[EXT]", "Count=2", "E1=exe", "E2=scr"]
    _write(os.path.join(path, "Settings.ini"), "\r\n".join(lines) + "\r\n")


def write_accounts(path, accounts):
    records = {"P": f"P|Bench POP3|127.0.0.1|{POP3_USER}|{POP3_PASSWORD}\r\n",
               "I": f"I|Bench IMAP|127.0.0.1|{IMAP_USER}|{IMAP_PASSWORD}\r\n"}
    _write(os.path.join(path, "ZRKList.zrk"), "".join(records[a] for a in accounts))


def remove_history(path):
    try:
        os.unlink(os.path.join(path, "history.zrk"))
    except FileNotFoundError:
        pass


def remove_recycle_bin(path):
    shutil.rmtree(os.path.join(path, "Recycle Bin"), ignore_errors=True)


def remove_judged(path):
    """Forgets which messages were judged: the next check fetches them all."""
    for name in glob.glob(os.path.join(glob.escape(path), "Judged *.txt")):
        os.unlink(name)


def history_bytes(path):
    try:
        return os.path.getsize(os.path.join(path, "history.zrk"))
    except FileNotFoundError:
        return 0


def history_records(path):
    """Records in the history file (each ends with the record mark)."""
    try:
        with open(os.path.join(path, "history.zrk"), "rb") as f:
            count, tail = 0, b""
            mark = b">>==<ZRKENDMSG>==<<"
            while chunk := f.read(1 << 22):
                data = tail + chunk
                count += data.count(mark)
                # Keep a partial mark for the next chunk, never a whole one.
                tail = data[-(len(mark) - 1):]
            return count
    except FileNotFoundError:
        return 0


def write_large_lists(path, entries):
    """`entries` live entries in each sender list, addresses and domains."""
    for name, stem in (("Friend List.zrk", "friend"), ("Blocked List.zrk", "spammer")):
        with open(os.path.join(path, name), "wb") as f:
            for n in range(entries):
                if n % 5 == 4:
                    f.write(f"   *@{stem}-domain{n}.example\r\n".encode())
                else:
                    f.write(f"   {stem}{n}@host{n % 97}.example\r\n".encode())


def write_large_history(path, records, body_bytes=2048):
    """`records` history records with bodies of about `body_bytes`, dated
    over the last years so that the viewer's "Before today" lists them all;
    one in five deleted as spam."""
    rng = random.Random(7)
    words = "meeting project report schedule budget update invoice delivery agenda".split()
    bodies = []
    for _ in range(64):
        line_words, lines, size = [], [], 0
        while size < body_bytes:
            w = rng.choice(words)
            line_words.append(w)
            size += len(w) + 1
            if len(line_words) == 10:
                lines.append(" ".join(line_words))
                line_words = []
                size += 1
        lines.append(" ".join(line_words))
        bodies.append("\r\n".join(lines))
    months = "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec".split()
    days = "Mon Tue Wed Thu Fri Sat Sun".split()
    # Subjects and names of mixed lengths, as real mail has them.
    topics = ("Re: project update", "Invoice", "Lunch?", "Minutes of the weekly team meeting",
              "Fwd: travel plans for the conference in the autumn", "Hi", "Your order has shipped",
              "Re: Re: budget draft for the next quarter, second version with the changes",
              "Newsletter", "Photos", "Cheap offer for you only today", "Status")
    names = ("ann", "bob.miller", "c", "dorothea.vandenberg-hutchinson", "ed", "frank_jones")
    with open(os.path.join(path, "history.zrk"), "wb") as f:
        chunk = []
        for n in range(records):
            date = f"{days[n % 7]}, {1 + n % 28:02d} {months[n % 12]} {2015 + n % 10}"
            reason = "" if n % 5 else "23006"
            # Spam comes from ever new senders, the rest from 5,000 correspondents.
            if reason:
                sender = f"{rng.choice(names)}{n}@bulk{n % 89}.example"
            else:
                sender = f"{names[n % len(names)]}{n % 833}@mail{n % 50}.example"
            subject = f"{topics[rng.randrange(len(topics))]} {n}"
            chunk.append(f"{date}|{sender}|{subject}|{reason}|"
                         f"||-*-*-||{bodies[n % 64]} >>==<ZRKENDMSG>==<<\r\n")
            if len(chunk) == 1000:
                f.write("".join(chunk).encode())
                chunk = []
        f.write("".join(chunk).encode())
