#pragma once

#include <QString>

#include <optional>

// The shells in which a user types a command that Prismor suggests: a POSIX shell on Linux, and
// on Windows the command prompt (cmd.exe) or PowerShell, whose programs split their command
// line as CommandLineToArgvW does.
enum class Shell { Posix, Windows };

// The shell of the platform that Prismor runs on.
#ifdef Q_OS_WIN
inline constexpr Shell platformShell = Shell::Windows;
#else
inline constexpr Shell platformShell = Shell::Posix;
#endif

// The text as one word of a command line in that shell, which passes it to the program as one
// argument, exactly as it is; nothing when it cannot be written so safely.
// - POSIX: as it is when it holds only letters, digits and _.,:/@%+=- (ASCII), otherwise in
//   single quotes, each ' written as '\''. Every text can be written.
// - Windows: always in double quotes, which keep spaces and & | < > ^ ( ) ; , ' literal in both
//   shells, and a bare word from being read by PowerShell as a number (1KB) or a list (A,B).
//   Nothing is given for a text that no quoting passes through both shells unchanged: one
//   holding a double quote (also PowerShell's typographic ones), % or ! (expanded by cmd.exe
//   even inside quotes), $ or ` (expanded by PowerShell inside double quotes), or a line break
//   or another control character, or ending in a backslash (which would escape the closing
//   quote), or an empty text (which PowerShell would drop).
[[nodiscard]] std::optional<QString> shellWord(const QString &text, Shell shell);
