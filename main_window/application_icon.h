#pragma once

#include <QIcon>

// Prismor's application icon, in its 16 and 32 pixel images.
[[nodiscard]] QIcon applicationIcon();
