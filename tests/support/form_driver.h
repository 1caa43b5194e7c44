// Drives a modal form like a user from a second thread: finds windows and
// message boxes, reads and presses controls, and saves a window's picture.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <wincrypt.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/owner.h"

namespace testsupport::form {

using Bytes = std::vector<unsigned char>;

inline bool WaitFor(const std::function<bool()>& condition, int milliseconds = 15000)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        Sleep(20);
    }
    return false;
}

inline HWND VisibleWindow(const wchar_t* className, const wchar_t* caption)
{
    HWND w = FindWindowW(className, caption);
    return w && IsWindowVisible(w) ? w : nullptr;
}

inline HWND WaitForWindow(const wchar_t* caption)
{
    HWND w = nullptr;
    WaitFor([&] { return (w = VisibleWindow(nullptr, caption)) != nullptr; });
    return w;
}

inline HWND MessageBoxWindow(const wchar_t* title = L"Aviso") { return VisibleWindow(L"#32770", title); }

inline std::wstring WindowText(HWND w)
{
    wchar_t text[512] = {};
    GetWindowTextW(w, text, 512);
    return text;
}

// The box's message: its longest static text.
inline std::wstring BoxText(HWND box)
{
    std::wstring best;
    for (HWND c = FindWindowExW(box, nullptr, L"Static", nullptr); c; c = FindWindowExW(box, c, L"Static", nullptr)) {
        std::wstring t = WindowText(c);
        if (t.size() > best.size()) best = t;
    }
    return best;
}

// Whether the box shows an icon: a visible icon static holding one.
inline bool BoxHasIcon(HWND box)
{
    for (HWND c = FindWindowExW(box, nullptr, L"Static", nullptr); c; c = FindWindowExW(box, c, L"Static", nullptr))
        if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(c) &&
            SendMessageW(c, STM_GETICON, 0, 0) != 0)
            return true;
    return false;
}

struct Box {
    std::wstring text;
    bool icon = false;
    bool shown = false;
};

// Waits for the box of the title, reads it and presses OK; shown false when none came.
inline Box AnswerBoxOf(const wchar_t* title, int milliseconds = 15000)
{
    HWND box = nullptr;
    Box seen;
    if (!WaitFor([&] { return (box = MessageBoxWindow(title)) != nullptr; }, milliseconds)) return seen;
    seen.shown = true;
    seen.text = BoxText(box);
    seen.icon = BoxHasIcon(box);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); });
    return seen;
}

// The text of the next "Aviso" box, "" when none came.
inline std::wstring AnswerBox(int milliseconds = 15000) { return AnswerBoxOf(L"Aviso", milliseconds).text; }

inline HWND Child(HWND form, const wchar_t* className, const wchar_t* caption)
{
    return FindWindowExW(form, nullptr, className, caption);
}
// The index-th child of the class (0 the first), in creation order.
inline HWND NthChild(HWND form, const wchar_t* className, int index)
{
    HWND c = FindWindowExW(form, nullptr, className, nullptr);
    while (c && index-- > 0) c = FindWindowExW(form, c, className, nullptr);
    return c;
}
inline HWND ListOf(HWND form) { return Child(form, L"SysListView32", nullptr); }

inline bool IsChecked(HWND button) { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

struct Row {
    std::wstring serial, name, issuer;
};

inline std::vector<Row> Rows(HWND list)
{
    std::vector<Row> rows;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring cells[3];
        for (int sub = 0; sub < 3; ++sub) {
            wchar_t text[256] = {};
            LVITEMW item{};
            item.iSubItem = sub;
            item.pszText = text;
            item.cchTextMax = 256;
            SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
            cells[sub] = text;
        }
        rows.push_back({cells[0], cells[1], cells[2]});
    }
    return rows;
}

// The row of a certificate: the list follows the store's order, and other
// PKIs' certificates with the same serial may sit in the shared profile.
inline int RowOf(const std::vector<Row>& rows, const Bytes& der)
{
    TCertStore store(CertOpenSystemStoreA(0, "MY"));
    int index = -1, i = 0;
    for (PCCERT_CONTEXT c = nullptr; store && (c = CertEnumCertificatesInStore(store.Get(), c)) != nullptr; ++i)
        if (index < 0 && c->cbCertEncoded == der.size() && std::equal(der.begin(), der.end(), c->pbCertEncoded))
            index = i;
    return index < static_cast<int>(rows.size()) ? index : -1;
}

inline void Select(HWND list, int index)
{
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&state));
}

// Posted, so that a message box the click opens does not block the user.
inline void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }
inline void Press(HWND window, WORD key) { PostMessageW(window, WM_KEYDOWN, key, 0); }

// A mouse click on the tab of the index, as the mouse delivers it.
inline void ClickTab(HWND tabs, int index)
{
    RECT r{};
    SendMessageW(tabs, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(tabs, WM_LBUTTONUP, 0, at);
}

// A certificate's subject (flags 0) or issuer (CERT_NAME_ISSUER_FLAG) common
// name, read by the platform: what a list row should show.
inline std::wstring CommonName(PCCERT_CONTEXT c, DWORD flags)
{
    wchar_t text[256] = {};
    CertGetNameStringW(c, CERT_NAME_ATTR_TYPE, flags, const_cast<char*>(szOID_COMMON_NAME), text, 256);
    return text;
}

// Sets an edit's text as a paste does. Sent from a thread of its own, so that
// a message box the change opens does not block the user; join() after it.
inline std::thread SetTextAsync(HWND edit, const std::wstring& text)
{
    return std::thread([edit, text] { SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())); });
}

// Deletes the whole text of an edit as the keyboard does.
inline void DeleteAllText(HWND edit)
{
    PostMessageW(edit, EM_SETSEL, 0, -1);
    PostMessageW(edit, WM_KEYDOWN, VK_DELETE, 0);
    PostMessageW(edit, WM_KEYUP, VK_DELETE, 0);
}

inline BOOL CALLBACK CloseIfVisible(HWND w, LPARAM)
{
    if (IsWindowVisible(w)) PostMessageW(w, WM_CLOSE, 0, 0);
    return TRUE;
}

// Runs `body` on this thread while `user` acts from a second one. When the
// user gets lost, every window of this thread is closed so the test ends.
inline void WithUser(const std::function<void()>& body, const std::function<void(std::atomic<bool>& done)>& user)
{
    std::atomic<bool> done{false};
    DWORD self = GetCurrentThreadId();
    std::thread other([&] {
        user(done);
        // Leave nothing open behind a failed script.
        WaitFor([&] { return done.load(); }, 3000);
        if (!done) {
            EnumThreadWindows(self, CloseIfVisible, 0);
        }
    });
    body();
    done = true;
    other.join();
}

// --- pictures --------------------------------------------------------------

// The window as the screen shows it: 24-bit rows, bottom-up, BGR, each row
// padded to 4 bytes (a DIB).
inline bool CaptureWindow(HWND window, int& width, int& height, Bytes& pixels)
{
    TModule gdi(LoadLibraryA("gdi32.dll"));
    if (!gdi) return false;
    auto proc = [&](const char* name) { return reinterpret_cast<void (*)()>(GetProcAddress(gdi.Get(), name)); };
    auto createDc = reinterpret_cast<HDC(WINAPI*)(HDC)>(proc("CreateCompatibleDC"));
    auto createBitmap = reinterpret_cast<HBITMAP(WINAPI*)(HDC, int, int)>(proc("CreateCompatibleBitmap"));
    auto select = reinterpret_cast<HGDIOBJ(WINAPI*)(HDC, HGDIOBJ)>(proc("SelectObject"));
    auto bitBlt = reinterpret_cast<BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, DWORD)>(proc("BitBlt"));
    auto getBits = reinterpret_cast<int(WINAPI*)(HDC, HBITMAP, UINT, UINT, void*, BITMAPINFO*, UINT)>(proc("GetDIBits"));
    auto deleteDc = reinterpret_cast<BOOL(WINAPI*)(HDC)>(proc("DeleteDC"));
    if (!createDc || !createBitmap || !select || !bitBlt || !getBits || !deleteDc) return false;
    RECT r;
    GetWindowRect(window, &r);
    width = r.right - r.left;
    height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = createDc(screen);
    TGdiObject bitmapOwner(createBitmap(screen, width, height));
    HBITMAP bitmap = static_cast<HBITMAP>(bitmapOwner.Get());
    HGDIOBJ old = select(memory, bitmap);
    bitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    select(memory, old);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    pixels.assign(stride * static_cast<DWORD>(height), 0);
    bool ok = getBits(memory, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS) == height;
    bitmapOwner.Reset();
    deleteDc(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

inline bool SaveBmp(const std::string& path, int width, int height, const Bytes& pixels)
{
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&header, sizeof header, 1, out) == 1 &&
              std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
    return std::fclose(out) == 0 && ok;
}

// A PNG of the DIB: RGB rows, no filter, zlib stored (uncompressed) blocks.
inline bool SavePng(const std::string& path, int width, int height, const Bytes& pixels)
{
    std::uint32_t table[256];
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    auto put32 = [](Bytes& out, std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(v >> shift));
    };
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto chunk = [&](const char* type, const Bytes& data) {
        put32(png, static_cast<std::uint32_t>(data.size()));
        std::size_t start = png.size();
        png.insert(png.end(), type, type + 4);
        png.insert(png.end(), data.begin(), data.end());
        std::uint32_t crc = 0xFFFFFFFFu;
        for (std::size_t i = start; i < png.size(); ++i) crc = table[(crc ^ png[i]) & 0xFF] ^ (crc >> 8);
        put32(png, crc ^ 0xFFFFFFFFu);
    };
    Bytes header;
    put32(header, static_cast<std::uint32_t>(width));
    put32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    chunk("IHDR", header);

    std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~static_cast<std::size_t>(3);
    Bytes raw;
    for (int y = height - 1; y >= 0; --y) {
        raw.push_back(0);
        const unsigned char* row = pixels.data() + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < width; ++x) raw.insert(raw.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
    }
    Bytes zlib = {0x78, 0x01};
    for (std::size_t at = 0; at < raw.size() || at == 0;) {
        std::size_t n = std::min<std::size_t>(raw.size() - at, 65535);
        bool last = at + n == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.insert(zlib.end(), {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
                                 static_cast<unsigned char>(~n), static_cast<unsigned char>(~n >> 8)});
        zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                    raw.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
        if (last) break;
    }
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    put32(zlib, (b << 16) | a);
    chunk("IDAT", zlib);
    chunk("IEND", Bytes());

    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    bool ok = std::fwrite(png.data(), 1, png.size(), out) == png.size();
    return std::fclose(out) == 0 && ok;
}

// Saves the window's picture: a PNG when the path ends in ".png", else a BMP.
inline bool SaveWindowImage(HWND window, const std::string& path)
{
    int width = 0, height = 0;
    Bytes pixels;
    if (!CaptureWindow(window, width, height, pixels)) return false;
    bool png = path.size() >= 4 && _stricmp(path.c_str() + path.size() - 4, ".png") == 0;
    return png ? SavePng(path, width, height, pixels) : SaveBmp(path, width, height, pixels);
}

}  // namespace testsupport::form
