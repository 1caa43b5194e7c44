// A small modal form over Win32 windows: controls are created by name on one
// top-level window, grouped in panels (a panel's visibility hides its
// controls), and events are routed to handlers by control name. A tab
// control's pages are panels too: only the selected page's controls show.
// The dialog logic talks to this class only.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/owner.h"

// A system DLL loaded by full path from the system folder, never the search path.
class TSystemLibrary {
public:
    explicit TSystemLibrary(const char* fileName);
    ~TSystemLibrary();
    TSystemLibrary(const TSystemLibrary&) = delete;
    TSystemLibrary& operator=(const TSystemLibrary&) = delete;
    HMODULE Handle() const { return module_.Get(); }
    FARPROC Proc(const char* name) const;
    // The export as a function pointer of its own type; null when missing.
    template <class Fn>
    Fn ProcAs(const char* name) const
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(Proc(name)));
    }

private:
    TModule module_;
};

class TForm {
public:
    using Handler = std::function<void()>;
    // Answers true when it consumed the key.
    using KeyHandler = std::function<bool(WORD key)>;

    // Width and height of the whole window; centred on the desktop. The font
    // height is in pixels, negative for the character height (-11 is 8 point at 96 dpi).
    TForm(const char* caption, int width, int height, const char* fontName, int fontHeight = -12);
    ~TForm();
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    HWND Handle() const { return window_; }
    // Resizes the window so that its client area is width x height, centred again.
    void SetClientSize(int width, int height);
    void SetMinimizeBox(bool on);

    // Layout. Rectangles are client coordinates; `panel` may be "" (the form).
    void AddPanel(const std::string& name, const std::string& panel);
    void AddButton(const std::string& name, const std::string& panel, const char* caption, RECT r);
    void AddRadioButton(const std::string& name, const std::string& panel, const char* caption, RECT r);
    // A check box toggles itself on a click, then its click handler runs.
    void AddCheckBox(const std::string& name, const std::string& panel, const char* caption, RECT r);
    // A framed group; it is a panel for the controls placed in it.
    void AddGroupBox(const std::string& name, const std::string& panel, const char* caption, RECT r);
    // Tabs over r; its pages (added in tab order) are panels, the first one selected.
    void AddTabControl(const std::string& name, const std::string& panel, RECT r);
    void AddTabPage(const std::string& name, const std::string& tabControl, const char* caption);
    void AddLabel(const std::string& name, const std::string& panel, const char* caption, RECT r);
    void AddEdit(const std::string& name, const std::string& panel, RECT r, bool password);
    // An edit with a browse button, read-only unless typing is allowed; the
    // filter uses '|' separators.
    void AddFileNameEdit(const std::string& name, const std::string& panel, RECT r,
                         const char* defaultExtension, const char* filter, bool typing = false);
    struct Column {
        const char* caption;
        int width;
    };
    void AddReportList(const std::string& name, const std::string& panel, RECT r,
                       const std::vector<Column>& columns);
    // A popup menu of one item for a control, shown on its context menu.
    void AddPopupItem(const std::string& control, const std::string& item, const char* caption);

    // Events.
    void OnShow(Handler h) { onShow_ = std::move(h); }
    void OnKeyDown(KeyHandler h) { onKeyDown_ = std::move(h); }
    void OnClick(const std::string& name, Handler h) { onClick_[name] = std::move(h); }
    void OnDblClick(const std::string& name, Handler h) { onDblClick_[name] = std::move(h); }
    void OnChange(const std::string& name, Handler h) { onChange_[name] = std::move(h); }
    void OnAfterDialog(const std::string& name, Handler h) { onAfterDialog_[name] = std::move(h); }

    // State.
    void SetVisible(const std::string& name, bool visible);
    bool Visible(const std::string& name) const;
    // Disabled controls are painted in the 3-D light colour, enabled ones in the window colour.
    void SetEnabled(const std::string& name, bool enabled);
    bool Enabled(const std::string& name) const;
    bool Checked(const std::string& name) const;
    void SetChecked(const std::string& name, bool checked);
    std::string Text(const std::string& name) const;
    void SetText(const std::string& name, const std::string& text);
    void Focus(const std::string& name);
    void SetBounds(const std::string& name, RECT r);
    // Tab controls: the selected page by name. A page the user selects runs
    // the tab control's change handler.
    void SelectPage(const std::string& page);
    std::string SelectedPage(const std::string& tabControl) const;

    // Report lists: items with a caption, sub-items and a data pointer.
    int ListAdd(const std::string& name, const std::vector<std::string>& texts, void* data);
    int ListSelected(const std::string& name) const;  // -1 when none
    void* ListData(const std::string& name, int index) const;
    int ListCount(const std::string& name) const;
    void ListClear(const std::string& name);

    // A message box owned by the form while it is shown, else by nobody.
    void Message(const std::string& text, const char* title, UINT flags);

    // Runs the form modally until a modal result is set; closing the window gives 2.
    int ShowModal();
    void SetModalResult(int result) { modalResult_ = result; }
    int ModalResult() const { return modalResult_; }

private:
    struct Control;
    // Held by every form: the libraries and the window class live while any form does.
    class TRuntimeUse {
    public:
        TRuntimeUse();
        ~TRuntimeUse();
        TRuntimeUse(const TRuntimeUse&) = delete;
        TRuntimeUse& operator=(const TRuntimeUse&) = delete;
    };
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT Handle(UINT, WPARAM, LPARAM);
    Control& Add(const std::string& name, const std::string& panel, HWND window);
    Control* Find(const std::string& name) const;
    Control* FindById(int id) const;
    HWND Create(const char* className, const char* caption, DWORD style, DWORD exStyle, RECT r);
    void Fire(const std::map<std::string, Handler>& handlers, const std::string& name);
    void Browse(Control& control);
    void ApplyVisibility();
    void ShowPage(Control& tabs, int index);

    TRuntimeUse runtime_;  // first: taken before the window, given back after it
    HWND window_ = nullptr;
    TGdiObject font_;
    int nextId_ = 100;
    int modalResult_ = 0;
    bool shown_ = false;
    std::vector<std::unique_ptr<Control>> controls_;
    Handler onShow_;
    KeyHandler onKeyDown_;
    std::map<std::string, Handler> onClick_, onDblClick_, onChange_, onAfterDialog_;
};
