#include "choice_dialog_driver.h"

#include "window_test_support.h"

#include <QPushButton>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>

#include <vector>
#endif

namespace {

#ifdef Q_OS_WIN
QString windowText(HWND window)
{
    wchar_t text[512] = {};
    const int length = GetWindowTextW(window, text, 512);
    return QString::fromWCharArray(text, length);
}

bool hasClass(HWND window, const wchar_t *name)
{
    wchar_t windowClass[32] = {};
    GetClassNameW(window, windowClass, 32);
    return wcscmp(windowClass, name) == 0;
}

// A dialog box of this thread that is shown.
BOOL CALLBACK findDialog(HWND window, LPARAM found)
{
    if (IsWindowVisible(window) && hasClass(window, L"#32770")) {
        *reinterpret_cast<HWND *>(found) = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK collectButton(HWND window, LPARAM buttons)
{
    if (hasClass(window, L"Button"))
        reinterpret_cast<std::vector<HWND> *>(buttons)->push_back(window);
    return TRUE;
}

std::optional<ShownChoice> shownWin32Choice()
{
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog)
        return std::nullopt;
    std::vector<HWND> buttons;
    EnumChildWindows(dialog, collectButton, reinterpret_cast<LPARAM>(&buttons));
    ShownChoice shown { windowText(dialog), {}, {} };
    for (HWND button : buttons)
        shown.buttons << windowText(button).replace(QLatin1String("&&"), QLatin1String("&"));
    shown.choose = [dialog, buttons, names = shown.buttons](const QString &name) {
        const qsizetype index = names.indexOf(name);
        if (index < 0)
            return;
        const int id = GetDlgCtrlID(buttons[size_t(index)]);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
            reinterpret_cast<LPARAM>(buttons[size_t(index)]));
    };
    return shown;
}
#endif

std::optional<ShownChoice> shownQtChoice()
{
    QWidget *dialog = shownChoiceDialog();
    if (!dialog)
        return std::nullopt;
    ShownChoice shown { dialog->windowTitle(), {}, {} };
    const QList<QPushButton *> buttons = dialog->findChildren<QPushButton *>();
    for (QPushButton *button : buttons)
        shown.buttons << button->text().replace(QLatin1String("&&"), QLatin1String("&"));
    shown.choose = [buttons, names = shown.buttons](const QString &name) {
        const qsizetype index = names.indexOf(name);
        if (index >= 0)
            QTest::mouseClick(buttons[index], Qt::LeftButton);
    };
    return shown;
}

} // namespace

std::optional<ShownChoice> shownChoice()
{
#ifdef Q_OS_WIN
    if (auto shown = shownWin32Choice())
        return shown;
#endif
    return shownQtChoice();
}
