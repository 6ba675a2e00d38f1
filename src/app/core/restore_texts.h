#pragma once
// Text ids of getting mail back from the recycle bin (language file).
inline constexpr int kTextRestored = 23020;
inline constexpr int kTextSaved = 23021;
inline constexpr int kTextAccountGone = 23022;
inline constexpr int kTextAppendRefused = 23023;
inline constexpr int kTextAppendTooLarge = 23024;
inline constexpr int kTextRestoreNoConnection = 23025;
inline constexpr int kTextCopyDamaged = 23026;
inline constexpr int kTextNoCopy = 23027;
inline constexpr int kTextRestoreNoPassword = 23028;
inline constexpr int kTextRestoreLoginRejected = 23029;
inline constexpr int kTextPop3CannotRestore = 23030;
inline constexpr int kTextNotSaved = 23031;
inline constexpr int kTextCopyNotRemoved = 23032;
inline constexpr int kTextCopyStays = 23033;
inline constexpr int kTextServerSaid = 23034;
inline constexpr int kTextUnblockQuestion = 23035;
inline constexpr int kTextStillBlocked = 23036;
inline constexpr int kTextMailFileFilter = 23037;
inline constexpr int kTextNoMatch = 23038;
inline constexpr int kTextSeveralMatch = 23039;
inline constexpr int kTextJudgedAgain = 23040;
// The viewer's buttons and their help.
inline constexpr int kTextRestoreButton = 11030;
inline constexpr int kTextSaveAsButton = 11031;
inline constexpr int kTextRestoreHelp = 11032;
inline constexpr int kTextSaveAsHelp = 11033;
