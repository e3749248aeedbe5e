#pragma once

// Makes Arial, the font of every control of the window, the application's default font on
// Windows, before the window is made; message boxes keep the desktop's message font.
void useArialAsDefaultFont();
