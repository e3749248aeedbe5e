#pragma once

#include <optional>
#include <string>
#include <vector>

// The stand-in's choice dialog as plain Win32, so that it brings no GUI toolkit into its
// client's process: the message with the icon that style names ("warning", "information",
// "critical", "question"), one button for each name, the focus on the first. Only a choice
// closes it: Escape and the frame cannot. Modal to the window that was active. Gives back the
// index of the name chosen, or nothing when the dialog could not be shown or the application
// was told to quit while it was open.
[[nodiscard]] std::optional<size_t> showWin32Choice(const std::wstring &title,
    const std::wstring &message, const std::vector<std::wstring> &names,
    const std::wstring &style);
