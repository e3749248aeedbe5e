#pragma once

// What screen readers find in the window through Qt's accessibility: the window itself as a
// frame, and each label's text through the Text interface, line by line as the label shows it.
// Installed once, before the window's controls are first asked for.
void installAccessibleInterfaces();
