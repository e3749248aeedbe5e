#pragma once

#include <QString>

class QWidget;

// The utility's message boxes: modal, titled "Prismor", plain text, an OK button only, no icon.
namespace MessageBox {

inline constexpr auto applicationTitle = "Prismor";

// Builds the message box and shows it until the user closes it.
void show(QWidget *parent, const QString &text);

} // namespace MessageBox
