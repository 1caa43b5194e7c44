#include "signer/ui/form.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <windowsx.h>

#include <cstring>

namespace {

enum class Kind { Panel, Button, Radio, Check, Group, Label, Edit, FileEdit, List, Tabs, Page };

const char* const kFormClass = "TavomirForm";
const int kBrowseWidth = 22;

// comctl32, comdlg32 and gdi32 are reached through the system folder, so the
// component links nothing beyond the platform's core libraries.
struct TUiLibraries {
    TSystemLibrary comctl{"comctl32.dll"};
    TSystemLibrary comdlg{"comdlg32.dll"};
    TSystemLibrary gdi{"gdi32.dll"};
};

// Taken by the first live form and given back by the last, so that no window
// class of ours outlives the module (a client may unload us between calls)
// and no library is freed under the loader lock at process end.
SRWLOCK runtimeLock = SRWLOCK_INIT;
int liveForms = 0;
TUiLibraries* uiLibraries = nullptr;

HINSTANCE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

// Only while a form lives.
TUiLibraries& Ui() { return *uiLibraries; }

}  // namespace

TForm::TRuntimeUse::TRuntimeUse()
{
    AcquireSRWLockExclusive(&runtimeLock);
    if (liveForms++ == 0) {
        uiLibraries = new TUiLibraries;
        using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
        if (auto init = Ui().comctl.ProcAs<InitFn>("InitCommonControlsEx")) {
            INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
            init(&icc);
        }
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &TForm::WindowProc;
        wc.hInstance = ThisModule();
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kFormClass;
        RegisterClassExA(&wc);
    }
    ReleaseSRWLockExclusive(&runtimeLock);
}

TForm::TRuntimeUse::~TRuntimeUse()
{
    AcquireSRWLockExclusive(&runtimeLock);
    if (--liveForms == 0) {
        UnregisterClassA(kFormClass, ThisModule());
        delete uiLibraries;
        uiLibraries = nullptr;
    }
    ReleaseSRWLockExclusive(&runtimeLock);
}

TSystemLibrary::TSystemLibrary(const char* fileName)
{
    char path[MAX_PATH];
    UINT n = GetSystemDirectoryA(path, MAX_PATH);
    std::size_t nameLength = std::strlen(fileName);
    if (n == 0 || n + 1 + nameLength >= MAX_PATH) return;
    path[n] = '\\';
    std::memcpy(path + n + 1, fileName, nameLength + 1);
    module_.Reset(LoadLibraryA(path));
}

TSystemLibrary::~TSystemLibrary() = default;

FARPROC TSystemLibrary::Proc(const char* name) const
{
    return module_ ? GetProcAddress(module_.Get(), name) : nullptr;
}

struct TForm::Control {
    std::string name, panel;
    Kind kind = Kind::Panel;
    HWND window = nullptr;
    HWND browse = nullptr;
    int id = 0, browseId = 0;
    bool visible = true, enabled = true;
    std::string defaultExtension, filter;
    HMENU popup = nullptr;
    std::string popupItem;
    int popupId = 0;
    int pageIndex = -1;  // a page's tab
};

TForm::TForm(const char* caption, int width, int height, const char* fontName, int fontHeight)
{
    int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    window_ = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kFormClass, caption,
                              WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, x, y, width, height,
                              nullptr, nullptr, ThisModule(), nullptr);
    if (window_) SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    using CreateFontFn = HFONT(WINAPI*)(int, int, int, int, int, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                                        DWORD, DWORD, LPCSTR);
    if (auto createFont = Ui().gdi.ProcAs<CreateFontFn>("CreateFontA"))
        font_.Reset(createFont(fontHeight, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, fontName));
}

TForm::~TForm()
{
    for (auto& c : controls_)
        if (c->popup) DestroyMenu(c->popup);
    if (window_) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

void TForm::SetClientSize(int width, int height)
{
    if (!window_) return;
    RECT r{0, 0, width, height};
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrA(window_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(window_, GWL_EXSTYLE)));
    int w = r.right - r.left, h = r.bottom - r.top;
    MoveWindow(window_, (GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h,
               FALSE);
}

void TForm::SetMinimizeBox(bool on)
{
    if (!window_) return;
    LONG_PTR style = GetWindowLongPtrA(window_, GWL_STYLE);
    style = on ? (style | WS_MINIMIZEBOX) : (style & ~static_cast<LONG_PTR>(WS_MINIMIZEBOX));
    SetWindowLongPtrA(window_, GWL_STYLE, style);
    SetWindowPos(window_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
}

HWND TForm::Create(const char* className, const char* caption, DWORD style, DWORD exStyle, RECT r)
{
    HWND w = CreateWindowExA(exStyle, className, caption, WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                             r.right - r.left, r.bottom - r.top, window_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId_)),
                             ThisModule(), nullptr);
    if (w && font_) SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
    return w;
}

TForm::Control& TForm::Add(const std::string& name, const std::string& panel, HWND window)
{
    auto c = std::make_unique<Control>();
    c->name = name;
    c->panel = panel;
    c->window = window;
    c->id = nextId_++;
    controls_.push_back(std::move(c));
    return *controls_.back();
}

TForm::Control* TForm::Find(const std::string& name) const
{
    for (auto& c : controls_)
        if (c->name == name) return c.get();
    return nullptr;
}

TForm::Control* TForm::FindById(int id) const
{
    for (auto& c : controls_)
        if (c->id == id || (c->browseId && c->browseId == id) || (c->popupId && c->popupId == id))
            return c.get();
    return nullptr;
}

void TForm::AddPanel(const std::string& name, const std::string& panel)
{
    Add(name, panel, nullptr).kind = Kind::Panel;
}

void TForm::AddButton(const std::string& name, const std::string& panel, const char* caption, RECT r)
{
    HWND w = Create("BUTTON", caption, WS_TABSTOP | BS_PUSHBUTTON | BS_FLAT, 0, r);
    Add(name, panel, w).kind = Kind::Button;
}

void TForm::AddRadioButton(const std::string& name, const std::string& panel, const char* caption, RECT r)
{
    // Each radio button is its own group: the form keeps them exclusive.
    HWND w = Create("BUTTON", caption, WS_TABSTOP | WS_GROUP | BS_RADIOBUTTON, 0, r);
    Add(name, panel, w).kind = Kind::Radio;
}

void TForm::AddCheckBox(const std::string& name, const std::string& panel, const char* caption, RECT r)
{
    HWND w = Create("BUTTON", caption, WS_TABSTOP | BS_AUTOCHECKBOX, 0, r);
    Add(name, panel, w).kind = Kind::Check;
}

void TForm::AddGroupBox(const std::string& name, const std::string& panel, const char* caption, RECT r)
{
    HWND w = Create("BUTTON", caption, BS_GROUPBOX, 0, r);
    Add(name, panel, w).kind = Kind::Group;
    // A group box paints its etched line and caption only: the window keeps
    // just those, so what lies under the rest (a tab page) gets painted.
    using RectRgnFn = HRGN(WINAPI*)(int, int, int, int);
    using CombineFn = int(WINAPI*)(HRGN, HRGN, HRGN, int);
    using SelectFn = HGDIOBJ(WINAPI*)(HDC, HGDIOBJ);
    using MetricsFn = BOOL(WINAPI*)(HDC, LPTEXTMETRICA);
    using ExtentFn = BOOL(WINAPI*)(HDC, LPCSTR, int, LPSIZE);
    auto rectRgn = Ui().gdi.ProcAs<RectRgnFn>("CreateRectRgn");
    auto combine = Ui().gdi.ProcAs<CombineFn>("CombineRgn");
    auto select = Ui().gdi.ProcAs<SelectFn>("SelectObject");
    auto metrics = Ui().gdi.ProcAs<MetricsFn>("GetTextMetricsA");
    auto extent = Ui().gdi.ProcAs<ExtentFn>("GetTextExtentPoint32A");
    if (!w || !rectRgn || !combine || !select || !metrics || !extent) return;
    TEXTMETRICA tm{};
    SIZE text{};
    HDC dc = GetDC(w);
    if (!dc) return;
    HGDIOBJ old = font_ ? select(dc, font_.Get()) : nullptr;
    bool measured = metrics(dc, &tm) && extent(dc, caption, static_cast<int>(std::strlen(caption)), &text);
    if (old) select(dc, old);
    ReleaseDC(w, dc);
    if (!measured) return;
    const int width = r.right - r.left, height = r.bottom - r.top;
    const int line = tm.tmHeight / 2 - 1, edge = 2;
    TGdiObject shapeOwner(rectRgn(0, line, width, height));
    TGdiObject insideOwner(rectRgn(edge, line + edge, width - edge, height - edge));
    TGdiObject labelOwner(rectRgn(6, 0, 8 + text.cx, tm.tmHeight + 1));
    HRGN shape = static_cast<HRGN>(shapeOwner.Get());
    HRGN inside = static_cast<HRGN>(insideOwner.Get());
    HRGN label = static_cast<HRGN>(labelOwner.Get());
    bool ok = shape && inside && label && combine(shape, shape, inside, RGN_DIFF) != ERROR &&
              combine(shape, shape, label, RGN_OR) != ERROR && SetWindowRgn(w, shape, FALSE);
    if (ok) shapeOwner.Detach();  // the window owns it now
}

void TForm::AddTabControl(const std::string& name, const std::string& panel, RECT r)
{
    HWND w = Create(WC_TABCONTROLA, "", WS_TABSTOP | WS_CLIPSIBLINGS, 0, r);
    Add(name, panel, w).kind = Kind::Tabs;
}

void TForm::AddTabPage(const std::string& name, const std::string& tabControl, const char* caption)
{
    Control* tabs = Find(tabControl);
    if (!tabs || tabs->kind != Kind::Tabs || !tabs->window) return;
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(caption);
    int count = static_cast<int>(SendMessageA(tabs->window, TCM_GETITEMCOUNT, 0, 0));
    int index = static_cast<int>(SendMessageA(tabs->window, TCM_INSERTITEMA, count, reinterpret_cast<LPARAM>(&item)));
    if (index < 0) return;
    Control& page = Add(name, tabControl, nullptr);
    page.kind = Kind::Page;
    page.pageIndex = index;
    ShowPage(*tabs, static_cast<int>(SendMessageA(tabs->window, TCM_GETCURSEL, 0, 0)));
}

void TForm::AddLabel(const std::string& name, const std::string& panel, const char* caption, RECT r)
{
    HWND w = Create("STATIC", caption, SS_LEFT, 0, r);
    Add(name, panel, w).kind = Kind::Label;
}

void TForm::AddEdit(const std::string& name, const std::string& panel, RECT r, bool password)
{
    HWND w = Create("EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL | (password ? ES_PASSWORD : 0), WS_EX_CLIENTEDGE, r);
    if (password) SendMessageA(w, EM_SETPASSWORDCHAR, '*', 0);
    Add(name, panel, w).kind = Kind::Edit;
}

void TForm::AddFileNameEdit(const std::string& name, const std::string& panel, RECT r,
                            const char* defaultExtension, const char* filter, bool typing)
{
    RECT editRect = r;
    editRect.right -= kBrowseWidth;
    HWND w = Create("EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL | (typing ? 0 : ES_READONLY), WS_EX_CLIENTEDGE,
                    editRect);
    Control& c = Add(name, panel, w);
    c.kind = Kind::FileEdit;
    c.defaultExtension = defaultExtension;
    c.filter = filter;
    DragAcceptFiles(window_, TRUE);
    RECT buttonRect = r;
    buttonRect.left = editRect.right;
    c.browseId = nextId_;
    c.browse = Create("BUTTON", "...", WS_TABSTOP | BS_PUSHBUTTON, 0, buttonRect);
    ++nextId_;
}

void TForm::AddReportList(const std::string& name, const std::string& panel, RECT r,
                          const std::vector<Column>& columns)
{
    HWND w = Create(WC_LISTVIEWA, "", WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                    WS_EX_CLIENTEDGE, r);
    SendMessageA(w, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = const_cast<char*>(columns[i].caption);
        column.cx = columns[i].width;
        SendMessageA(w, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
    Add(name, panel, w).kind = Kind::List;
}

void TForm::AddPopupItem(const std::string& control, const std::string& item, const char* caption)
{
    Control* c = Find(control);
    if (!c) return;
    c->popup = CreatePopupMenu();
    c->popupItem = item;
    c->popupId = nextId_++;
    AppendMenuA(c->popup, MF_STRING, c->popupId, caption);
}

void TForm::ApplyVisibility()
{
    for (auto& c : controls_) {
        bool visible = c->visible;
        for (Control* p = Find(c->panel); p && visible; p = Find(p->panel)) visible = p->visible;
        int show = visible ? SW_SHOWNA : SW_HIDE;
        if (c->window) ShowWindow(c->window, show);
        if (c->browse) ShowWindow(c->browse, show);
    }
}

void TForm::ShowPage(Control& tabs, int index)
{
    for (auto& c : controls_)
        if (c->kind == Kind::Page && c->panel == tabs.name) c->visible = c->pageIndex == index;
    ApplyVisibility();
    if (tabs.window) RedrawWindow(tabs.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
}

void TForm::SelectPage(const std::string& page)
{
    Control* p = Find(page);
    if (!p || p->kind != Kind::Page) return;
    Control* tabs = Find(p->panel);
    if (!tabs || !tabs->window) return;
    SendMessageA(tabs->window, TCM_SETCURSEL, p->pageIndex, 0);
    ShowPage(*tabs, p->pageIndex);
}

std::string TForm::SelectedPage(const std::string& tabControl) const
{
    Control* tabs = Find(tabControl);
    if (!tabs || tabs->kind != Kind::Tabs || !tabs->window) return std::string();
    int index = static_cast<int>(SendMessageA(tabs->window, TCM_GETCURSEL, 0, 0));
    for (auto& c : controls_)
        if (c->kind == Kind::Page && c->panel == tabControl && c->pageIndex == index) return c->name;
    return std::string();
}

void TForm::SetVisible(const std::string& name, bool visible)
{
    if (Control* c = Find(name)) {
        c->visible = visible;
        ApplyVisibility();
    }
}

bool TForm::Visible(const std::string& name) const
{
    Control* c = Find(name);
    return c && c->window ? IsWindowVisible(c->window) != FALSE : (c && c->visible);
}

void TForm::SetEnabled(const std::string& name, bool enabled)
{
    Control* c = Find(name);
    if (!c || !c->window) return;
    c->enabled = enabled;
    EnableWindow(c->window, enabled);
    if (c->browse) EnableWindow(c->browse, enabled);
    if (c->kind == Kind::List) {
        COLORREF colour = GetSysColor(enabled ? COLOR_WINDOW : COLOR_3DLIGHT);
        SendMessageA(c->window, LVM_SETBKCOLOR, 0, colour);
        SendMessageA(c->window, LVM_SETTEXTBKCOLOR, 0, colour);
    }
    InvalidateRect(c->window, nullptr, TRUE);
}

bool TForm::Enabled(const std::string& name) const
{
    Control* c = Find(name);
    return c && c->window && IsWindowEnabled(c->window);
}

bool TForm::Checked(const std::string& name) const
{
    Control* c = Find(name);
    return c && c->window && SendMessageA(c->window, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TForm::SetChecked(const std::string& name, bool checked)
{
    if (Control* c = Find(name))
        if (c->window) SendMessageA(c->window, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::string TForm::Text(const std::string& name) const
{
    Control* c = Find(name);
    if (!c || !c->window) return std::string();
    int n = GetWindowTextLengthA(c->window);
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    n = GetWindowTextA(c->window, &text[0], n + 1);
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
}

void TForm::SetText(const std::string& name, const std::string& text)
{
    if (Control* c = Find(name))
        if (c->window) SetWindowTextA(c->window, text.c_str());
}

void TForm::Focus(const std::string& name)
{
    if (Control* c = Find(name))
        if (c->window) SetFocus(c->window);
}

void TForm::SetBounds(const std::string& name, RECT r)
{
    if (Control* c = Find(name))
        if (c->window) MoveWindow(c->window, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

int TForm::ListAdd(const std::string& name, const std::vector<std::string>& texts, void* data)
{
    Control* c = Find(name);
    if (!c || !c->window || texts.empty()) return -1;
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = ListCount(name);
    item.pszText = const_cast<char*>(texts[0].c_str());
    item.lParam = reinterpret_cast<LPARAM>(data);
    int index = static_cast<int>(SendMessageA(c->window, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (index < 0) return -1;
    for (std::size_t i = 1; i < texts.size(); ++i) {
        LVITEMA sub{};
        sub.iSubItem = static_cast<int>(i);
        sub.pszText = const_cast<char*>(texts[i].c_str());
        SendMessageA(c->window, LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&sub));
    }
    return index;
}

int TForm::ListSelected(const std::string& name) const
{
    Control* c = Find(name);
    if (!c || !c->window) return -1;
    return static_cast<int>(SendMessageA(c->window, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void* TForm::ListData(const std::string& name, int index) const
{
    Control* c = Find(name);
    if (!c || !c->window || index < 0) return nullptr;
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!SendMessageA(c->window, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    return reinterpret_cast<void*>(item.lParam);
}

int TForm::ListCount(const std::string& name) const
{
    Control* c = Find(name);
    return c && c->window ? static_cast<int>(SendMessageA(c->window, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

void TForm::ListClear(const std::string& name)
{
    if (Control* c = Find(name))
        if (c->window) SendMessageA(c->window, LVM_DELETEALLITEMS, 0, 0);
}

void TForm::Message(const std::string& text, const char* title, UINT flags)
{
    MessageBoxA(shown_ ? window_ : nullptr, text.c_str(), title, flags);
}

void TForm::Fire(const std::map<std::string, Handler>& handlers, const std::string& name)
{
    auto it = handlers.find(name);
    if (it != handlers.end() && it->second) it->second();
}

void TForm::Browse(Control& c)
{
    using OpenFn = BOOL(WINAPI*)(LPOPENFILENAMEA);
    auto open = Ui().comdlg.ProcAs<OpenFn>("GetOpenFileNameA");
    if (!open) return;
    std::string filter = c.filter;
    for (char& ch : filter)
        if (ch == '|') ch = '\0';
    filter.push_back('\0');
    char file[MAX_PATH] = {};
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = window_;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrDefExt = c.defaultExtension.empty() ? nullptr : c.defaultExtension.c_str() + (c.defaultExtension[0] == '.');
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!open(&ofn)) return;
    SetWindowTextA(c.window, file);
    Fire(onAfterDialog_, c.name);
}

LRESULT CALLBACK TForm::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (form) return form->Handle(message, wParam, lParam);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT TForm::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        int code = HIWORD(wParam);
        if (id == IDOK || id == IDCANCEL) {  // Enter and Escape routed by the dialog manager
            if (onKeyDown_) onKeyDown_(id == IDOK ? VK_RETURN : VK_ESCAPE);
            return 0;
        }
        Control* c = FindById(id);
        if (!c) break;
        if (c->popupId == id) Fire(onClick_, c->popupItem);
        else if (c->browseId == id && code == BN_CLICKED) Browse(*c);
        else if ((c->kind == Kind::Button || c->kind == Kind::Radio || c->kind == Kind::Check) &&
                 code == BN_CLICKED) {
            if (c->kind == Kind::Radio) SendMessageA(c->window, BM_SETCHECK, BST_CHECKED, 0);
            Fire(onClick_, c->name);
        } else if ((c->kind == Kind::Edit || c->kind == Kind::FileEdit) && code == EN_CHANGE)
            Fire(onChange_, c->name);
        return 0;
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        Control* c = FindById(static_cast<int>(header->idFrom));
        if (c && c->kind == Kind::List && header->code == NM_DBLCLK) Fire(onDblClick_, c->name);
        if (c && c->kind == Kind::Tabs && header->code == TCN_SELCHANGE) {
            ShowPage(*c, static_cast<int>(SendMessageA(c->window, TCM_GETCURSEL, 0, 0)));
            Fire(onChange_, c->name);
        }
        return 0;
    }
    case WM_CONTEXTMENU: {
        for (auto& c : controls_) {
            if (c->window != reinterpret_cast<HWND>(wParam) || !c->popup) continue;
            POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (p.x == -1 && p.y == -1) GetCursorPos(&p);
            TrackPopupMenu(c->popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, p.x, p.y, 0, window_, nullptr);
            return 0;
        }
        break;
    }
    case WM_DROPFILES: {
        auto drop = reinterpret_cast<HDROP>(wParam);
        char file[MAX_PATH] = {};
        if (DragQueryFileA(drop, 0, file, MAX_PATH))
            for (auto& c : controls_)
                if (c->kind == Kind::FileEdit && c->enabled && IsWindowVisible(c->window)) {
                    SetWindowTextA(c->window, file);
                    break;
                }
        DragFinish(drop);
        return 0;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        for (auto& c : controls_) {
            if (c->window != reinterpret_cast<HWND>(lParam)) continue;
            if (c->kind != Kind::Edit && c->kind != Kind::FileEdit) break;
            int colour = c->enabled ? COLOR_WINDOW : COLOR_3DLIGHT;
            using SetBkFn = COLORREF(WINAPI*)(HDC, COLORREF);
            if (auto setBk = Ui().gdi.ProcAs<SetBkFn>("SetBkColor"))
                setBk(reinterpret_cast<HDC>(wParam), GetSysColor(colour));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(colour));
        }
        break;
    }
    case WM_CLOSE:
        modalResult_ = 2;
        return 0;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}

int TForm::ShowModal()
{
    if (!window_) return 2;
    modalResult_ = 0;
    // Frames under their contents: group boxes, then tab controls at the bottom.
    for (Kind kind : {Kind::Group, Kind::Tabs})
        for (auto& c : controls_)
            if (c->kind == kind && c->window)
                SetWindowPos(c->window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (onShow_) onShow_();
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    shown_ = true;
    MSG msg;
    while (modalResult_ == 0) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            modalResult_ = 2;
            break;
        }
        if (got < 0) {
            modalResult_ = 2;
            break;
        }
        // Key preview: the form sees keys of its controls first.
        if (msg.message == WM_KEYDOWN && onKeyDown_ && (msg.hwnd == window_ || IsChild(window_, msg.hwnd)) &&
            onKeyDown_(static_cast<WORD>(msg.wParam)))
            continue;
        if (IsDialogMessageA(window_, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    shown_ = false;
    ShowWindow(window_, SW_HIDE);
    return modalResult_;
}
