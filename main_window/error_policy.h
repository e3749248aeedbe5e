#pragma once

#include <QString>

#include <exception>

// What went wrong, in the words that the window shows when such an error ends the utility: a
// component's own description, or Prismor's words for running out of memory or for an error
// it cannot describe.
[[nodiscard]] QString errorDescription(const std::exception_ptr &error);
