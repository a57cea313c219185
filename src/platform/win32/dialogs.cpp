// dialogs.cpp: message boxes, the name-entry window's controls, and closing a window on request.
#include "platform/win32/shell.h"

#include "platform/platform.h"
#include "present/shellFacts.h"
#include "program/program.h"

namespace {

HWND nameEdit;      // the name field; made at the first showing of the name window, kept to the end
int nameScale = 1;  // the whole factor of the name window's screen, as for the game window

// Child controls are identified by the number passed where a top-level window passes its menu.
HMENU controlId(int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); }

// The controls' places are given for 96 DPI; a larger screen spreads them by the window's factor.
HWND makeControl(const wchar_t* className, const std::string& text, DWORD style, const ControlRect& at, int id) {
    const int s = nameScale;
    return CreateWindowExW(0, className, toUtf16(text).c_str(), WS_CHILD | WS_VISIBLE | style, at.x * s, at.y * s,
                           at.width * s, at.height * s, nameWindow, controlId(id), appInstance, nullptr);
}

void placeControl(int id, const ControlRect& at) {
    const int s = nameScale;
    if (HWND control = GetDlgItem(nameWindow, id))
        MoveWindow(control, at.x * s, at.y * s, at.width * s, at.height * s, TRUE);
}

void makeNameControls() {
    // No ES_AUTOHSCROLL: the field takes only as much text as its visible width holds.
    nameEdit = makeControl(L"EDIT", "", WS_BORDER, nameFieldRect, nameFieldId);
    makeControl(L"BUTTON", okButtonText, 0, okButtonRect, okButtonId);
}

}  // namespace

namespace {

// A box waiting in the queue to be shown.
struct Box {
    std::wstring text, title;
    UINT type;
    HWND owner;
};

}  // namespace

void showMessageBox(const std::string& textUtf8, const std::string& titleUtf8, BoxButtons buttons, BoxOwner owner) {
    auto* box = new Box{toUtf16(textUtf8), toUtf16(titleUtf8), UINT(buttons == BoxButtons::yesNo ? MB_YESNO : MB_OK),
                        owner == BoxOwner::nameWindow ? nameWindow : nullptr};
    if (!PostMessageW(mainWindow, boxMessage, 0, reinterpret_cast<LPARAM>(box))) delete box;
}

void onBoxMessage(LPARAM boxParameter) {
    auto* box = reinterpret_cast<Box*>(boxParameter);
    // The box's modal loop goes on delivering ticks, paints and keys; the core holds the game still
    // until the answer.
    const int answer = MessageBoxW(box->owner, box->text.c_str(), box->title.c_str(), box->type);
    delete box;
    onBoxAnswer(answer == IDYES ? BoxAnswer::yes : answer == IDNO ? BoxAnswer::no : BoxAnswer::ok);
}

void runMessageBox(const char* textUtf8, const char* titleUtf8) {
    MessageBoxW(nullptr, toUtf16(textUtf8).c_str(), toUtf16(titleUtf8).c_str(), MB_OK);
}

void showNameWindow() {
    SetWindowPos(nameWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ShowWindow(nameWindow, SW_SHOW);
    // The controls are made after the window is shown, once; later showings find the field as
    // it was left, text and all.
    if (!nameEdit) makeNameControls();
}

void layoutNameWindow(int scale, const RECT* place) {
    nameScale = scale;
    const UINT keepPlace = place ? 0 : SWP_NOMOVE;
    SetWindowPos(nameWindow, nullptr, place ? place->left : 0, place ? place->top : 0, nameWindowWidth * scale,
                 nameWindowHeight * scale, keepPlace | SWP_NOZORDER | SWP_NOACTIVATE);
    placeControl(nameFieldId, nameFieldRect);
    placeControl(okButtonId, okButtonRect);
}

void hideNameWindow() { ShowWindow(nameWindow, SW_HIDE); }

std::string nameFieldText() {
    if (!nameEdit) return {};
    const int length = GetWindowTextLengthW(nameEdit);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(nameEdit, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return toUtf8(text);
}

void postClose(WindowId window) { PostMessageW(window == WindowId::name ? nameWindow : mainWindow, WM_CLOSE, 0, 0); }
