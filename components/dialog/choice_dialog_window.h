#pragma once

#include <choice_dialog.h>

#include <memory>

namespace Norlix {

// The Norlix choice dialog as a modal Qt dialog over the active window.
//
// ShowChoice shows the title and the message (plain text) and one button for each name in the
// button list, in the list's order. Names are separated by two spaces; empty names are skipped,
// and a list with no name at all gets a single "OK" button so that the dialog can always be
// answered. The chosen button's name is given back exactly as written in the list.
//
// The style word picks the icon beside the message, ignoring letter case: "warning",
// "information", "critical" and "question" show the platform's icon of that kind; any other
// word shows none. A screen reader names the icon "Warning", "Information", "Error" or "Question".
// The number is reserved and not used.
//
// The dialog can only be answered by a button: it has no close button in its frame, and Escape
// or a request to close the window leaves it open. It opens with the focus on the first button
// (Retry in the CAUTION dialog), and only the buttons take the focus. No button is the default:
// Enter chooses the focused button.
std::unique_ptr<ChoiceDialogComponent> makeChoiceDialogWindow();

} // namespace Norlix
