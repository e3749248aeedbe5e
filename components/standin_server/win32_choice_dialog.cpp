#include "win32_choice_dialog.h"

#include <windows.h>

#include <algorithm>

namespace {

constexpr int firstButtonId = 100;

struct Choice
{
    const std::wstring &title;
    const std::wstring &message;
    const std::vector<std::wstring> &names;
    const std::wstring &style;
};

// The dialog's frame, without a close box; its controls come in WM_INITDIALOG, sized to the text.
struct alignas(4) DialogTemplate
{
    DLGTEMPLATE header;
    WORD menu;
    WORD windowClass;
    WORD title;
    WORD pointSize;
    wchar_t font[13];
};

HMODULE thisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&thisModule), &module);
    return module;
}

const wchar_t *styleIcon(const std::wstring &style)
{
    std::wstring word = style;
    std::transform(word.begin(), word.end(), word.begin(), towlower);
    if (word == L"warning")
        return IDI_WARNING;
    if (word == L"information")
        return IDI_INFORMATION;
    if (word == L"critical")
        return IDI_ERROR;
    if (word == L"question")
        return IDI_QUESTION;
    return nullptr;
}

// A "&" in a name shows as itself, never as a mnemonic.
std::wstring caption(const std::wstring &name)
{
    std::wstring text;
    for (wchar_t c : name)
        text += c == L'&' ? std::wstring(L"&&") : std::wstring(1, c);
    return text;
}

SIZE dialogUnits(HWND dialog, int x, int y)
{
    RECT rect { 0, 0, x, y };
    MapDialogRect(dialog, &rect);
    return { rect.right, rect.bottom };
}

HWND addControl(HWND dialog, const wchar_t *windowClass, const std::wstring &text, DWORD style,
    int id, RECT place)
{
    HWND control = CreateWindowExW(0, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | style,
        place.left, place.top, place.right - place.left, place.bottom - place.top, dialog,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), thisModule(), nullptr);
    SendMessageW(control, WM_SETFONT, SendMessageW(dialog, WM_GETFONT, 0, 0), FALSE);
    return control;
}

// Lays the icon, the message and the buttons out, and fits and centres the dialog around them.
void buildDialog(HWND dialog, const Choice &choice)
{
    SetWindowTextW(dialog, choice.title.c_str());
    const SIZE margin = dialogUnits(dialog, 7, 7);
    const SIZE gap = dialogUnits(dialog, 4, 4);
    const SIZE button = dialogUnits(dialog, 50, 14);
    const int messageWidth = dialogUnits(dialog, 230, 0).cx;

    HDC dc = GetDC(dialog);
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
    RECT message { 0, 0, messageWidth, 0 };
    DrawTextW(dc, choice.message.c_str(), static_cast<int>(choice.message.size()), &message,
        DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
    std::vector<int> widths;
    for (const std::wstring &name : choice.names) {
        SIZE text {};
        GetTextExtentPoint32W(dc, name.c_str(), static_cast<int>(name.size()), &text);
        widths.push_back(std::max<int>(button.cx, text.cx + 2 * gap.cx));
    }
    SelectObject(dc, oldFont);
    ReleaseDC(dialog, dc);

    int left = margin.cx;
    const wchar_t *icon = styleIcon(choice.style);
    if (icon) {
        const int size = GetSystemMetrics(SM_CXICON);
        HWND picture = addControl(dialog, L"STATIC", L"", SS_ICON, -1,
            { left, margin.cy, left + size, margin.cy + size });
        SendMessageW(picture, STM_SETICON,
            reinterpret_cast<WPARAM>(LoadIconW(nullptr, icon)), 0);
        left += size + 2 * gap.cx;
    }
    const int messageHeight = std::max<int>(message.bottom, icon ? GetSystemMetrics(SM_CYICON) : 0);
    addControl(dialog, L"STATIC", choice.message, SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, -1,
        { left, margin.cy, left + message.right, margin.cy + message.bottom });

    int buttonsWidth = 0;
    for (int width : widths)
        buttonsWidth += width + gap.cx;
    buttonsWidth -= gap.cx;
    const int clientWidth = std::max<int>(left + message.right, margin.cx + buttonsWidth) + margin.cx;
    const int buttonTop = margin.cy + messageHeight + 2 * gap.cy;
    int x = clientWidth - margin.cx - buttonsWidth;
    for (size_t i = 0; i < choice.names.size(); ++i) {
        addControl(dialog, L"BUTTON", caption(choice.names[i]), WS_TABSTOP | BS_PUSHBUTTON,
            firstButtonId + static_cast<int>(i), { x, buttonTop, x + widths[i], buttonTop + button.cy });
        x += widths[i] + gap.cx;
    }

    RECT frame { 0, 0, clientWidth, buttonTop + button.cy + margin.cy };
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE)), FALSE,
        static_cast<DWORD>(GetWindowLongW(dialog, GWL_EXSTYLE)));
    RECT around {};
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (!owner || !GetWindowRect(owner, &around))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &around, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(dialog, nullptr, around.left + (around.right - around.left - width) / 2,
        around.top + (around.bottom - around.top - height) / 2, width, height,
        SWP_NOZORDER | SWP_NOACTIVATE);
    SetFocus(GetDlgItem(dialog, firstButtonId));
}

bool isChoice(HWND dialog, int id)
{
    const auto *choice = reinterpret_cast<const Choice *>(GetWindowLongPtrW(dialog, DWLP_USER));
    return choice && id >= firstButtonId
        && id < firstButtonId + static_cast<int>(choice->names.size());
}

INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        try {
            buildDialog(dialog, *reinterpret_cast<const Choice *>(lParam));
        } catch (...) {
            EndDialog(dialog, 0);
        }
        return FALSE; // the focus is set
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        // Enter: the button that has the focus.
        if (id == IDOK)
            id = GetDlgCtrlID(GetFocus());
        if (isChoice(dialog, id))
            EndDialog(dialog, id - firstButtonId + 1);
        return TRUE; // Escape (IDCANCEL) chooses nothing
    }
    case WM_CLOSE:
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL CALLBACK findVisibleTopLevel(HWND window, LPARAM found)
{
    if (IsWindowVisible(window) && IsWindowEnabled(window) && !GetWindow(window, GW_OWNER)) {
        *reinterpret_cast<HWND *>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// The window that was active, or else this thread's visible top-level window.
HWND ownerWindow()
{
    HWND owner = GetActiveWindow();
    if (!owner)
        EnumThreadWindows(
            GetCurrentThreadId(), findVisibleTopLevel, reinterpret_cast<LPARAM>(&owner));
    return owner;
}

} // namespace

std::optional<size_t> showWin32Choice(const std::wstring &title, const std::wstring &message,
    const std::vector<std::wstring> &names, const std::wstring &style)
{
    if (names.empty())
        return std::nullopt;
    DialogTemplate frame {};
    frame.header.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT;
    frame.pointSize = 8;
    std::copy_n(L"MS Shell Dlg", 13, frame.font);
    const Choice choice { title, message, names, style };
    const INT_PTR chosen = DialogBoxIndirectParamW(thisModule(), &frame.header, ownerWindow(),
        dialogProcedure, reinterpret_cast<LPARAM>(&choice));
    if (chosen <= 0 || static_cast<size_t>(chosen) > names.size())
        return std::nullopt;
    return static_cast<size_t>(chosen - 1);
}
