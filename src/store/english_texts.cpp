#include "store/english_texts.h"

#include <algorithm>
#include <array>

namespace {
constexpr std::array kTexts = std::to_array<EnglishText>({
    {1001, "Mail Server"},
    {1002, "Incoming mail server"},
    {1003, "Account Name"},
    {1004, "User Name"},
    {1005, "Password"},
    {1006, "Remember Password For This Account"},
    {1007, "Add Account"},
    {1008, "Test Account Settings"},
    {1009, "Sign-in"},
    {1010, "Client Secret"},
    {1011, "Sign In..."},
    {2000, "Add Sender"},
    {2001, "Sender Name"},
    {2002, "Domain Name"},
    {2003, "Sender name can be any valid name (e.g. robin) or the wild chracters \"*\" for every "
           "sender of the domain.      Domain name must be a vaild domain (e.g. example.org)."},
    {2004, "OK"},
    {2005, "Cancel"},
    {3000, "Add new spam word"},
    {3001, "Spam Word"},
    {3002, "Spam Value"},
    {3003, "OK"},
    {3004, "Cancel"},
    {4001, "Blocked List"},
    {4002, "Add"},
    {4003, "Delete"},
    {4004, "Blocked List"},
    {5001, "Server Port Numbers"},
    {5002, "POP3 port"},
    {5003, "IMAP port"},
    {5004, "Durations"},
    {5005, "Connection Timeout"},
    {5006, "minutes"},
    {5007, "Check mail every"},
    {5008, "minutes"},
    {5009, "Store Defaults"},
    {5010, "Save Settings"},
    {6001, "Delete Account"},
    {6002, "E-mail Account"},
    {6003, "E-mail Type"},
    {7001, "Friends List"},
    {7002, "Add"},
    {7003, "Delete"},
    {7004, "Friend List"},
    {8000, "Mail History"},
    {8001, "Show events"},
    {8002, "Before"},
    {8003, "Between"},
    {8004, "After"},
    {8005, "&Show Message"},
    {8006, "&Clear History"},
    {8007, "Cl&ose"},
    {8008, "After and before including starting date"},
    {8009, "Date"},
    {8010, "From"},
    {8011, "Subject"},
    {8012, "Mail Status"},
    {8013, "Reason"},
    {9000, "Drossgate"},
    {9001, "Close"},
    {10000, "New User"},
    {10001, "Friend"},
    {10002, "Block"},
    {10003, "Ignore"},
    {11001, "When New Sender is found"},
    {11002, "Ask me what to do?"},
    {11003, "Add to friend list"},
    {11004, "Add to blocked list"},
    {11005, "Ignore sender"},
    {11006, "NOTE: This option will cause mail  from this sender to be deleted even it isn't a "
            "spam."},
    {11007, "Filtering Options"},
    {11008, "Max attachment size (KB)"},
    {11009, "Mail Life Time in days"},
    {11010, "Melacious Files"},
    {11011, "Add"},
    {11012, "Delete"},
    {11013, "Check Now"},
    {11014, "Compact Data Files"},
    {11015, "History Report"},
    {11016, "Save Settings"},
    // Drossgate's own: the Options page's check boxes, the recycle bin and their help.
    {11017, "Judge each message only once"},
    {11018, "Each check fetches and judges only mail that is new since the last check. Mail once "
            "kept is not judged again: blocking its sender later does not delete it. Its life time "
            "still applies."},
    {11019, "Recycle Bin"},
    {11020, "Keep deleted mail (days)"},
    {11021, "At most (MB)"},
    {11022, "Dry run: judge, but delete nothing"},
    {11023, "Before a mail is deleted on the server, a copy goes to the recycle bin in the data "
            "folder, where the history can restore it. Copies older than this many days go, and "
            "the oldest go first when the bin is larger than its size. 0: no recycle bin, mail "
            "is deleted directly."},
    {11024, "Checks judge every mail and record it in the history as usual, but delete nothing: "
            "the history shows what would have been deleted. Try new rules this way first."},
    // Restoring from the recycle bin: the history viewer's buttons and their help.
    {11030, "&Restore"},
    {11031, "Sa&ve as..."},
    {11032, "Puts the selected deleted mail back into its IMAP inbox, with its flags and date, and "
            "takes it out of the recycle bin. POP3 cannot put mail back: for a POP3 mail Restore "
            "saves it as an .eml file."},
    {11033, "Saves the selected deleted mail from the recycle bin as an .eml file, byte for byte. "
            "The copy stays in the recycle bin."},
    // The learned score: the Options page, the history viewer.
    {11040, "Decide by what Drossgate has learned; ask only when not sure"},
    {11041, "Learn from mail..."},
    {11042,
     "A sender on neither list whose mail the learned score takes for clear spam is ignored, one "
     "whose mail it takes for clear ham becomes a friend, and only the rest are asked about. Until "
     "it has learned from a few dozen mails of each kind, every new sender is asked about."},
    {11043, "Teaches the learned score from a folder of .eml files, a Maildir or an mbox file: "
            "first choose whether that mail is spam, then the folder or file."},
    {11044, "This is &spam"},
    {11045, "This is &not spam"},
    {11046, "Teaches the learned score that the selected mail is spam, or that it is not."},
    {11047, "Spam: a folder of .eml files or a Maildir..."},
    {11048, "Spam: an mbox file..."},
    {11049, "Not spam: a folder of .eml files or a Maildir..."},
    {11050, "Not spam: an mbox file..."},
    // The language's own name, for a list of the language files: file only, so
    // that a file without the key is not called English.
    {11060, "English", true},
    // The Options page's desktop tab.
    {11061, "Mail"},
    {11062, "Desktop"},
    {11063, "Show an icon in the system tray"},
    {11064, "Notify me when a question waits"},
    {11065, "Notify me when spam was deleted"},
    {11066, "Notify me when an account cannot log in"},
    {11067, "Start Drossgate when I log in"},
    {11068, "Language"},
    {11069, "The windows take the new language as they are shown again."},
    {11070, "The start at login could not be changed: "},
    {11071, "The language could not be saved in the registry file."},
    // 12000, the prompt's title, is absent: its default is the account or
    // server name the prompt already shows.
    {12001, "User Name"},
    {12002, "Password"},
    {12003, "OK"},
    {12004, "Cancel"},
    {13001, "Spam Words"},
    {13002, "Add"},
    {13003, "Delete"},
    {13004, "Save List"},
    {13005, "Spoam Word"},
    {13006, "Spam Degree"},
    {14001, "Change"},
    {14002, "E-mail Account"},
    {14003, "E-mail Type"},
    {15001, "Mail Setup", true},
    {15002, "Add new e-mail account", true},
    {15003, "View or Change existing e-mail account", true},
    {15004, "Delete account", true},
    {15005, "Conntection Settings", true},
    {15006, "Filter Properties", true},
    {15007, "Levels", true},
    {15008, "Very High", true},
    {15009, "High", true},
    {15010, "Normal", true},
    {15011, "Low", true},
    {15012, "Very Low", true},
    {15013, "Spam Words", true},
    {15014, "Senders", true},
    {15015, "Friends List", true},
    {15016, "Junk List", true},
    {15017, "Options", true},
    // 16001 to 16009 are composed from the level rules where they are shown.
    {17010, "Invalid User Name\nUser name can't contain these chracters \n ~ ` ! # $ % ^ & ( ) . - "
            "+ = } ] { [ < > ; : ? ' \" / , \\ \nInvalid chracters have been removed"},
    {17011,
     "Invalid Server Name\nMail server name can't contain these chracters \n ~ ` ! # $ % ^ & "
     "* ( ) - + = } ] { [ < > ; : ' \" / ? , \\ \nInvalid chracters have been removed"},
    {17012, "Mail Body"},
    {17013, "OK"},
    {17015, " already exists, please change this name."},
    {17016, "This is not a valid email"},
    {17017, "Invalid name"},
    // 17018 is absent: its two callers use different defaults.
    {17019, "Minimum value for check interval is 5 minutes"},
    {17020, "Maximum value for server timeout is 3 minutes"},
    {17021, " is not a vaild domain name (e.g. example.org)"},
    {17022, "Sorry. some data files have been corrupted please try to re-install the program"},
    {17028, " has sent you an e-mail, if you want to add him to your friend list\npress Friend, if "
            "you want to add him to your block list press Block. \nIf you want to igonre him "
            "press Ignore."},
    {17030, "Can't connect to the server at this time, try again later"},
    {17031, "Server is busy"},
    {17032, "Password is not given"},
    {17033, "Incorrect user name or password"},
    {17034, "Account settings have been tested successfully"},
    {17035, "Falid"},
    {17036, "Falid"},
    // The learned score: its guesses and the training's progress.
    {17040, "Probably spam"},
    {17041, "Probably not spam"},
    {17042, "Not sure"},
    {17043, "What Drossgate thinks:"},
    {17044, "Learned spam score:"},
    {17045, "Learning: %1 of %2 mails"},
    {17046, "Learned %1 mails as %2."},
    {17047, "No mail could be read at %1."},
    {17048, "spam"},
    {17049, "not spam"},
    // The tray icon and the desktop notifications.
    {18001, "&Show Drossgate"},
    {18002, "&Check Now"},
    {18003, "&Dry Run: judge, delete nothing"},
    {18004, "&Quit"},
    {18005, "No check has run yet."},
    {18006, "Last check %1: %2 judged, %3 deleted."},
    {18007, "A question waits for your answer."},
    {18008, "A new sender waits for your answer"},
    {18009, "Mail from %1: Friend, Block or Ignore?"},
    {18010, "Drossgate deleted spam"},
    {18011, "%1 spam deleted from %2"},
    {18012, "%1 cannot log in"},
    {18013, "The server refused the user name or password. Check the account's settings."},
    // Passwords and encryption: why one was not sent, and the question before plain text.
    {18101, "Encrypted connection could not be set up; password not sent"},
    {18102, "Server offers no encryption; password not sent"},
    {18103, "Server no longer offers encryption; password not sent"},
    {18104, "Send the password unencrypted?"},
    {18105, "%1 (%2) offers no encrypted connection. Anyone on the network between you and the "
            "server could read your password. Send it unencrypted for this account from now on?"},
    {18106, "%1 (%2) offered an encrypted connection before but offers none now: someone may be "
            "tampering with the connection. Send your password unencrypted for this account all "
            "the same, from now on?"},
    {18107, "Send &Unencrypted"},
    {18108, "&Do Not Send"},
    {18109, "%1: password not sent"},
    {18110, "The server offers no encryption. Drossgate sends the password unencrypted only when "
            "you allow it."},
    {18111,
     "The encrypted connection could not be set up. Check the server's name and its certificate."},
    {18112,
     "The server offers no encryption, and sending the password unencrypted was not allowed."},
    // What keeps an account from logging in, as the rows, the tray and the notifications say it.
    {18113, "Password rejected"},
    {18114, "Password not sent: no encryption"},
    {18115, "Encryption failed"},
    {18116, "Server refuses logins for now"},
    {18117, "Server takes no passwords"},
    {18118, "The encrypted connection could not be set up: the server's certificate was refused or "
            "the handshake failed. Nothing was sent."},
    {18119, "The server refuses logins for now (too many attempts or connections). Drossgate tries "
            "again at the next check."},
    {18120, "The server no longer accepts a password for this account (basic authentication is "
            "switched off); it needs the provider's own sign-in."},
    {18122, "The server said: %1"},
    {18123, "%1: %2"},
    {18124, "Last Login"},
    // OAuth 2.0 sign-in.
    {18125, "Server offers no OAuth 2.0 sign-in; nothing sent"},
    {18126, "Sign-in provider could not be reached; try again later"},
    {18127, "The OAuth 2.0 sign-in is no longer accepted; sign in again"},
    {18128, "Certificate refused"},
    {18129, "The server's certificate is not trusted (out of date, made for another server, or "
            "someone is in between). Check the server name. Nothing was sent."},
    {18130, "Sign in again"},
    {18131, "The provider no longer accepts this account's OAuth 2.0 sign-in: it was revoked or "
            "has run out. Open the account on the Change Account page and press Sign In."},
    {18132, "Sign-in provider not reached"},
    {18133, "The OAuth 2.0 provider could not be reached for a new access token. Drossgate tries "
            "again at the next check."},
    {18134, "No OAuth 2.0 sign-in"},
    {18135, "The account signs in with OAuth 2.0, but the server offers neither OAUTHBEARER nor "
            "XOAUTH2. Check the server name, or sign in with a password."},
    // Provider profiles: whose server it is, and what the provider does with deleted mail.
    {18140, "This server belongs to "},
    {18141, "What a POP3 deletion does here is a web setting of the provider (keep, archive or "
            "delete); set it to delete, or spam stays in your mailbox."},
    {18142, "An IMAP deletion here only archives the mail by default; in the provider's web "
            "settings, have deleted mail moved to the Trash or deleted."},
    {18143, "The provider allows only a few connections per account at a time; close other mail "
            "programs on the account if Drossgate's checks are refused."},
    {18144, "The provider refuses your normal password here; create an app password in its account "
            "security settings and enter that instead."},
    {18145, "The sizes this server lists may differ from the mails it sends, so a size rule may "
            "judge a mail wrongly; prefer rules that do not depend on size."},
    {18146,
     "The provider offers no STARTTLS: use the encrypted ports, 993 for IMAP and 995 for POP3."},
    {18147, "This provider signs in with OAuth 2.0 only; choose OAuth 2.0 and bring a client id of "
            "your own."},
    {18161, "Password"},
    {18162, "OAuth 2.0"},
    {18163, "Client ID"},
    {18166, "Signed in. The sign-in is kept in the desktop keyring."},
    {18167, "Signed in. The sign-in is kept in OAuth.txt, readable by you only."},
    {18168, "Not signed in yet: press Sign In..."},
    {18169, ": what deleting does there"},
    {18170, "OAuth 2.0 Sign-in"},
    {18171, "Drossgate opens your provider's sign-in page in your browser. Sign in there and allow "
            "Drossgate to read your mail; this window closes by itself when it is done."},
    {18172, "Authorization URL"},
    {18173, "Token URL"},
    {18174, "Scope"},
    {18175, "Open Browser"},
    {18176, "Cancel"},
    {18177, "Waiting for the browser. Sign in there; this window closes by itself."},
    {18178, "The sign-in did not complete: "},
    {18179, "The sign-in could not start: "},
    {18180, "The provider no longer accepts the sign-in of "},
    {18181, "The provider said: "},
    {18182, "Drossgate has no way to reach a sign-in provider."},
    {18183, "The sign-in could not be stored; the log says why."},
    {18184, ". Sign in again to go on checking it."},
    {18201, "Your password is kept in the desktop keyring."},
    {18202, "Your password is kept in the account file (ZRKList.zrk), readable by you only."},
    {18203, "The desktop keyring did not store the password. It is kept in the account file "
            "(ZRKList.zrk), readable by you only."},
    {18204, "The desktop keyring gave no password: type it again."},
    {23001, "Exist at the server"},
    {23002, "Deleted"},
    {23003, "The sender is on your blocked list.", true},
    {23004, "The sender is not on your friend list.", true},
    {23005, "It has an attachment of a type on your forbidden list.", true},
    {23006, "Its spam words reached the threshold of the level.", true},
    {23007, "It is larger than the maximum size allowed.", true},
    {23008, "It has a program attachment (exe or scr).", true},
    {23009, "The same mail arrived more than once in one check.", true},
    {23010, "Would be deleted"},
    // Restoring from the recycle bin.
    {23020, "The mail is back in the inbox."},
    {23021, "The mail was saved to the file."},
    {23022, "The account of this mail is no longer in your account list."},
    {23023, "The server refused to take the mail back."},
    {23024, "The mail is too large for the server."},
    {23025, "The connection to the server failed."},
    {23026, "The copy in the recycle bin is damaged; it is neither restored nor saved."},
    {23027, "The copy is no longer in the recycle bin."},
    {23028, "Password is not given."},
    {23029, "The server rejected the user name or password."},
    {23030, "POP3 cannot put mail back on the server; save the mail as an .eml file instead."},
    {23031, "The mail could not be written to the file."},
    {23032,
     "The mail is back in the inbox, but its copy could not be removed from the recycle bin."},
    {23033, "The copy stays in the recycle bin."},
    {23034, "The server said:"},
    {23035, "The sender of this mail is on your blocked list, so the next check would delete it "
            "again. Take the sender off the blocked list?"},
    {23036, "The sender is still on your blocked list: the next check may delete the mail again."},
    {23037, "Mail files (*.eml)"},
    {23038, "No deleted mail with a copy in the recycle bin matches."},
    {23039, "More than one deleted mail matches; give its row number:"},
    {23040, "The next check judges it again and may delete it again unless your rules have "
            "changed."},
    {25001, "Testing in progress, Please Wait."},
});
} // namespace

std::span<const EnglishText> EnglishTexts() {
    return kTexts;
}

std::string EnglishDefault(int textId) {
    auto it = std::lower_bound(kTexts.begin(), kTexts.end(), textId,
                               [](const EnglishText& t, int id) { return t.Id < id; });
    if (it == kTexts.end() || it->Id != textId || it->FileOnly)
        return {};
    return it->Text;
}
