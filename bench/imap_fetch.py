"""The IMAP comparison client: logs in, selects the inbox and fetches every
message whole, one FETCH per message, as a simple mail downloader does; over
STARTTLS, as Drossgate logs in on the same port (the CA from SSL_CERT_FILE).

    imap_fetch.py PORT USER PASSWORD     prints "<messages> <bytes>"
"""

import imaplib
import ssl
import sys


def main():
    port, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    imap = imaplib.IMAP4("127.0.0.1", port)
    imap.starttls(ssl.create_default_context())
    imap.login(user, password)
    status, data = imap.select("INBOX")
    if status != "OK":
        sys.exit("select failed")
    count = int(data[0])
    total = 0
    for n in range(1, count + 1):
        status, parts = imap.fetch(str(n), "(BODY[])")
        if status != "OK" or not parts or not isinstance(parts[0], tuple):
            sys.exit(f"fetch {n} failed")
        total += len(parts[0][1])
    imap.logout()
    print(count, total)


if __name__ == "__main__":
    main()
